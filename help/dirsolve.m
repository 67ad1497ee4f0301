%DIRSOLVE  Solve A*X = B by preconditioned conjugate gradients.
%   X = dirsolve(A, x_in, B, maxIter, tol, L, U, numThreads, rowSubset)
%   [X, info] = dirsolve(A, x_in, B, maxIter, tol, L, U, numThreads, rowSubset)
%
%   Solves A*X = B column by column by preconditioned conjugate gradients,
%   A symmetric positive definite and given by its upper triangle. An
%   optional argument is omitted by passing [].
%
%   A           sparse n x n, the UPPER TRIANGLE of a symmetric positive-
%               definite matrix (triu(A)), diagonal stored in every column.
%   x_in        n x k, or [] for zeros. NOT a warm start: the result is
%               x_in PLUS the estimate of A\B (x_in is not multiplied by A).
%   B           n x k right-hand sides; or a 1 x k row of indices
%               (canonical mode), column j then being the unit vector
%               e_B(j). Canonical mode with x_in is not supported and
%               prints ERROR: canonical + x_in not implemented
%   maxIter     at most this many passes per column (0 or less: none).
%   tol         a column stops once norm(r) < tol*norm(b).
%   L           sparse lower-triangular factor (diagonal first in each
%               column), the preconditioner being L*L'; or [] for none.
%   U           optionally L', which makes the forward solve gather by
%               rows; ignored without L.
%   numThreads  threads over the columns (below 1 counts as 1; capped at
%               the number of columns and the processors). Results are
%               bit for bit the same for any thread count.
%   rowSubset   [], or a vector of row numbers: X then holds only those
%               rows of the solution, in that order (repeats allowed).
%
%   X           n x k (or numel(rowSubset) x k) solutions.
%   info        (only when asked for; X is the same bits either way) a
%               1 x 1 struct of two 1 x k rows: info.passes, the passes
%               each column made, and info.relres, norm(r)/norm(b) of its
%               last residual. r is the iteration's own residual, not
%               b - A*X recomputed: it leaves out x_in and may drift from
%               the true residual by rounding. b = 0 gives passes 0 and
%               relres 0; a column never iterated (b'*b below 1e-16, or
%               maxIter below 1) gives passes 0 and relres 1; a column
%               stopped by a step length that is not finite reports the
%               passes before that step and the residual they left.
%
%   The caller's arrays are never written. Columns are solved up to 16 at
%   a time in lockstep, each thread holding 4 panels of n x 16 doubles
%   (5 MB a thread at n = 10,000); every column computes exactly what it
%   computes alone.
%
%   Rejected with one line ERROR: dirsolve: ... and no output: fewer than
%   9 arguments; A, L or U not sparse real double or not n x n; a column
%   of A without its diagonal last or with an entry below it (L: diagonal
%   first, nothing above); B or x_in not full real double or of the wrong
%   shape; an index of B or a value of rowSubset outside 1..n (NaN and Inf
%   included); empty or non-numeric scalars. Out of memory prints
%   ERROR: dirsolve: out of memory
%
%   Example:
%      n = 100; e = ones(n, 1);
%      A = spdiags([-e 4*e -e], -1:1, n, n);
%      L = ichol(A); B = rand(n, 4);
%      [X, info] = dirsolve(triu(A), [], B, 200, 1e-10, L, L', 2, []);
%      fprintf('difference from A\\B: %.1e\n', norm(X - A \ B, 1))
%      disp(info.passes)
%      x = dirsolve(triu(A), [], [5 9], 200, 1e-10, [], [], 1, 1:3);
%      I = eye(n); Y = A \ I(:, [5 9]);
%      fprintf('rows 1..3 of A\\e5, A\\e9: %.1e\n', norm(x - Y(1:3, :), 1))
%
%   See also dirsolve_duo, ichol, pcg, sparseprec.
%
%   sparsekernels @PROJECT_VERSION@
