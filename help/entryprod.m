%ENTRYPROD  Listed entries of the products A1'*B and A2'*B.
%   out = entryprod(A1, B, A2, list1, rowMap1, list2, rowMap2, L, columnMap2)
%
%   Computes listed entries of the products A1'*B and A2'*B into an L x N
%   output (N = columns of B) that is 0 elsewhere. Two passes, the second
%   after the first, so where both store the second wins:
%
%   Plain pass: for every position k of list1 (row r, column j of the
%   output), out(k) = A1(:, rowMap1(r))' * B(:, j).
%
%   Symmetric pass: for every position of list2, p = rowMap2(r). Entries
%   with p < j (above the block's diagonal) are skipped. Each other entry's
%   value s = A2(:, p)' * B(:, j) is stored at out(columnMap2(j), p) (the
%   mirrored element) and then at its own position. Listing the lower
%   triangle of a symmetric block fills both triangles.
%
%   A1          m x n1 real double.
%   B           m x N real double.
%   A2          real double, read as columns of m rows.
%   list1, list2
%               1-based column-major positions in the L x N output. A list
%               is read by its ROW COUNT: pass a column. A row such as
%               [1 5 12] is a list of one position, 1.
%   rowMap1, rowMap2
%               one A-column number per output row.
%   L           the output row count.
%   columnMap2  one output row per output column.
%
%   out         L x N, the listed entries, 0 elsewhere.
%
%   Positions and map values are truncated toward zero (2.7 is 2). Each
%   dot product is one sum in ascending row order. Results are bit for bit
%   the same for any thread count, as long as no two listed entries store
%   different values to one element.
%
%   How it runs (the same bits every way): a plain list of 4,096 entries or
%   more, unless its positions ascend, is filed by tiles of the output, as
%   many rows as keep their A1 columns in 512 KB by 1,024 columns, and each
%   tile is computed column by column, eight entries to a sweep of the B
%   column, so each A1 column is fetched once per tile rather than once per
%   entry (scratch: about 16 bytes per entry, plus 12 per entry of the
%   largest tile per thread). Ascending lists, which already visit B column
%   by column, the symmetric pass, shorter lists, and a call without that
%   scratch take the list in order.
%
%   Rejected with no output: row counts of A1 and B that differ print the
%   historical line Error: Input matrices should have the number of rows
%   before any other check of the factors' contents.
%   Everything else prints one line ERROR: entryprod: ... : fewer than 9
%   arguments; sparse, complex or non-double arrays; an empty or negative
%   L; positions outside 1..L*N (NaN and Inf included); a row map with
%   fewer than L values, or a value that a listed entry reads outside the
%   columns of its factor (for A2, numel(A2)/m columns); in the symmetric
%   pass, a computed entry whose p is beyond N, or whose columnMap2 value
%   is outside 1..L; a columnMap2 with fewer than N values.
%
%   Example:
%      A1 = rand(5, 8); B = rand(5, 4);
%      out = entryprod(A1, B, [], [1; 5; 12], [3 1 8], [], [], 3, []);
%      P = A1' * B;                  % out([1 5 12]) is P(3,1), P(1,2), P(8,4)
%      Q = P(sub2ind([8 4], [3 1 8], [1 2 4]));
%      fprintf('plain pass: %.1e\n', norm(out([1 5 12]) - Q))
%      G = rand(5, 3);               % all of G'*G from its lower triangle:
%      S = entryprod(G, G, G, [], [], [1; 2; 3; 5; 6; 9], 1:3, 3, 1:3);
%      fprintf('symmetric pass: %.1e\n', norm(S - G' * G))
%
%   See also colrunprod, colsetprod, sparseprec.
%
%   sparsekernels @PROJECT_VERSION@
