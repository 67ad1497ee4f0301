% colsetprod from Octave: A*X for a symmetric A given by its block columns,
% the run-counter quirks, the rejections, untouched inputs.

rand ('seed', 8);
n = 50; K = 6; N = 9;
b = [4 9 17 30 31 47];
mask = zeros (n, 1); mask(b) = 1;
S = sprand (n, K, 0.2);
S(b, :) = 0;
T = sprandsym (K, 0.5) + speye (K);
S(b, :) = T;
A = sparse (n, n);
A(:, b) = S;
A(b, :) = S';
assert (nnz (A - A'), 0);
[i, j, v] = find (S);
pos = sub2ind ([n K], i, j);
X = rand (n, N) - 0.5;
got = colsetprod (v, X, pos, b, mask);
assert (size (got), [n N]);
assert (got, full (A * X), 1e-14);
% Rows that are neither block rows nor hold entries stay 0.
quiet = setdiff (1:n, [b, i']);
expect_bits (got(quiet, :), zeros (numel (quiet), N), 'quiet rows');

% A list that starts at column 2 (column 1 empty): row map(1) receives 0
% and every other block row its own column's sum.
S2 = S; S2(:, 1) = 0;
[i2, j2, v2] = find (S2);
out = colsetprod (v2, X, sub2ind ([n K], i2, j2), b, mask);
assert (out(b(1), :), zeros (1, N));
assert (out(b(2:end), :), full (S2(:, 2:end)' * X), 1e-14);
% A list that skips column 3: each later column's sum lands one map row
% early, and the last map row receives nothing.
keep = j != 3;
out = colsetprod (v(keep), X, pos(keep), b, mask);
S3 = S; S3(:, 3) = 0;
assert (out(b([1 2]), :), full (S3(:, [1 2])' * X), 1e-14);
assert (out(b(3:5), :), full (S3(:, 4:6)' * X), 1e-14);
assert (out(b(6), :), zeros (1, N));
% Mask values are truncated: 0.5 leaves an ordinary row as it is, 1.5 marks
% it, and a marked row takes no column share.
r = i(find (! mask(i), 1));
m5 = mask; m5(r) = 0.5;
expect_bits (colsetprod (v, X, pos, b, m5), got, 'mask 0.5');
m5(r) = 1.5;
out = colsetprod (v, X, pos, b, m5);
assert (out(r, :), zeros (1, N));

% Nothing listed, or no columns of X; the map may then be empty.
expect_bits (colsetprod ([], X, zeros (0, 1), [], mask), zeros (n, N), 'empty list');
expect_bits (colsetprod (v, zeros (n, 0), pos, b, mask), zeros (n, 0), 'no columns');
% A list with rows but no elements is empty: its rows are never read.
expect_bits (colsetprod (1, rand (6, 3), zeros (1, 0), [2 5], [0; 1; 0; 0; 1; 0]), zeros (6, 3), ...
             '1 x 0 list');
expect_bits (colsetprod ([], X, zeros (3, 0), b, mask), zeros (n, N), '3 x 0 list');

% Inputs stay as they were.
c = {v, X, pos, b, mask};
keepc = cellfun (@(x) x + 0, c, 'UniformOutput', false);
colsetprod (c{:});
for t = 1:numel (c)
  expect_bits (c{t}, keepc{t}, sprintf ('argument %d after the call', t));
end

E = @(text) sprintf ("ERROR: colsetprod: %s\n", text);
expect_reject (E ('expected 5 arguments, found 4'), @colsetprod, v, X, pos, b);
expect_reject (E ('argument 2 (X): expected a full real double array, found sparse double'), ...
               @colsetprod, v, sparse (X), pos, b, mask);
expect_reject (E ('argument 5 (mask): expected a full real double array, found logical'), ...
               @colsetprod, v, X, pos, b, mask > 0);
expect_reject (E ('argument 4 (map): expected a full real double array, found complex double'), ...
               @colsetprod, v, X, pos, b + 1i, mask);
expect_reject (E (sprintf ('argument 1 (values): expected %d values, one per position, found 3', ...
                           numel (pos))), @colsetprod, v(1:3), X, pos, b, mask);
expect_reject (E (sprintf ('argument 5 (mask): expected %d values, one per row of X, found %d', ...
                           n, n - 1)), @colsetprod, v, X, pos, b, mask(2:end));
expect_reject (E ('argument 2 (X): has no rows, so the positions of argument 3 (positions) cannot be split'), ...
               @colsetprod, 1, zeros (0, 2), 1, 1, []);
% A column beyond the map, bad positions, map values outside 1..n.
expect_reject (E (sprintf ('argument 3 (positions): element 1 is %d, outside 1..%d', ...
                           n * K + 1, n * K)), @colsetprod, 1, X, n * K + 1, b, mask);
expect_reject (E (sprintf ('argument 3 (positions): element 1 is NaN, outside 1..%d', n * K)), ...
               @colsetprod, 1, X, NaN, b, mask);
expect_reject (E (sprintf ('argument 3 (positions): element 1 is -Inf, outside 1..%d', n * K)), ...
               @colsetprod, 1, X, -Inf, b, mask);
expect_reject (E (sprintf ('argument 4 (map): element 3 is %d, outside 1..%d', n + 1, n)), ...
               @colsetprod, v, X, pos, [b(1:2) n + 1 b(4:end)], mask);
expect_reject (E (sprintf ('argument 4 (map): element 1 is 0.5, outside 1..%d', n)), ...
               @colsetprod, v, X, pos, [0.5 b(2:end)], mask);
% More runs than map entries: a column split in two, or a list that starts late.
first = find (j == 1);
split = [first(1); find(j == 2); first(2:end); find(j > 2)];
expect_reject (E (sprintf ('argument 3 (positions): the list changes column %d times, so its runs need %d values of argument 4 (map), found %d', ...
                           K, K + 1, K)), @colsetprod, v(split), X, pos(split), b, mask);
expect_reject (E ('argument 3 (positions): the list changes column 2 times, so its runs need 3 values of argument 4 (map), found 2'), ...
               @colsetprod, [1; 1], X, [n + 1; 1], b(1:2), mask);
