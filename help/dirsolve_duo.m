%DIRSOLVE_DUO  Solve A*X = B with a block Gauss-Seidel preconditioner.
%   X = dirsolve_duo(A, x_in, B, maxIter, tol, numThreads, rowSubset,
%                    blockIndex, wholeBlocks, precondition)
%   [X, info] = dirsolve_duo(A, x_in, B, maxIter, tol, numThreads,
%                    rowSubset, blockIndex, wholeBlocks, precondition)
%
%   Solves A*X = B column by column by conjugate gradients on a block-split
%   copy of A: the variables are regrouped by the block numbers in
%   blockIndex, and with precondition = 1 every pass applies one symmetric
%   Gauss-Seidel sweep (forward, then backward) on each diagonal block, the
%   couplings between blocks ignored.
%
%   A             sparse n x n, the WHOLE symmetric positive-definite
%                 matrix (both triangles; symmetry is not checked),
%                 diagonal stored in every column.
%   x_in, B, maxIter, tol, numThreads, rowSubset
%                 as for dirsolve: canonical indices in a 1 x k B, the
%                 thread cap, row subsets. x_in is NOT a warm start: the
%                 result is x_in PLUS the estimate of A\B. Canonical mode
%                 with x_in prints ERROR: canonical + x_in not implemented
%                 Indices and returned rows are in the caller's numbering;
%                 the block order never shows.
%   blockIndex    uint64 array of n elements, the 0-based block of every
%                 variable (doubles are rejected). Unused numbers give
%                 empty blocks. The layout keeps a table of (largest
%                 number + 1)^2 block pairs, so keep the numbers dense: 64
%                 blocks take 33 KB, 10,000 take 800 MB. A block holds at
%                 most 65,536 variables.
%   wholeBlocks   1 stores the diagonal blocks whole (faster sweeps); 0
%                 only their lower triangles (about half the in-block
%                 memory). The solutions agree up to rounding.
%   precondition  1 applies the block Gauss-Seidel preconditioner, 0 runs
%                 plain conjugate gradients.
%
%   X             n x k (or numel(rowSubset) x k) solutions.
%   info          (only when asked for) info.passes and info.relres, 1 x k
%                 each, with the meaning and edge values of dirsolve's.
%
%   Columns are solved up to 16 at a time in lockstep, as in dirsolve: each
%   thread holds a panel of n rows x 16 values for each of r, p, z and x
%   (and, with wholeBlocks = 0 and the preconditioner, 4 x 16 copies of the
%   largest block's residual), every column computing exactly what it
%   computes alone while the panel shares each read of the layout. With
%   contiguous blocks a plain pass (precondition = 0, wholeBlocks = 1) then
%   costs about what a pass of dirsolve without a factor costs on the same
%   matrix: 1.01 to 1.12 times over three runs on a 400 x 400 grid
%   Laplacian, 16 columns, 2 threads (bench/dirsolve_duo_bench.m);
%   wholeBlocks = 0 1.13 to 1.24 times, and random blocks, where nearly
%   every entry is a coupling read at a scattered position, 2.4 to 2.9
%   times.
%
%   The preconditioner pays where the blocks follow the matrix's structure:
%   with 64 contiguous blocks of that grid it cuts the passes from 180 to
%   79. With a random assignment of variables to blocks it does not: the
%   passes stay at 178 of 180, while the sweeps take about a quarter of
%   every pass (20 to 28% over the runs), so a solve takes 6 to 40% longer
%   than without them. There, pass precondition = 0.
%
%   Results are bit for bit the same for any thread count, and the
%   caller's arrays are never written. With the preconditioner a block
%   whose residual has a squared norm below 1e-16 is left out of the
%   sweep, and a column stops once that holds in every block: ask for
%   tol*norm(b) well above 1e-8. Such a column's info.relres is that of
%   its last residual, so it may lie above tol; its info.passes counts
%   the passes that moved it.
%
%   Rejected with one line ERROR: dirsolve_duo: ... and no output: fewer
%   than 10 arguments; A not sparse real double, not square, a column
%   without its diagonal or with rows out of order; B, x_in, canonical
%   indices and rowSubset as for dirsolve; blockIndex not uint64, not n
%   elements, or a number above 2147483646; a block of more than 65,536
%   variables; wholeBlocks or precondition other than 0 or 1 after
%   truncation. When memory runs out (a pair table for a huge block number
%   included) it prints ERROR: dirsolve_duo: out of memory
%
%   Example:
%      A = gallery('poisson', 30);              % 900 x 900, both triangles
%      n = size(A, 1); B = rand(n, 4);
%      blk = uint64(floor((0:n-1)' / 100));     % 9 blocks of 100 variables
%      [X, info] = dirsolve_duo(A, [], B, 500, 1e-8, 2, [], blk, 1, 1);
%      Y = A \ B;
%      fprintf('relative difference from A\\B: %.1e\n', norm(X - Y, 1) / norm(Y, 1))
%      fprintf('largest relres: %.1e\n', max(info.relres))
%      x = dirsolve_duo(A, [], [1 450], 500, 1e-8, 2, [450; 1], blk, 0, 1);
%      I = eye(n); Y = A \ I(:, [1 450]);
%      fprintf('rows 450, 1 of A\\e1, A\\e450: %.1e\n', norm(x - Y([450 1], :), 1))
%
%   See also dirsolve, pcg, sparseprec.
%
%   sparsekernels @PROJECT_VERSION@
