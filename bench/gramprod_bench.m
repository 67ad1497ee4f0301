1;
% gramprod beside the Octave route (G = X'*X, then find on its thresholded
% upper triangle and the values there), tau set so that about 1% of the
% pairs are listed: at N = 6,000 and 12,000 (outputs of 1.4 and 5.8 MB)
% and at N = 30,000 (36 MB each, above 32 MiB). The Octave route needs
% about 17 N^2 bytes (G, abs(G), the mask), 15 GB at N = 30,000, too much
% for a shared machine: there it is estimated from N = 12,000, scaled by
% N^2 (time and memory). Under each line, the peak memory each adds to the
% process (the resident high-water mark, reset before each).
% Floor: the lower half of the product (M N^2 flops) at the dgemm rate, X
% read once, plus zeros() of the three outputs.

function kb = status_kb (field)
  t = fileread ('/proc/self/status');
  m = regexp (t, [field ':\s+(\d+)'], 'tokens', 'once');
  kb = str2double (m{1});
end

function [t, peakMB] = measure (fn, reps)
  % All three outputs asked for: a call as a statement makes only rows.
  fid = fopen ('/proc/self/clear_refs', 'w');
  if (fid >= 0)
    fprintf (fid, '5');
    fclose (fid);
  end
  base = status_kb ('VmRSS');
  t = best_time (fn, reps, 3);
  peakMB = (status_kb ('VmHWM') - base) / 1024;
end

function [r, c, v] = octave_route (X, tau)
  G = X' * X;
  [r, c] = find (triu (abs (G) > tau));
  v = G(r + (c - 1) * columns (G));
end

function tau = one_percent (X)
  % |G(i,k)| exceeds tau for about 1% of the off-diagonal entries.
  S = X(:, 1:min (columns (X), 1500));
  G = S' * S;
  tau = quantile (abs (G(! eye (columns (S)))), 0.99);
end

function [t_oct, p_oct] = run_case (M, N, reps, t_oct, p_oct, estimated)
  randn ('seed', N);
  X = randn (M, N);
  tau = one_percent (X);
  [r, c, v] = gramprod (X, tau, 1);
  n = numel (r);
  [t_mod, p_mod] = measure (@() gramprod (X, tau, 1), reps);
  peer = 'X''*X, triu, find';
  suffix = '';
  if (isempty (t_oct))
    [t_oct, p_oct] = measure (@() octave_route (X, tau), reps);
    [r2, c2] = octave_route (X, tau);
    if (! isequal (sortrows ([min(r, c) max(r, c)]), sortrows ([r2 c2])))
      printf ('gramprod     |   MISMATCH: gramprod and the Octave route list different pairs\n');
    end
  else
    peer = [peer ' (est.)'];
    suffix = [' (' estimated ')'];
  end
  [fl, note] = bench_floor (8 * M * N, M * N ^ 2, [n n n], [1 1 1]);
  work = sprintf ('X %dx%d, %.2f%% listed (%.1f MB out)', M, N, 100 * n / (N * (N + 1) / 2), ...
                  24 * n / 1e6);
  bench_line ('gramprod', work, t_mod, peer, t_oct, fl, note);
  bench_note ('gramprod', 'peak memory: gramprod +%.0f MB, Octave route +%.0f MB%s', p_mod, ...
              p_oct, suffix);
end

run_case (200, 6000, 3, [], [], '');
[t, p] = run_case (100, 12000, 2, [], [], '');
s = (30000 / 12000) ^ 2;
run_case (100, 30000, 2, t * s, p * s, 'scaled from N = 12000');
