1;
% dirsolve_duo beside dirsolve on the same matrix: a 2-D Laplacian of a
% 400 x 400 grid plus 1e-2 I, k = 16 unit right-hand sides, 2 threads. A
% goes in whole with 64 contiguous blocks and with a random assignment to
% 64 blocks; dirsolve takes its upper triangle, without a factor.
%
% Per pass: tol = 0 makes every column run exactly `passes` passes, so the
% time over k * passes is the time of one column's pass. Floor: the bytes
% one column's pass must move at the measured bandwidth: the layout (or
% dirsolve's upper triangle) read once per panel of lanes and shared by
% them, and nine vectors of n a column (the product reads p and writes
% A p; the update reads x, r, p and A p and writes x, r and p); with the
% preconditioner its in-block entries once more per panel and r read, z
% written. Then the passes each column needs for tol 1e-6, with and
% without the preconditioner. The machine is shared: times are the best of
% several runs taken round-robin; read ratios within this run.

function s = pick (c, a, b)
  if (c) s = a; else s = b; end
end

% Best time of each function handle in fns, taken round-robin.
function t = round_robin (fns, reps)
  t = inf (numel (fns), 1);
  for rep = 1:reps
    for r = 1:numel (fns)
      tic; fns{r} (); t(r) = min (t(r), toc);
    end
  end
end

g = 400;
e = ones (g, 1);
T = spdiags ([-e 2*e -e], -1:1, g, g);
A = kron (speye (g), T) + kron (T, speye (g)) + 1e-2 * speye (g * g);
n = rows (A);
Au = triu (A);
k = 16;
cols = round (linspace (1, n, k + 2))(2:end-1);
threads = 2;
passes = 60;
reps = 3;
% Lanes a panel holds here: 16 halved until every thread has a panel.
W = 16;
while (W > 1 && floor (k / W) < threads) W = W / 2; end

rand ('seed', 7);
layouts = {'contiguous', uint64(floor ((0:n-1)' * 64 / n)); ...
           'random', uint64(floor (rand (n, 1) * 64))};
nb = 64;
[ia, ja] = find (A);

% dirsolve first, then every variant of dirsolve_duo.
labels = {'dirsolve'};
fns = {@() dirsolve (Au, [], cols, passes, 0, [], [], threads, [])};
bytes = 16 * nnz (Au) / W + 8 * (n + 1) / W + 9 * 8 * n;
conv = {@() dirsolve (Au, [], cols, 5000, 1e-6, [], [], threads, [])};
for l = 1:2
  blk = layouts{l, 2};
  inb = blk(ia) == blk(ja);
  for wb = [1 0]
    ndiag = pick (wb, nnz (inb), nnz (inb & ia >= ja));
    layout = 10 * ndiag + 12 * nnz (! inb) + 8 * (n + 1) + 8 * (nb ^ 2 + 1);
    for pc = [0 1]
      labels{end+1} = sprintf ('64 %s blocks, %s, %s', layouts{l, 1}, pick (wb, 'whole', 'lower'), ...
                               pick (pc, 'block SGS', 'plain CG'));
      fns{end+1} = @() dirsolve_duo (A, [], cols, passes, 0, threads, [], blk, wb, pc);
      conv{end+1} = @() dirsolve_duo (A, [], cols, 5000, 1e-6, threads, [], blk, wb, pc);
      sweep = pc * ((10 * ndiag + 8 * (n + 1) + wb * 8 * n) / W + 2 * 8 * n);
      bytes(end+1) = layout / W + 9 * 8 * n + sweep;
    end
  end
end

% Passes to tol 1e-6 and the time they take.
its = zeros (numel (conv), 1);
t_conv = round_robin (conv, 1);
for r = 1:numel (conv)
  [~, info] = conv{r} ();
  its(r) = mean (info.passes);
end
t = round_robin (fns, reps) / (k * passes);

printf ('n = %d, nnz(A) = %d, k = %d unit columns, %d threads, panels of %d lanes; per pass: tol 0, %d passes\n', ...
        n, nnz (A), k, threads, W, passes);
for r = 2:numel (fns)
  [t_floor, note] = bench_floor (bytes(r), 0);
  bench_line ('dirsolve_duo', [labels{r} ', per pass'], t(r), 'dirsolve (triu(A)), per pass', ...
              t(1), t_floor, note);
end
[t_floor, note] = bench_floor (bytes(1), 0);
bench_line ('dirsolve', 'no factor, per pass', t(1), '', [], t_floor, note);

printf ('\nto tol 1e-6:                                    passes a column   time s   us a column pass\n');
for r = 1:numel (conv)
  printf ('%-48s %10.1f %11.3f %12.1f\n', labels{r}, its(r), t_conv(r), 1e6 * t_conv(r) / (k * its(r)));
end
% The preconditioner's share of a pass and what it saves, per layout.
for l = 1:2
  for wb = [1 0]
    r = 1 + 4 * (l - 1) + 2 * (1 - wb) + 1;  % plain; r + 1 with the sweeps
    printf ('%s, %s: block SGS takes %2.0f%% of a pass, passes %5.1f -> %5.1f (%+.0f%%)\n', ...
            layouts{l, 1}, pick (wb, 'whole', 'lower'), 100 * (1 - t(r) / t(r + 1)), ...
            its(r), its(r + 1), 100 * (its(r + 1) / its(r) - 1));
  end
end
