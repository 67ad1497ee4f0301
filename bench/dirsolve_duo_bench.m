1;
% dirsolve_duo on a 2-D Laplacian of a 400 x 400 grid plus 1e-2 I, k = 16
% unit right-hand sides, tol 1e-6: A given whole with 64 contiguous blocks
% and with a random assignment to 64 blocks, beside dirsolve without a
% factor (upper triangle) and beside Octave's pcg. The machine is shared:
% every time is the best of several runs; read ratios within this run.

function t = best_time (reps, fn)
  t = Inf;
  for i = 1:reps
    tic; fn (); t = min (t, toc);
  end
end

% Octave's pcg on every column; returns the best time and the mean number
% of iterations. M1, M2 as pcg takes them (empty for none).
function [t, its] = octave_pcg (A, cols, tol, maxit, M1, M2, reps)
  n = rows (A);
  its = 0;
  t = Inf;
  for rep = 1:reps
    tic;
    total = 0;
    for j = cols
      b = zeros (n, 1); b(j) = 1;
      [~, flag, ~, it] = pcg (A, b, tol, maxit, M1, M2);
      total += it;
    end
    t = min (t, toc);
    its = total / numel (cols);
  end
end

function s = ifelse_str (c, a, b)
  if (c) s = a; else s = b; end
end

g = 400;
e = ones (g, 1);
T = spdiags ([-e 2*e -e], -1:1, g, g);
A = kron (speye (g), T) + kron (T, speye (g)) + 1e-2 * speye (g * g);
n = rows (A);
Au = triu (A);
k = 16;
cols = round (linspace (1, n, k + 2))(2:end-1);
tol = 1e-6;
maxit = 5000;
threads = 2;
reps = 3;
fixed = 40;  % passes per column for the time per iteration (tol = 0)

printf ('n = %d, nnz = %d, k = %d, tol = %g, %d threads; membw %.1f GB/s\n', ...
        n, nnz (A), k, tol, threads, membw (768));

rand ('seed', 7);
layouts = {'contiguous', uint64(floor ((0:n-1)' * 64 / n)); ...
           'random', uint64(floor (rand (n, 1) * 64))};

% dirsolve without a factor: the reference for the time per iteration.
t_ds = best_time (reps, @() dirsolve (Au, [], cols, maxit, tol, [], [], threads, []));
t_ds_it = best_time (reps, @() dirsolve (Au, [], cols, fixed, 0, [], [], threads, [])) / (k * fixed);
[t_oct, it_plain] = octave_pcg (A, cols, tol, maxit, [], [], 1);
printf ('%-34s %8s %10s %12s\n', '', 'iters', 'time s', 'us/iter/col');
printf ('%-34s %8.1f %10.3f %12.1f\n', 'dirsolve (no factor)', it_plain, t_ds, 1e6 * t_ds_it);
printf ('%-34s %8.1f %10.3f\n', 'Octave pcg, no preconditioner', it_plain, t_oct);

for l = 1:rows (layouts)
  name = layouts{l, 1};
  blk = layouts{l, 2};
  % Octave's equivalent of the block SGS pass: M = (D+L) D^-1 (D+U) on the
  % in-block entries.
  [i, j, v] = find (A);
  keep = blk(i) == blk(j);
  Ab = sparse (i(keep), j(keep), v(keep), n, n);
  Dg = spdiags (diag (A), 0, n, n);
  M1 = tril (Ab) / Dg;
  M2 = triu (Ab);
  [t_oct_sgs, it_sgs] = octave_pcg (A, cols, tol, maxit, M1, M2, 1);
  printf ('-- %s blocks\n', name);
  printf ('%-34s %8.1f %10.3f\n', 'Octave pcg, block SGS', it_sgs, t_oct_sgs);
  for wb = [1 0]
    for pc = [0 1]
      t = best_time (reps, @() dirsolve_duo (A, [], cols, maxit, tol, threads, [], blk, wb, pc));
      ti = best_time (reps, @() dirsolve_duo (A, [], cols, fixed, 0, threads, [], blk, wb, pc)) / (k * fixed);
      its = t / (ti * k);
      label = sprintf ('dirsolve_duo %s, precond %d', ifelse_str (wb, 'whole', 'lower'), pc);
      printf ('%-34s %8.1f %10.3f %12.1f   per-iter ratio to dirsolve %.2f\n', ...
              label, its, t, 1e6 * ti, ti / t_ds_it);
    end
  end
end
