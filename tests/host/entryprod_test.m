1;
% entryprod from Octave: listed entries against A'*B, the symmetric pass with
% its skip rule and mirrored store, the historical row-count message, the
% rejections, untouched inputs.

function out = reference (A1, B, A2, l1, rm1, l2, rm2, L, cm)
  % The two passes in list order, from dense products.
  P1 = A1' * B;
  P2 = A2(:, 1:floor (numel (A2) / rows (A1)))' * B;
  out = zeros (L, columns (B));
  for k = fix (l1(:))'
    [r, j] = ind2sub ([L columns(B)], k);
    out(k) = P1(fix (rm1(r)), j);
  end
  for k = fix (l2(:))'
    [r, j] = ind2sub ([L columns(B)], k);
    p = fix (rm2(r));
    if (p >= j)
      out(fix (cm(j)), p) = P2(p, j);
      out(k) = P2(p, j);
    end
  end
end

rand ('seed', 3);
% L = 9 output rows from factors of m = 7 rows: the mirrored store is
% addressed in the 9 x 6 output, not with the factors' row count.
m = 7; L = 9; N = 6;
A1 = rand (m, 11) - 0.5; B = rand (m, N) - 0.5; A2 = rand (m, 8) - 0.5;
rm1 = ceil (rand (L, 1) * 11);
l1 = sort (randperm (L * N, 25))';
% Rows 1..4 stand for the block columns 2 3 5 6; the column map sends each
% back to its row. Rows 5..9 stand for column 1.
rm2 = [2 3 5 6 1 1 1 1 1]';
cm = [1 1 2 1 3 4]';
[r, j] = ndgrid (1:4, [2 3 5 6]);
l2 = sort (sub2ind ([L N], r(:), j(:)));   % the whole block, both triangles
want = reference (A1, B, A2, l1, rm1, l2, rm2, L, cm);
got = entryprod (A1, B, A2, l1, rm1, l2, rm2, L, cm);
assert (size (got), [L N]);
assert (got, want, 1e-14);
% On and below the block's diagonal the computed entries, above it only the
% mirrored ones; pass-1 values survive where no pass-2 store lands.
P2 = A2' * B;
blk = [2 3 5 6];
Q = P2(blk, blk);
assert (got(1:4, blk), tril (Q) + triu (Q', 1), 1e-14);
untouched = setdiff (l1, [l2; sub2ind([L N], cm(blk), rm2(1:4))]);
assert (got(untouched), want(untouched));

% Skipped entries (p < j) keep what pass 1 stored; the diagonal entry is
% stored at its position and at the mirrored one, here a different row.
l1 = [4; 13]; rm1 = ones (L, 1);           % (4,1) and (4,2) from column 1 of A1
l2 = [13; 12];                              % (4,2) and (3,2)
rm2b = rm2; rm2b(3:4) = [2 1];              % (4,2): p = 1 < 2 skipped; (3,2): p = 2 diagonal
cmb = cm; cmb(2) = 7;
got = entryprod (A1, B, A2, l1, rm1, l2, rm2b, L, cmb);
P1 = A1' * B;
assert (got(4, 2), P1(1, 2), 1e-14);
assert (got(3, 2), P2(2, 2), 1e-14);
assert (got(7, 2), got(3, 2));
assert (nnz (got), 4);

% Truncation: position 2.7 is 2, L 3.9 is 3 rows, map values 1.9 are 1.
got = entryprod (A1, B, A2, 2.7, [1 1.9 1], zeros (0, 1), [], 3.9, []);
assert (size (got), [3 N]);
assert (got(2, 1), P1(1, 1), 1e-14);
assert (nnz (got), 1);
% Empty lists: an all-zero output; m = 0: computed entries are 0.
expect_bits (entryprod (A1, B, A2, [], [], [], [], L, []), zeros (L, N), 'empty lists');
expect_bits (entryprod (zeros (0, 3), zeros (0, 2), [], [1; 4], [1 2], [], [], 2, []), ...
             zeros (2, 2), 'm = 0');
% Lists with rows but no elements are empty, in either pass.
G = rand (5, 3);
expect_bits (entryprod (G, G, G, zeros (1, 0), [1 2 3], [], [], 3, []), zeros (3, 3), '1 x 0 list1');
expect_bits (entryprod (G, G, G, [], [], zeros (2, 0), 1:3, 3, 1:3), zeros (3, 3), '2 x 0 list2');
% A repeated position: pass 2 overwrites pass 1.
got = entryprod (A1, B, A2, 1, 3, 1, 2, 1, ones (N, 1));
assert (got(1, 1), P2(2, 1), 1e-14);

% Inputs stay as they were.
c = {A1, B, A2, l1, rm1, l2, rm2b, L, cmb};
keep = cellfun (@(x) x + 0, c, 'UniformOutput', false);
entryprod (c{:});
for k = 1:numel (c)
  expect_bits (c{k}, keep{k}, sprintf ('argument %d after the call', k));
end

% The historical message: its exact words and a line feed, before any
% other check of the factors' contents, even with empty lists or broken
% later arguments.
msg = sprintf ('Error: Input matrices should have the number of rows\n');
expect_reject (msg, @entryprod, A1, B(1:end-1, :), A2, [], [], [], [], L, []);
expect_reject (msg, @entryprod, A1, B', A2, NaN, 0, 1e9, 0, [], {});

% Arguments and classes.
E = @(text) sprintf ("ERROR: entryprod: %s\n", text);
expect_reject (E ('expected 9 arguments, found 2'), @entryprod, A1, B);
expect_reject (E ('argument 1 (A1): expected a full real double array, found sparse double'), ...
               @entryprod, sparse (A1), B, A2, l1, rm1, l2, rm2, L, cm);
expect_reject (E ('argument 2 (B): expected a full real double array, found complex double'), ...
               @entryprod, A1, B + 1i, A2, l1, rm1, l2, rm2, L, cm);
expect_reject (E ('argument 4 (list1): expected a full real double array, found single'), ...
               @entryprod, A1, B, A2, single (l1), rm1, l2, rm2, L, cm);
expect_reject (E ('argument 8 (L): expected a real number, found an empty array'), ...
               @entryprod, A1, B, A2, l1, rm1, l2, rm2, [], cm);
expect_reject (E ('argument 8 (L): expected a row count of at least 0, found -2'), ...
               @entryprod, A1, B, A2, l1, rm1, l2, rm2, -2.5, cm);
expect_reject (E ('argument 9 (columnMap2): expected a full real double array, found char'), ...
               @entryprod, A1, B, A2, l1, rm1, l2, rm2, L, 'a');
% Positions: within 1..L*N, finite.
expect_reject (E ('argument 4 (list1): element 2 is 55, outside 1..54'), ...
               @entryprod, A1, B, A2, [1; 55], rm1, l2, rm2, L, cm);
expect_reject (E ('argument 6 (list2): element 1 is NaN, outside 1..54'), ...
               @entryprod, A1, B, A2, l1, rm1, NaN, rm2, L, cm);
expect_reject (E ('argument 6 (list2): element 1 is Inf, outside 1..54'), ...
               @entryprod, A1, B, A2, l1, rm1, Inf, rm2, L, cm);
expect_reject (E ('argument 4 (list1): element 1 is 0.5, outside 1..0'), ...
               @entryprod, A1, B, A2, 0.5, rm1, [], rm2, 0, cm);
% Row maps: one value per output row, naming a column of the left factor.
expect_reject (E ('argument 5 (rowMap1): expected 9 values, one per output row, found 8'), ...
               @entryprod, A1, B, A2, l1, rm1(1:8), l2, rm2, L, cm);
expect_reject (E ('argument 5 (rowMap1): element 4 is 12, outside 1..11 (the columns of argument 1 (A1)), read by element 1 of argument 4 (list1)'), ...
               @entryprod, A1, B, A2, 4, [1 1 1 12 1 1 1 1 1], l2, rm2, L, cm);
expect_reject (E ('argument 7 (rowMap2): element 1 is 9, outside 1..8 (the columns of argument 3 (A2) taken with the row count of argument 1 (A1)), read by element 1 of argument 6 (list2)'), ...
               @entryprod, A1, B, A2, l1, rm1, 1, [9 1 1 1 1 1 1 1 1], L, cm);
expect_reject (E ('argument 7 (rowMap2): element 2 is NaN, outside 1..8 (the columns of argument 3 (A2) taken with the row count of argument 1 (A1)), read by element 1 of argument 6 (list2)'), ...
               @entryprod, A1, B, A2, l1, rm1, 2, [1 NaN 1 1 1 1 1 1 1], L, cm);
% A2 is read with A1's row count: 7 x 8 holds 4 columns of 14 rows.
expect_reject ('^ERROR: entryprod: argument 7 \(rowMap2\): element 1 is 5, outside 1\.\.4 ', ...
               @entryprod, [A1; A1], [B; B], A2, [], [], 1, [5 1 1 1 1 1 1 1 1], L, cm);
% The mirrored store: p within the output's columns, the column map within its rows.
expect_reject (E ('argument 7 (rowMap2): element 1 is 8, beyond the 6 output columns of the mirrored store, read by element 1 of argument 6 (list2)'), ...
               @entryprod, A1, B, A2, l1, rm1, 1, [8 1 1 1 1 1 1 1 1], L, cm);
expect_reject (E ('argument 9 (columnMap2): element 2 is 10, outside 1..9 (the output rows)'), ...
               @entryprod, A1, B, A2, l1, rm1, 10, rm2, L, [1 10 1 1 1 1]);
expect_reject (E ('argument 9 (columnMap2): expected 6 values, one per output column, found 5'), ...
               @entryprod, A1, B, A2, l1, rm1, l2, rm2, L, cm(1:5));
% Skipped entries read no column map value: a 0 there is harmless.
entryprod (A1, B, A2, l1, rm1, 12, rm2, L, [1 1 1 1 1 0]);
