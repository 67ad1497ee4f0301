%SLOPEMASK  Gradient entries X'*Q - R of a column block and its free set.
%   [positions, D, P] = slopemask(X, Q, pattern, R, lambda, colIndex,
%                                 capacity, wholeColumns)
%
%   Forms D = X'*Q - R for a block of K columns and lists the free set: the
%   entries with abs(D) > lambda (strictly), plus those stored in pattern
%   (only its structure counts). The product is formed with the host's
%   dgemm in slices of 8192 rows, so scratch stays at K x 8192 doubles
%   whatever N is.
%
%   X             M x N full real double.
%   Q             M x K full real double.
%   pattern       sparse N x K of any class.
%   R             N x K full real double.
%   lambda        real scalar, the threshold.
%   colIndex      K is its larger dimension, in both modes. With
%                 wholeColumns 0 its values are the 1-based global column
%                 numbers of the block columns, and block column j yields
%                 only rows at or below fix(colIndex(j)) (the diagonal
%                 included; nothing when that is below 1 or NaN). With
%                 whole columns its values are not read.
%   capacity      the starting size of the result list (it grows as
%                 needed).
%   wholeColumns  0 or 1 (truncated toward zero); 1 makes every row a
%                 candidate.
%
%   positions, D, P
%                 n x 1 each: 1-based positions in the N x K block, the
%                 gradient values and the product values (X'*Q), slice by
%                 slice (8192 rows), then column, then row: plain
%                 column-major order when N <= 8192. Only the outputs
%                 asked for are created.
%
%   Rejected with one line ERROR: slopemask: ... and no output: fewer than
%   8 arguments; X, Q, R not full real double or the pattern not sparse;
%   shapes that disagree with M, N and K; a colIndex without K elements
%   when wholeColumns is 0; empty scalars; a wholeColumns other than 0
%   or 1; N*K >= 2^32 (positions are 32-bit). Out of memory prints
%   ERROR: Out of memory in gramsel
%
%   Example:
%      X = [1 2 3]; Q = 2; R = [0; 1; 10];
%      pattern = sparse(1, 1, 1, 3, 1);
%      [positions, D, P] = slopemask(X, Q, pattern, R, 2.5, 2, 16, 1);
%      disp([positions D P])                    % 1 2 2; 2 3 4; 3 -4 6
%      [positions, D, P] = slopemask(X, Q, pattern, R, 2.5, 2, 16, 0);
%      disp([positions D P])                    % rows 2 and 3 only
%      G = X' * Q - R;
%      fprintf('difference from X''*Q - R: %g\n', norm(D - G(positions)))
%
%   See also gramprod, sparseprec.
%
%   sparsekernels @PROJECT_VERSION@
