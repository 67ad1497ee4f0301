1;
% sparseprec on grid-structured data: against scikit-learn's
% graphical_lasso at N = 1,000 and 2,000 (same run, same data, accuracy
% compared by F and the optimality measure), alone at N = 10,000, and one
% outer iteration at N = 100,000 split by part (SPARSEPREC_BENCH_BIG=0 in
% the environment skips it). Each run is timed once (minutes in all);
% there is no floor for the whole driver, its modules' floors are in their
% own benchmarks. Beside each solve, the process's resident high-water
% mark, reset before the solve where Linux allows it.
addpath (fullfile (fileparts (mfilename ('fullpath')), '..', 'demo'));

function kb = status_kb (field)
  % A field of /proc/self/status (Linux), in KiB; NaN elsewhere.
  kb = NaN;
  fid = fopen ('/proc/self/status');
  if (fid < 0)
    return;
  end
  text = fread (fid, Inf, 'char=>char')';
  fclose (fid);
  tok = regexp (text, [field ':\s*(\d+)'], 'tokens', 'once');
  if (~isempty (tok))
    kb = str2double (tok{1});
  end
end

function reset_peak ()
  % Writing 5 to clear_refs sets VmHWM back to the resident size, so the
  % next reading is the peak of what runs in between, not of earlier cases.
  fid = fopen ('/proc/self/clear_refs', 'w');
  if (fid >= 0)
    fprintf (fid, '5');
    fclose (fid);
  end
end

function s = peak_text (base_kb)
  s = sprintf ('peak memory %.2f GB (+%.2f GB over the %.2f GB before the solve)', ...
               status_kb ('VmHWM') / 2^20, (status_kb ('VmHWM') - base_kb) / 2^20, base_kb / 2^20);
end

function [F, opt] = judge (X, Theta, lambda)
  % F and the optimality measure of any estimate, densely (N <= 2,000).
  S = X' * X / rows (X);
  T = full (Theta);
  R = chol (T);
  F = -2 * sum (log (diag (R))) + sum (sum (S .* T)) + lambda * sum (abs (T(:)));
  G = S - inv (T);
  v = max (abs (G) - lambda, 0);
  on = T ~= 0;
  v(on) = abs (G(on) + lambda * sign (T(on)));
  opt = max (v(:)) / lambda;
end

function py = find_peer ()
  % A python3 that has scikit-learn, or '' when there is none.
  py = '';
  for cand = {'/usr/bin/python3', 'python3'}
    [status, ~] = system ([cand{1} ' -c "import sklearn" 2>/dev/null']);
    if (status == 0)
      py = cand{1};
      return;
    end
  end
end

function print_parts (info)
  parts = info.time;
  names = fieldnames (parts);
  total = 0;
  text = '';
  for k = 1:numel (names)
    total = total + parts.(names{k});
    text = [text sprintf(' %s %.2f s,', names{k}, parts.(names{k}))];
  end
  bench_note ('sparseprec', 'time by part:%s interpreted rest %.2f s', text, info.seconds - total);
end

% lambda 0.2 is where the estimate finds the grid from M = 1000 samples
% (the sample covariance's noise spreads near 0.035); 0.08 keeps dozens of
% spurious entries a column, a dense regime that suits a dense solver, and
% is run once at N = 1,024 to show it.
M = 1000;
peer = find_peer ();
bench_dir = fileparts (mfilename ('fullpath'));
bench_note ('sparseprec', 'grid-structured precision (1 on the diagonal, -0.2 per link), M = %d samples', M);

for run = [32 0.08; 32 0.2; 45 0.2]'
  side = run(1);
  lambda = run(2);
  [X, ~] = gridmodel (side, M, 1);
  N = columns (X);
  reset_peak (); base = status_kb ('VmRSS');
  tic; [Theta, info] = sparseprec (X, lambda); t = toc;
  peak = peak_text (base);
  [F, opt] = judge (X, Theta, lambda);
  work = sprintf ('grid N %d, M %d, lambda %g', N, M, lambda);
  ours = sprintf ('sparseprec: %d iterations, F %.10g, optimality %.2e, nnz %d, %s', ...
                  info.iterations, F, opt, nnz (Theta), peak);
  if (isempty (peer))
    bench_line ('sparseprec', work, t, '', [], [], '');
    bench_note ('sparseprec', '%s', ours);
    bench_note ('sparseprec', 'scikit-learn not installed (Debian: python3-sklearn): comparison skipped');
    continue;
  end
  in = [tempname() '.bin'];
  out = [tempname() '.bin'];
  fid = fopen (in, 'w');
  fwrite (fid, X' * X / M + lambda * eye (N), 'double');
  fclose (fid);
  for tol = [1e-4 1e-6]
    cmd = sprintf ('%s %s/graphical_lasso_peer.py %s %d %.17g %g %s', peer, bench_dir, in, N, ...
                   lambda, tol, out);
    [status, text] = system (cmd);
    if (status ~= 0)
      bench_note ('sparseprec', 'graphical_lasso (tol %g) failed: %s', tol, strtrim (text));
      continue;
    end
    figures = sscanf (text, '%f');
    fid = fopen (out);
    P = reshape (fread (fid, Inf, 'double'), N, N);
    fclose (fid);
    P = (P + P') / 2;
    P(abs (P) < 1e-12) = 0;
    [Fp, optp] = judge (X, P, lambda);
    bench_line ('sparseprec', work, t, sprintf ('graphical_lasso tol %g', tol), figures(1), [], '');
    bench_note ('sparseprec', 'graphical_lasso (tol %g): %d iterations, F %.10g, optimality %.2e', ...
                tol, figures(2), Fp, optp);
  end
  bench_note ('sparseprec', '%s', ours);
  delete (in);
  delete (out);
  clear P;
end

lambda = 0.2;
[X, ~] = gridmodel (100, M, 1);
reset_peak (); base = status_kb ('VmRSS');
tic; [Theta, info] = sparseprec (X, lambda); t = toc;
bench_line ('sparseprec', sprintf ('grid N %d, M %d, lambda %g', columns (X), M, lambda), t, ...
            '', [], [], '');
bench_note ('sparseprec', '%d iterations, optimality %.2e, nnz %d, %s', info.iterations, ...
            info.optimality(end), nnz (Theta), peak_text (base));
print_parts (info);
clear X Theta;

% One outer iteration at N = 100,000: the screening and the diagonal
% start, then one pass over every block. At M = 1,000 a sample
% covariance's noise has a spread near 0.035, so lambda = 0.08 would pass
% a few percent of all pairs through the screen (about 10^8 at this N)
% and join nearly every variable into one component; at 0.2, about six
% spreads, the screen keeps the grid's links and little else.
if (~strcmp (getenv ('SPARSEPREC_BENCH_BIG'), '0'))
  lambda = 0.2;
  [X, ~] = gridmodel (316, M, 1);
  warning ('off', 'sparseprec:notConverged');
  reset_peak (); base = status_kb ('VmRSS');
  tic; [Theta, info] = sparseprec (X, lambda, struct ('maxIter', 2)); t = toc;
  bench_line ('sparseprec', sprintf ('grid N %d, lambda %g: screen, start, 1 it.', columns (X), ...
                                     lambda), t, '', [], [], '');
  bench_note ('sparseprec', 'nnz %d, %s', nnz (Theta), peak_text (base));
  print_parts (info);
else
  bench_note ('sparseprec', 'N = 99,856 skipped (SPARSEPREC_BENCH_BIG=0)');
end
