1;
% gramprod beside Octave's G = X'*X followed by find on its thresholded
% upper triangle: time (best of several runs, the machine is shared) and
% the peak memory each adds to the process (VmHWM over the resident size
% before the call, the high-water mark being reset first).

function kb = status_kb (field)
  t = fileread ('/proc/self/status');
  m = regexp (t, [field ':\s+(\d+)'], 'tokens', 'once');
  kb = str2double (m{1});
end

function [t, peakMB] = measure (fn, reps)
  fid = fopen ('/proc/self/clear_refs', 'w');
  if (fid >= 0)
    fprintf (fid, '5');
    fclose (fid);
  end
  base = status_kb ('VmRSS');
  t = Inf;
  for k = 1:reps
    tic; fn (); t = min (t, toc);
  end
  peakMB = (status_kb ('VmHWM') - base) / 1024;
end

function octave_route (X, tau)
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

function row = run_case (M, N, runOctave, reps)
  randn ('seed', N);
  X = randn (M, N);
  tau = one_percent (X);
  [r, c, v] = gramprod (X, tau, 1);
  n = numel (r);
  [t_mod, p_mod] = measure (@() gramprod (X, tau, 1), reps);
  [t_big, p_big] = measure (@() gramprod (X, tau, ceil (1.1 * n / N)), reps);
  printf ('gramprod %d x %d, tau %.4g: %d entries listed (%.2f%% of the upper triangle)\n', ...
          M, N, tau, n, 100 * n / (N * (N + 1) / 2));
  printf ('  outputs alone: %.1f MB; Octave''s G alone: %.1f MB\n', 24 * n / 2^20, 8 * N^2 / 2^20);
  printf ('  gramprod, factor 1 (list grows):   %9.1f ms   peak +%8.1f MB\n', 1e3 * t_mod, p_mod);
  printf ('  gramprod, factor for all entries:  %9.1f ms   peak +%8.1f MB\n', 1e3 * t_big, p_big);
  row = [t_mod, p_mod, NaN, NaN];
  if (runOctave)
    [t_oct, p_oct] = measure (@() octave_route (X, tau), reps);
    printf ('  Octave route:                      %9.1f ms   peak +%8.1f MB   (gramprod %.2f x faster, %.1f x less memory)\n', ...
            1e3 * t_oct, p_oct, t_oct / t_mod, p_oct / p_mod);
    row(3:4) = [t_oct, p_oct];
  end
end

printf ('memory bandwidth (membw): %.1f GB/s\n', membw (768));
run_case (200, 6000, true, 3);
% Octave's route needs about 17 N^2 bytes (G, the temporary abs(G), the
% logical mask): 15 GB at N = 30,000, too much for a shared machine. Run it
% at N = 12,000 and scale by N^2 (memory) and N^2 M (time, as the product).
anchor = run_case (100, 12000, true, 2);
big = run_case (100, 30000, false, 2);
s = (30000 / 12000)^2;
MemAvailMB = NaN;
t = fileread ('/proc/meminfo');
m = regexp (t, 'MemAvailable:\s+(\d+)', 'tokens', 'once');
if (! isempty (m))
  MemAvailMB = str2double (m{1}) / 1024;
end
printf ('  Octave route at 30000, scaled from 12000: ~%.0f ms, peak ~+%.0f MB (not run: %.0f MB available)\n', ...
        1e3 * anchor(3) * s, anchor(4) * s, MemAvailMB);
printf ('  gramprod against that estimate: %.2f x faster, %.0f x less memory\n', ...
        anchor(3) * s / big(1), anchor(4) * s / big(2));
