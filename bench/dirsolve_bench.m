1;
% dirsolve on two threads beside what an Octave user writes.
% A shifted 2-D Laplacian of 160,000 rows, 16 unit right-hand sides to
% 1e-6: with L = ichol(A) beside Octave's pcg with the same factor, column
% by column, and without a factor beside plain pcg (output 20 MB).
% The driver's workload: unit columns of inv(Theta) through its exact
% Cholesky factor (one pass a column), rows in Theta's order, beside the
% two triangular solves with that factor on the dense unit columns; at
% n = 10,000 with 256 columns (20 MB, below 32 MiB) at random places and
% consecutive (a block of the driver's), 512 (41 MB), and at n = 90,000
% with 512 (369 MB).
% Floor: per pass, the matrices (A's upper triangle, L, U) read once for
% every 16 columns (the most lanes a panel shares a read with) and the
% pass's flops at the dgemm rate, plus zeros() of the output. The column's
% own vectors are not counted: at n = 10,000 they stay in the cache.

function its = run_pcg (A, I, tol, maxit, varargin)
  its = zeros (1, columns (I));
  for j = 1:columns (I)
    [~, ~, ~, its(j)] = pcg (A, full (I(:, j)), tol, maxit, varargin{:});
  end
end

function W = factor_solve (Lc, Uc, cols, pinv)
  % The unit columns in the factor's order, solved densely, rows put back.
  n = rows (Lc);
  E = zeros (n, numel (cols));
  E(cols + (0:numel (cols) - 1) * n) = 1;
  W = Uc \ (Lc \ E);
  W = W(pinv, :);
end

function [fl, note, tz] = solve_floor (passes, Au, L, U, k)
  mat = @(M) 16 * nnz (M) + 8 * (columns (M) + 1);
  n = rows (Au);
  bytes = passes * (mat (Au) + mat (L) + mat (U)) / 16;
  flops = passes * (2 * nnz (L) + 2 * nnz (U) + 4 * nnz (Au) + 14 * n);
  [fl, note, tz] = bench_floor (bytes, flops, n, k);
end

threads = 2;
g = 400; shift = 1e-2; k = 16; tol = 1e-6; maxit = 1000;
e = ones (g, 1);
T = spdiags ([-e 2*e -e], -1:1, g, g);
A = kron (speye (g), T) + kron (T, speye (g)) + shift * speye (g * g);
n = rows (A);
Au = triu (A);
L = ichol (A);
U = L';
rand ('seed', 3);
idx = sort (randperm (n, k));
I = sparse (idx, 1:k, 1, n, k);
for factor = [true false]
  if (factor)
    args = {L, U}; pargs = {L, U}; what = 'ichol';
  else
    args = {[], []}; pargs = {}; what = 'no factor';
  end
  [X, info] = dirsolve (Au, [], idx, maxit, tol, args{:}, threads, []);
  if (max (sqrt (sum ((A * X - I) .^ 2))) > 1e-5)
    printf ('dirsolve     |   MISMATCH: residual above the tolerance\n');
  end
  t = best_time (@() dirsolve (Au, [], idx, maxit, tol, args{:}, threads, []), 3);
  % Timed once: pcg takes seconds to a minute here, far above the clock's noise.
  tic; its = run_pcg (A, I, tol, maxit, pargs{:}); tp = toc;
  if (factor)
    [fl, note] = solve_floor (sum (info.passes), Au, L, U, k);
  else
    [fl, note] = solve_floor (sum (info.passes), Au, [], [], k);
  end
  work = sprintf ('Laplacian n %d, %d columns, %s', n, k, what);
  bench_line ('dirsolve', work, t, 'pcg, column by column', tp, fl, note);
  bench_note ('dirsolve', 'passes %d-%d; pcg iterations %d-%d', min (info.passes), ...
              max (info.passes), min (its), max (its));
end
clear A Au L U I X;

for c = {{100, 256, 'random'}, {100, 256, 'consec.'}, {100, 512, 'random'}, {300, 512, 'random'}}
  [g, k, where] = c{1}{:};
  n = g * g;
  e = ones (g, 1);
  T1 = spdiags ([-e 2*e -e], -1:1, g, g);
  Th = 0.25 * (kron (speye (g), T1) + kron (T1, speye (g))) + 0.1 * speye (n);
  p = amd (Th); Lc = chol (Th(p,p), 'lower'); pinv = zeros (1, n); pinv(p) = 1:n;
  Ap = triu (Th(p,p)); Uc = Lc';
  rand ('seed', 5); J = sort (randperm (n, k));
  if (strcmp (where, 'consec.'))
    J = floor (n / 3) + (1:k);
  end
  run = @(maxit) dirsolve (Ap, [], pinv(J), maxit, 1e-10, Lc, Uc, threads, pinv);
  [W, info] = run (5);
  err = norm (W - factor_solve (Lc, Uc, pinv(J), pinv), 'fro') / norm (W, 'fro');
  if (~(err < 1e-8))
    printf ('dirsolve     |   MISMATCH: %.1e from the triangular solves\n', err);
  end
  clear W;
  reps = 3 - (g > 100);
  t = best_time ({@() run(5), @() run(0)}, reps);
  tp = best_time (@() factor_solve (Lc, Uc, pinv(J), pinv), 1 + (g == 100));
  [fl, note, tz] = solve_floor (sum (info.passes), Ap, Lc, Uc, k);
  work = sprintf ('inv(Theta) n %d, %d %s col. (%.0f MB)', n, k, where, 8 * n * k / 1e6);
  bench_line ('dirsolve', work, t(1), 'U \ (L \ E), reordered', tp, fl, note);
  % With maxIter 0 the call solves nothing and still makes its output.
  bench_split ('dirsolve', 'solve (less maxIter 0)', t(1) - t(2), 'output zeros()', tz, ...
               'host copy (maxIter 0 less zeros)', t(2) - tz);
end
