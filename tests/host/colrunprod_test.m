% colrunprod from Octave: S'*C for list-given S, the column-run quirks, the
% rejections, untouched inputs.

rand ('seed', 4);
M = 40; L = 13; N = 11;
S = sprand (M, L, 0.15);
S(:, [1 5]) = 0;                       % empty columns, the first among them
[i, j, v] = find (S);
pos = sub2ind ([M L], i, j);
C = rand (M, N) - 0.5;
got = colrunprod (v, pos, L, C);
assert (size (got), [L N]);
assert (got, full (S' * C), 1e-14);
expect_bits (got([1 5], :), zeros (2, N), 'empty columns');
% A row vector of values works as well as a column.
expect_bits (colrunprod (v', pos, L, C), got, 'row of values');

% A column split into two runs keeps only the later run's sum.
k = find (j == 3);
order = [k(2:end); find(j == 4); k(1)];
out = colrunprod (v(order), pos(order), L, C);
assert (out(3, :), v(k(1)) * C(i(k(1)), :), 1e-15);
assert (out(4, :), full (S(:, 4)' * C), 1e-14);

% Truncation: L 2.9 is 2 rows, position 7.5 is 7; M = 1 makes every
% position its own column.
out = colrunprod ([2; 3], [1.2; 7.5], 2.9, [1 10; 0 0; 0 0; 0 0; 0 0; 5 50]);
assert (out, [2 20; 3 30]);
assert (colrunprod ([2; 3], [1; 3], 3, [1 -1]), [2 -2; 0 0; 3 -3]);
% Nothing listed, or no columns of C.
expect_bits (colrunprod ([], zeros (0, 1), L, C), zeros (L, N), 'empty list');
expect_bits (colrunprod (v, pos, L, zeros (M, 0)), zeros (L, 0), 'no columns');
% A list with rows but no elements (the 1 x 0 that find gives on a row) is
% empty: its rows are never read as positions.
expect_bits (colrunprod (1, zeros (1, 0), 1, 1), 0, '1 x 0 list');
expect_bits (colrunprod ([], zeros (3, 0), L, C), zeros (L, N), '3 x 0 list');

% Inputs stay as they were.
c = {v, pos, L, C};
keep = cellfun (@(x) x + 0, c, 'UniformOutput', false);
colrunprod (c{:});
for t = 1:numel (c)
  expect_bits (c{t}, keep{t}, sprintf ('argument %d after the call', t));
end

E = @(text) sprintf ("ERROR: colrunprod: %s\n", text);
expect_reject (E ('expected 4 arguments, found 3'), @colrunprod, v, pos, L);
expect_reject (E ('argument 1 (values): expected a full real double array, found single'), ...
               @colrunprod, single (v), pos, L, C);
expect_reject (E ('argument 2 (positions): expected a full real double array, found sparse double'), ...
               @colrunprod, v, sparse (pos), L, C);
expect_reject (E ('argument 3 (L): expected a real number, found an empty array'), ...
               @colrunprod, v, pos, [], C);
expect_reject (E ('argument 3 (L): expected a column count of at least 0, found -1'), ...
               @colrunprod, v, pos, -1, C);
expect_reject (E ('argument 4 (C): expected a full real double array, found complex double'), ...
               @colrunprod, v, pos, L, C * 1i);
expect_reject (E (sprintf ('argument 1 (values): expected %d values, one per position, found %d', ...
                           numel (pos), numel (pos) - 1)), ...
               @colrunprod, v(1:end-1), pos, L, C);
expect_reject (E ('argument 4 (C): has no rows, so the positions of argument 2 (positions) cannot be split'), ...
               @colrunprod, 1, 1, L, zeros (0, 3));
% A column of S at L or beyond, zero, negative, NaN or infinite positions.
expect_reject (E ('argument 2 (positions): element 2 is 521, outside 1..520'), ...
               @colrunprod, [1; 1], [1; M * L + 1], L, C);
expect_reject (E ('argument 2 (positions): element 1 is 0, outside 1..520'), ...
               @colrunprod, 1, 0, L, C);
expect_reject (E ('argument 2 (positions): element 1 is -3, outside 1..520'), ...
               @colrunprod, 1, -3, L, C);
expect_reject (E ('argument 2 (positions): element 1 is NaN, outside 1..520'), ...
               @colrunprod, 1, NaN, L, C);
expect_reject (E ('argument 2 (positions): element 1 is Inf, outside 1..520'), ...
               @colrunprod, 1, Inf, L, C);
expect_reject (E ('argument 2 (positions): element 1 is 1, outside 1..0'), ...
               @colrunprod, 1, 1, 0, C);
% An output the host cannot allocate gives the out-of-memory line, not an
% error raised into the session.
expect_reject (E ('out of memory'), @colrunprod, 1, 1, 2^31, zeros (1, 2^20));
