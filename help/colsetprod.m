%COLSETPROD  A*X for a symmetric A given by its block columns.
%   out = colsetprod(values, X, positions, map, mask)
%
%   Computes A*X for a symmetric n x n matrix A (n = rows of X), given only
%   by K of its columns, stored as lists in an n x K matrix S: column q of
%   S is column map(q) of A, and by symmetry also its row map(q); A has no
%   other nonzeros. mask (n values) is nonzero, after truncation toward
%   zero, exactly at the rows map. The entries of S in masked rows must be
%   symmetric: S(map(p), q) = S(map(q), p).
%
%   The list must be grouped by column in increasing order. Each run of
%   consecutive entries in one column gives one block row, and runs take
%   the map's rows in turn: a list that skips a column, or lists one column
%   in two runs, shifts the later sums to other rows of the map. A list
%   that starts at column 2 leaves row map(1) at 0 and still gives every
%   other column its own row. Rows that are neither block rows nor hold
%   entries stay 0. Results are bit for bit the same for any thread count.
%
%   values     real double, at least one per position.
%   X          n x N real double.
%   positions  real double, 1-based positions in the n x K matrix S. The
%              list is read by its ROW COUNT: pass a column. A row is a
%              list of one position.
%   map        K values in 1..n.
%   mask       n real double values (a logical mask is rejected: pass
%              double(mask)).
%
%   out        n x N, A*X.
%
%   Rejected with one line ERROR: colsetprod: ... and no output: fewer
%   than 5 arguments; sparse, complex or non-double arrays; fewer values
%   than positions; a mask without n elements; a non-empty list with an X
%   of 0 rows; positions outside 1..n*K (a column beyond the map, NaN,
%   Inf); map values outside 1..n; a list with more runs than map entries.
%
%   Example:
%      n = 6; b = [2 5];                         % A's block rows and columns
%      Sb = zeros(n, 2); Sb([1 2 5], 1) = [1 4 3]; Sb([2 4 5], 2) = [3 -2 7];
%      A = zeros(n); A(:, b) = Sb; A(b, :) = Sb'; % Sb(b, :) is symmetric
%      [i, j, v] = find(sparse(Sb));
%      mask = zeros(n, 1); mask(b) = 1;
%      X = rand(n, 3);
%      out = colsetprod(v, X, sub2ind([n 2], i, j), b, mask);
%      fprintf('difference from A*X: %.1e\n', norm(out - A * X))
%
%   See also colrunprod, entryprod, sparseprec.
%
%   sparsekernels @PROJECT_VERSION@
