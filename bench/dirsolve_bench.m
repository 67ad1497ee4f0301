1;
% dirsolve beside Octave's pcg, column by column with the same factor and
% tolerance, on a shifted 2-D Laplacian of 160,000 rows; 16 unit
% right-hand sides in canonical mode.


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
threads = 2;
printf ('matrix: n = %d, nnz(A) = %d, nnz(triu(A)) = %d, nnz(L) = %d; k = %d, tol = %g, %d threads\n', ...
        n, nnz (A), nnz (Au), nnz (L), k, tol, threads);

function its = run_pcg (A, I, tol, maxit, varargin)
  its = zeros (1, columns (I));
  for j = 1:columns (I)
    [~, flag, ~, its(j)] = pcg (A, full (I(:, j)), tol, maxit, varargin{:});
  end
end

% With the factor.
tf_dir = best_time (@() dirsolve (Au, [], idx, maxit, tol, L, U, threads, []), 3);
its_f = [];
tf_pcg = best_time (@() run_pcg (A, I, tol, maxit, L, L'), 1);
its_f = run_pcg (A, I, tol, maxit, L, L');
X = dirsolve (Au, [], idx, maxit, tol, L, U, threads, []);
res_f = max (sqrt (sum ((A * X - I) .^ 2)));
% Without a factor.
tp_dir = best_time (@() dirsolve (Au, [], idx, maxit, tol, [], [], threads, []), 3);
tp_pcg = best_time (@() run_pcg (A, I, tol, maxit), 1);
its_p = run_pcg (A, I, tol, maxit);
X = dirsolve (Au, [], idx, maxit, tol, [], [], threads, []);
res_p = max (sqrt (sum ((A * X - I) .^ 2)));

printf ('with L = ichol(A), U = L'':  dirsolve %8.3f s   pcg %8.3f s   ratio %5.1fx   (pcg iterations %d..%d, dirsolve max residual %.1e)\n', ...
        tf_dir, tf_pcg, tf_pcg / tf_dir, min (its_f), max (its_f), res_f);
printf ('without a factor:          dirsolve %8.3f s   pcg %8.3f s   ratio %5.1fx   (pcg iterations %d..%d, dirsolve max residual %.1e)\n', ...
        tp_dir, tp_pcg, tp_pcg / tp_dir, min (its_p), max (its_p), res_p);

% Bandwidth: tol = 0 fixes the passes at maxIter for every column, so the
% bytes streamed are known. Columns go in pairs that share each read of a
% matrix. Per pass and pair: the upper product reads A's indices, values and
% column starts once, and per column gathers p and updates q; each
% triangular solve reads its factor once and per column one or two vectors.
% Between them the iteration streams its vectors: p'z, the x and r update
% with r'r, r'z, the p update and the clearing of q, 112 bytes per row and
% column.
passes = 50;
tb = best_time (@() dirsolve (Au, [], idx, passes, 0, L, U, threads, []), 3);
mat = @(M) 16 * nnz (M) + 8 * (columns (M) + 1);
kernel_bytes = mat (Au) + mat (U) + mat (L) + 2 * (24 + 16 + 16) * n;
all_bytes = kernel_bytes + 2 * 112 * n;
pair_passes = passes * (k / 2);
bw_kernels = kernel_bytes * pair_passes / tb / 1e9;
bw_all = all_bytes * pair_passes / tb / 1e9;
bw_machine = membw (768);
printf ('bandwidth over %d passes x %d columns (%.1f ms per pass of a pair on each thread): machine (triad probe) %.1f GB/s\n', ...
        passes, k, 1e3 * tb / (pair_passes / threads), bw_machine);
printf ('  the three sparse kernels'' bytes (%.1f MB a pair pass):          %5.1f GB/s, %3.0f%% of the machine\n', ...
        kernel_bytes / 1e6, bw_kernels, 100 * bw_kernels / bw_machine);
printf ('  with the iteration''s vector passes (%.1f MB a pair pass):       %5.1f GB/s, %3.0f%% of the machine\n', ...
        all_bytes / 1e6, bw_all, 100 * bw_all / bw_machine);
printf ('  (L3 is 32 MiB: part of these bytes may come from cache)\n');

% The driver's workload: many columns of the inverse of a sparse SPD Theta
% through its exact Cholesky factor, so every column stops after one pass.
%   p = amd (Th); L = chol (Th(p,p), 'lower'); pinv(p) = 1:n;
%   W = dirsolve (triu (Th(p,p)), [], pinv(J), 5, 1e-10, L, L', 2, pinv);
% Th = 0.25 * (5-point Laplacian of a g x g grid) + 0.1 * I, 512 canonical
% columns J, the rows returned in Theta's own order. Per column:
% - floor, bytes: A, L and U (16 bytes an entry, 8 a column) read once per
%   pass, shared by the 16 lanes of a panel, at the triad bandwidth (when
%   the factors fit the 32 MiB cache, they come from there and this floor
%   is low); and the output column written once (8 n bytes). Beside it the
%   column's own vector traffic, which lanes do not share: about 18 passes
%   over 8 n bytes (setting r; the two solves; r'z; the product; p'z; the
%   x and r update; the gather of x), in the cache at n = 10,000 but not
%   at 90,000;
% - floor, flops: 2 nnz(L) + 2 nnz(U) for the solves, 4 nnz(triu A) for
%   the product, about 14 n for the vector steps, at the dgemm rate (which
%   fused multiply-adds help and this solver, in its fixed order, cannot use);
% - the host's share: the same call with maxIter = 0 (no solve: Octave
%   still copies the n x 512 output on return) and zeros (n, 512).
% A build from before the panels, renamed dirsolve_base.mex and put on the
% path (e.g. in build/bench), is timed beside it when present.
function ms = per_column (fn, k, reps)
  ms = 1e3 * best_time (fn, reps) / k;
end

nd = 1500; Ad = rand (nd); Bd = rand (nd);
gflops = 2 * nd^3 / best_time (@() Ad * Bd, 3) / 1e9;
bw = membw (768);
has_base = exist ('dirsolve_base') == 3;
printf ('\ndriver workload: 512 unit columns of inv(Theta), exact factor, rows in Theta''s order; triad %.1f GB/s, dgemm %.1f GFlop/s, %d threads\n', ...
        bw, gflops, threads);
for g = [100 300]
  n = g * g; k = 512; lanes = 16;
  e = ones (g, 1);
  T1 = spdiags ([-e 2*e -e], -1:1, g, g);
  Th = 0.25 * (kron (speye (g), T1) + kron (T1, speye (g))) + 0.1 * speye (n);
  p = amd (Th); [Lc, fail] = chol (Th(p,p), 'lower'); pinv = zeros (1, n); pinv(p) = 1:n;
  Ap = triu (Th(p,p)); Uc = Lc';
  rand ('seed', 5); J = sort (randperm (n, k));
  reps = 3 - (g > 100);
  run = @(maxit) dirsolve (Ap, [], pinv(J), maxit, 1e-10, Lc, Uc, threads, pinv);
  t_new = per_column (@() run (5), k, reps);
  t_one = per_column (@() dirsolve (Ap, [], pinv(J), 5, 1e-10, Lc, Uc, 1, pinv), k, reps);
  t_rows = per_column (@() dirsolve (Ap, [], pinv(J), 5, 1e-10, Lc, Uc, threads, 1:3), k, reps);
  t_host = per_column (@() run (0), k, reps);
  t_zeros = per_column (@() zeros (n, k), k, reps);
  [W, info] = run (5);
  I = speye (n);
  err = norm (Th * W(:, 1:8) - full (I(:, J(1:8))), 'fro') / sqrt (8);
  mat = @(M) 16 * nnz (M) + 8 * (columns (M) + 1);
  bytes = (mat (Ap) + mat (Lc) + mat (Uc)) / lanes + 8 * n;
  flops = 2 * nnz (Lc) + 2 * nnz (Uc) + 4 * nnz (Ap) + 14 * n;
  printf ('n = %6d, nnz(L) = %8d (%5.1f MB with U and A):\n', n, nnz (Lc), (mat (Ap) + mat (Lc) + mat (Uc)) / 1e6);
  printf ('  %7.4f ms per column (%d threads; 1 thread %.4f), passes %d..%d, max ||Th w - e|| %.1e\n', ...
          t_new, threads, t_one, min (info.passes), max (info.passes), err);
  printf ('  %7.4f ms per column returning 3 rows (the solve without most of the output)\n', t_rows);
  printf ('  %7.4f ms per column with maxIter 0 (host and output only); zeros(n, 512) %.4f\n', t_host, t_zeros);
  vec = 18 * 8 * n;
  printf ('  floor: bytes %.4f ms (%.2f MB a column; with its vector passes %.4f ms, %.2f MB), flops %.4f ms (%.2f MFlop a column)\n', ...
          1e3 * bytes / (bw * 1e9), bytes / 1e6, 1e3 * (bytes + vec) / (bw * 1e9), (bytes + vec) / 1e6, ...
          1e3 * flops / (gflops * 1e9), flops / 1e6);
  if (has_base)
    t_base = per_column (@() dirsolve_base (Ap, [], pinv(J), 5, 1e-10, Lc, Uc, threads, pinv), k, reps);
    t_base_rows = per_column (@() dirsolve_base (Ap, [], pinv(J), 5, 1e-10, Lc, Uc, threads, 1:3), k, reps);
    printf ('  before the panels: %7.4f ms per column (%.1fx), returning 3 rows %7.4f (%.1fx)\n', ...
            t_base, t_base / t_new, t_base_rows, t_base_rows / t_rows);
  end
end
