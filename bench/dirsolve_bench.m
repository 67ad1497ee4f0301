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
