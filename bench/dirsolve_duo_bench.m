1;
% dirsolve_duo on a 2-D Laplacian of a 400 x 400 grid plus 1e-2 I, k = 16
% unit right-hand sides, tol 1e-6: A given whole with 64 contiguous blocks
% and with a random assignment to 64 blocks, beside dirsolve without a
% factor (upper triangle) and beside Octave's pcg with and without the same
% block Gauss-Seidel preconditioner. The machine is shared: times are the
% best of several runs; read ratios within this run.

% Passes each column makes: the smallest maxIter whose result for the
% column has the same bits as with the full limit. guess brackets the
% search (Octave's own counts); the probes are shared by all columns.
function its = pass_counts (fn, k, maxit, guess)
  full = fn (maxit);
  lo = zeros (1, k);          % a limit known to stop the column early
  hi = maxit * ones (1, k);   % a limit known to let it finish
  probes = [max(min(guess) - 2, 0), max(guess) + 2];
  while (true)
    for c = probes
      same = all (fn (c) == full, 1);
      hi(same) = min (hi(same), c);
      lo(! same) = max (lo(! same), c);
    end
    if (all (hi - lo <= 1)) break; end
    [~, j] = max (hi - lo);
    probes = floor ((lo(j) + hi(j)) / 2);
  end
  its = hi;
end

% Octave's pcg on every column: best time and the passes of each column.
function [t, its] = octave_pcg (A, cols, tol, maxit, M1, M2, reps)
  n = rows (A);
  its = zeros (1, numel (cols));
  t = Inf;
  for rep = 1:reps
    tic;
    for q = 1:numel (cols)
      b = zeros (n, 1); b(cols(q)) = 1;
      [~, ~, ~, its(q)] = pcg (A, b, tol, maxit, M1, M2);
    end
    t = min (t, toc);
  end
end

function s = pick (c, a, b)
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

printf ('n = %d, nnz(A) = %d, k = %d unit columns, tol = %g, %d threads; membw %.1f GB/s\n', ...
        n, nnz (A), k, tol, threads, membw (768));
printf ('passes: mean per column; us / pass: wall time over the passes of all k columns\n');
% Octave's pcg, plain and with what an Octave user would write for the
% block preconditioner: M = (D+L) D^-1 (D+U) on the in-block entries.
rand ('seed', 7);
layouts = {'contiguous', uint64(floor ((0:n-1)' * 64 / n)); ...
           'random', uint64(floor (rand (n, 1) * 64))};
[t_oct, it_oct] = octave_pcg (A, cols, tol, maxit, [], [], 1);
t_sgs = zeros (1, 2); it_sgs = cell (1, 2);
for l = 1:2
  blk = layouts{l, 2};
  [i, j, v] = find (A);
  keep = blk(i) == blk(j);
  Ab = sparse (i(keep), j(keep), v(keep), n, n);
  M1 = tril (Ab) / spdiags (diag (A), 0, n, n);
  M2 = triu (Ab);
  [t_sgs(l), it_sgs{l}] = octave_pcg (A, cols, tol, maxit, M1, M2, 1);
end

% The modules: passes per column, then times taken round-robin so that a
% change of load on the machine falls on all of them alike.
runs = {'dirsolve, no factor (triu(A))', 0, ...
        @(m) dirsolve (Au, [], cols, m, tol, [], [], threads, []), it_oct};
for l = 1:2
  for wb = [1 0]
    for pc = [0 1]
      label = sprintf ('dirsolve_duo %s, precondition %d', pick (wb, 'whole', 'lower'), pc);
      blk = layouts{l, 2};
      fn = @(m) dirsolve_duo (A, [], cols, m, tol, threads, [], blk, wb, pc);
      runs(end+1, :) = {label, l, fn, pick(pc, it_sgs{l}, it_oct)};
    end
  end
end
its = zeros (rows (runs), 1);
for r = 1:rows (runs)
  its(r) = sum (pass_counts (runs{r, 3}, k, maxit, runs{r, 4}));
end
t = inf (rows (runs), 1);
for rep = 1:reps
  for r = 1:rows (runs)
    fn = runs{r, 3};
    tic; fn (maxit); t(r) = min (t(r), toc);
  end
end

pass_ds = t(1) / its(1);
line = @(label, it, time) printf ('%-36s %8.1f %9.3f %12.1f %9.2f\n', label, it / k, time, ...
                                  1e6 * time / it, time / it / pass_ds);
printf ('%-36s %8s %9s %12s %9s\n', '', 'passes', 'time s', 'us / pass', 'vs ds');
line (runs{1, 1}, its(1), t(1));
line ('Octave pcg, no preconditioner', sum (it_oct), t_oct);
for l = 1:2
  printf ('-- 64 %s blocks\n', layouts{l, 1});
  line ('Octave pcg, block SGS', sum (it_sgs{l}), t_sgs(l));
  for r = find ([runs{:, 2}] == l)
    line (runs{r, 1}, its(r), t(r));
  end
end
