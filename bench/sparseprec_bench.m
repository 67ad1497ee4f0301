1;
% sparseprec against the peers users run (R's glasso and huge, scikit-learn's
% graphical_lasso), each timed at the same F, then a convergence table of
% hard cases, warm-started paths, and the scale cases N = 10,000 and
% N = 99,856. Every estimate, ours and the peers', is judged here the same
% way, densely: F and the optimality measure (the largest entry of the
% minimum-norm subgradient of F, over lambda). The driver is called with
% tol, maxIter, verbose and Theta0 only.
%
% Environment:
%   SPARSEPREC_BENCH_CASES  comma-separated case names or their leading
%                           parts, e.g. factor,grid-1000 or conv,path (the
%                           names are printed); every case when empty
%   SPARSEPREC_BENCH_BIG=0  leaves out the N = 99,856 solve
%   SPARSEPREC_BENCH_PEER_THREADS  OPENBLAS_NUM_THREADS and OMP_NUM_THREADS
%                           of the peers (default: the processors)
%
% Each solve runs once (the whole benchmark takes hours); beside the wall
% time, CPU time over wall time says how many threads a solve kept busy.

% Within this relative distance of the best F anyone found, two estimates
% count as the same solution.
global SAME_F
SAME_F = 1e-6;

function yes = wanted (name)
  % Whether SPARSEPREC_BENCH_CASES asks for case NAME: a token matches a name
  % it equals or that continues it after a '-' (grid-1000 picks
  % grid-1000-0.2, not grid-10000).
  list = getenv ('SPARSEPREC_BENCH_CASES');
  yes = isempty (list);
  for tok = strsplit (list, ',')
    t = strtrim (tok{1});
    yes = yes || (! isempty (t) && (strcmp (name, t) || strncmp (name, [t '-'], numel (t) + 1)));
  end
end

function [F, opt] = judge (S, Theta, lambda)
  % F and the optimality measure of any estimate, densely; F is Inf when
  % the estimate is not positive definite.
  T = full (Theta);
  T = (T + T') / 2;
  [R, fail] = chol (T);
  if (fail)
    F = Inf; opt = Inf;
    return;
  end
  F = -2 * sum (log (diag (R))) + sum (sum (S .* T)) + lambda * sum (abs (T(:)));
  G = S - inv (T);
  v = max (abs (G) - lambda, 0);
  on = T ~= 0;
  v(on) = abs (G(on) + lambda * sign (T(on)));
  opt = max (v(:)) / lambda;
end

function r = run_ours (X, S, lambda, opts)
  % One call as a user makes it, timed, then judged.
  c = cputime (); tic;
  [Theta, info] = sparseprec (X, lambda, opts);
  r.seconds = toc; r.cpu = cputime () - c;
  [r.F, r.opt] = judge (S, Theta, lambda);
  r.iterations = info.iterations;
  r.converged = info.converged;
  r.info = info;
end

function peers = peer_list ()
  % The peers and their tolerance ladders: the default first, then tighter.
  % huge takes no tolerance, so it runs once.
  dir = fileparts (mfilename ('fullpath'));
  peers = struct ('name', {'glasso', 'huge', 'scikit-learn'}, ...
                  'tols', {[1e-4 1e-6 1e-8], NaN, [1e-4 1e-6 1e-8]}, ...
                  'shift', {false, false, true}, ...
                  'cmd', {['Rscript ' dir '/glasso_peer.R %s %d %.17g %g %s'], ...
                          ['Rscript ' dir '/huge_peer.R %s %d %.17g %s'], ...
                          ['/usr/bin/python3 ' dir '/graphical_lasso_peer.py %s %d %.17g %g %s']});
end

function env = peer_env ()
  % The thread counts every peer runs with, as a command prefix.
  n = getenv ('SPARSEPREC_BENCH_PEER_THREADS');
  if (isempty (n))
    n = sprintf ('%d', nproc ());
  end
  env = sprintf ('OPENBLAS_NUM_THREADS=%s OMP_NUM_THREADS=%s', n, n);
end

function r = run_peer (p, tol, in, N, S, lambda)
  % One peer run on the covariance in file IN; r.F is NaN when it failed.
  out = [tempname() '.bin'];
  if (isnan (tol))
    cmd = sprintf (p.cmd, in, N, lambda, out);
  else
    cmd = sprintf (p.cmd, in, N, lambda, tol, out);
  end
  [status, text] = system ([peer_env() ' ' cmd ' 2>&1']);
  r = struct ('tol', tol, 'seconds', NaN, 'cpu', NaN, 'iterations', NaN, 'F', NaN, ...
              'opt', NaN, 'error', '');
  figures = sscanf (text, '%f');
  if (status ~= 0 || numel (figures) < 3 || ! exist (out, 'file'))
    r.error = strtrim (text(max (1, end - 200):end));
    return;
  end
  r.seconds = figures(1); r.iterations = figures(2); r.cpu = figures(3);
  fid = fopen (out);
  P = reshape (fread (fid, Inf, 'double'), N, N);
  fclose (fid);
  delete (out);
  [r.F, r.opt] = judge (S, P, lambda);
end

function [runs, ref] = ladder (p, S, lambda, ref)
  % A peer down its tolerance ladder. It stops at a rung within SAME_F of
  % REF, the lowest F of a near-optimal estimate so far (Inf when none),
  % or once two rungs agree on F far inside SAME_F: tighter ones would not
  % change which rung is timed. Returns REF lowered by its own runs.
  global SAME_F
  N = columns (S);
  in = [tempname() '.bin'];
  fid = fopen (in, 'w');
  fwrite (fid, S + p.shift * lambda * eye (N), 'double');
  fclose (fid);
  runs = [];
  for tol = p.tols
    r = run_peer (p, tol, in, N, S, lambda);
    runs = [runs r];
    ref = reference (ref, r);
    if (isnan (r.F) || (isfinite (ref) && r.F - ref <= SAME_F / 2 * abs (ref)) ...
        || (numel (runs) > 1 && abs (r.F - runs(end - 1).F) <= SAME_F / 100 * abs (r.F)))
      break;
    end
  end
  delete (in);
end

function ref = reference (ref, r)
  % An estimate whose optimality measure is below 1e-4 is within about
  % 1e-9 (relative) of the minimum on these cases (measured: 1e-3 gives
  % 1e-9), so its F can stand for the best when judging other runs.
  if (r.opt <= 1e-4)
    ref = min (ref, r.F);
  end
end

function k = first_same (runs, best)
  % The loosest run within SAME_F of the best F, or 0.
  global SAME_F
  k = find ([runs.F] - best <= SAME_F * abs (best), 1);
  if (isempty (k))
    k = 0;
  end
end

function s = threads_text (r)
  s = sprintf ('cpu/wall %.1f', r.cpu / r.seconds);
end

function s = run_text (r, best)
  if (isnan (r.iterations))
    it = 'iterations not reported';   % huge reports none
  else
    it = sprintf ('%d it.', r.iterations);
  end
  s = sprintf ('%.3g s, %s, F %.10g (best %+.1e rel.), optimality %.1e, %s', r.seconds, ...
               it, r.F, (r.F - best) / abs (best), r.opt, threads_text (r));
end

function s = tol_text (tol)
  if (isnan (tol))
    s = 'no tol to set';
  else
    s = sprintf ('tol %g', tol);
  end
end

function compare_case (name, X, lambda)
  % One line: our time at the best F against the fastest peer's, then a
  % note per side with every run made.
  global SAME_F
  [M, N] = size (X);
  S = X' * X / M;
  % Ours as a user calls it first: once converged, it spares the peers
  % their tighter rungs.
  warning ('off', 'sparseprec:notConverged');
  mine = run_ours (X, S, lambda, struct ());
  mine.tol = 1e-4;
  ref = reference (Inf, mine);
  peers = peer_list ();
  for k = 1:numel (peers)
    [peers(k).runs, ref] = ladder (peers(k), S, lambda, ref);
  end
  % Ours again at tol 1e-6 when the default is not yet at the best F.
  best = min ([mine.F arrayfun(@(p) min ([p.runs.F]), peers)]);
  if (mine.F - best > SAME_F * abs (best))
    r = run_ours (X, S, lambda, struct ('tol', 1e-6));
    r.tol = 1e-6;
    mine = [mine r];
  end
  best = min ([best mine.F]);

  fastest = ''; t_fast = Inf;
  for k = 1:numel (peers)
    j = first_same (peers(k).runs, best);
    if (j > 0 && peers(k).runs(j).seconds < t_fast)
      fastest = peers(k).name; t_fast = peers(k).runs(j).seconds;
    end
  end
  j = first_same (mine, best);
  work = sprintf ('%s: N %d, M %d, lambda %g', name, N, M, lambda);
  if (j > 0)
    t_mine = mine(j).seconds;
  else
    t_mine = mine(end).seconds;
  end
  if (isempty (fastest))
    bench_line ('sparseprec', work, t_mine, 'no peer reached best F', [], [], '');
  else
    bench_line ('sparseprec', work, t_mine, ['fastest: ' fastest], t_fast, [], '', ifelse (j > 0, 3, []));
  end
  for r = mine
    bench_note ('sparseprec', 'ours (%s): %s, %s', tol_text (r.tol), run_text (r, best), ...
                ifelse (r.converged, 'converged', 'NOT converged'));
  end
  if (j == 0)
    bench_note ('sparseprec', 'ours never within %g of the best F: the time above is its last run, target 3x MISSED', SAME_F);
  end
  for p = peers
    for r = p.runs
      if (isnan (r.F))
        bench_note ('sparseprec', '%s (%s) failed: %s', p.name, tol_text (r.tol), r.error);
      else
        bench_note ('sparseprec', '%s (%s): %s', p.name, tol_text (r.tol), run_text (r, best));
      end
    end
    if (first_same (p.runs, best) == 0)
      bench_note ('sparseprec', '%s never within %g of the best F', p.name, SAME_F);
    end
  end
end

function v = ifelse (c, a, b)
  if (c)
    v = a;
  else
    v = b;
  end
end

function n = tail_length (optimality)
  % Outer iterations from the first measure below 1e-2 to the first below
  % 1e-6; NaN when the sequence never gets there.
  a = find (optimality < 1e-2, 1);
  b = find (optimality < 1e-6, 1);
  if (isempty (a) || isempty (b))
    n = NaN;
  else
    n = b - a;
  end
end

function convergence_case (name, X, lambda, tail)
  % Default options, then tol 1e-6: iterations, whether it converged and
  % the final measure (judged here); with TAIL, the superlinear tail.
  [M, N] = size (X);
  S = X' * X / M;
  warning ('off', 'sparseprec:notConverged');
  text = '';
  for tol = [1e-4 1e-6]
    r = run_ours (X, S, lambda, ifelse (tol == 1e-4, struct (), struct ('tol', tol)));
    text = [text sprintf(' | tol %g: %d it. %s, optimality %.1e, %.3g s', tol, r.iterations, ...
                         ifelse (r.converged, 'converged', 'NOT conv.'), r.opt, r.seconds)];
  end
  if (tail)
    n = tail_length (r.info.optimality);
    text = [text ifelse(isnan (n), ' | never from 1e-2 to 1e-6', ...
                        sprintf (' | 1e-2 to 1e-6 in %d it.', n)) ' (target <= 6)'];
  end
  bench_note ('sparseprec', '%-22s N %4d, M %4d, lambda %-5g%s', name, N, M, lambda, text);
end

function path_case (name, X)
  % Ten lambdas from the largest off-diagonal |S_ij| down to 5% of it,
  % each warm-started from the last estimate: iterations/converged per lambda.
  [M, N] = size (X);
  S = X' * X / M;
  lmax = max (max (abs (S - diag (diag (S)))));
  warning ('off', 'sparseprec:notConverged');
  opts = struct ();
  text = ''; all_ok = true; total = 0;
  for lambda = lmax * logspace (0, log10 (0.05), 10)
    tic; [Theta, info] = sparseprec (X, lambda, opts); total = total + toc;
    opts.Theta0 = Theta;
    text = [text sprintf(' %d%s', info.iterations, ifelse (info.converged, '', '!'))];
    all_ok = all_ok && info.converged;
  end
  bench_note ('sparseprec', '%-16s N %4d, lambda_max %.3f: it. per lambda%s | %s, %.3g s', name, N, ...
              lmax, text, ifelse (all_ok, 'all converged', 'NOT all converged (! marks)'), total);
end

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
  if (! isempty (tok))
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

function scale_case (name, X, lambda, verbose)
  % A whole solve alone: time, iterations, the driver's own measure, the
  % seconds by part and the peak memory (no dense judge at this size);
  % verbose prints the driver's line per iteration, for the long runs.
  warning ('off', 'sparseprec:notConverged');
  reset_peak (); base = status_kb ('VmRSS');
  c = cputime (); tic;
  [Theta, info] = sparseprec (X, lambda, struct ('verbose', verbose));
  t = toc; c = cputime () - c;
  bench_line ('sparseprec', sprintf ('%s: N %d, M %d, lambda %g', name, columns (X), rows (X), ...
                                     lambda), t, '', [], [], '');
  bench_note ('sparseprec', '%d iterations, %s, optimality %.2e, nnz %d, cpu/wall %.1f', ...
              info.iterations, ifelse (info.converged, 'converged', 'NOT converged'), ...
              info.optimality(end), nnz (Theta), c / t);
  bench_note ('sparseprec', 'peak memory %.2f GB (+%.2f GB over the %.2f GB before the solve)', ...
              status_kb ('VmHWM') / 2^20, (status_kb ('VmHWM') - base) / 2^20, base / 2^20);
  parts = info.time;
  text = '';
  for f = fieldnames (parts)'
    text = [text sprintf(' %s %.1f s,', f{1}, parts.(f{1}))];
  end
  bench_note ('sparseprec', 'seconds by part:%s the rest %.1f s', text, ...
              t - sum (cellfun (@(f) parts.(f), fieldnames (parts))));
end

% The comparison cases: each kind at a sparse lambda, where the true graph
% is about recovered from M = 1,000 samples, and a dense one that keeps
% dozens of spurious entries a column.
lambdas = struct ('grid', [0.2 0.08], 'chain', [0.3 0.1], 'random', [0.15 0.06]);
bench_note ('sparseprec', 'peers run with %s; ours with numThreads %d and the host BLAS''s defaults', ...
            peer_env (), nproc ());
bench_note ('sparseprec', 'times at the same F: the loosest run within %g (relative) of the best F of all runs', SAME_F);
for lambda = [0.1 0.05]
  name = sprintf ('factor-%g', lambda);
  if (wanted (name))
    compare_case (name, precdata ('factor', 0, 0), lambda);
  end
end
for N = [1000 2000 4000]
  for kind = {'grid', 'chain', 'random'}
    for lambda = lambdas.(kind{1})
      name = sprintf ('%s-%d-%g', kind{1}, N, lambda);
      if (wanted (name))
        compare_case (name, precdata (kind{1}, N, 1000), lambda);
      end
    end
  end
end

% Hard cases: default options, then tol 1e-6.
hard = {'factor', 452, 0.3, false; 'factor', 452, 0.1, true; 'factor', 452, 0.05, false; ...
        'duplicate', 30, 0.05, false; 'wide', 200, 0.03, false; 'grid', 1024, 0.08, false; ...
        'grid', 2000, 0.2, true};
for k = 1:rows (hard)
  name = sprintf ('conv-%s-%d-%g', hard{k, 1:3});
  if (wanted (name))
    convergence_case (name, precdata (hard{k, 1}, hard{k, 2}, 1000), hard{k, 3}, hard{k, 4});
  end
end

% Paths on standardised data of each kind.
for kind = {'grid', 'chain', 'random', 'factor', 'duplicate', 'wide'}
  name = ['path-' kind{1}];
  if (wanted (name))
    X = precdata (kind{1}, 400, 1000);
    path_case (name, X ./ sqrt (mean (X .^ 2)));
  end
end

if (wanted ('grid-10000'))
  scale_case ('grid-10000', precdata ('grid', 10000, 1000), 0.2, false);
end
% At N = 99,856 a whole solve; lambda 0.2 is about six spreads of the sample
% covariance's noise, so the screen keeps the grid's links and little else.
if (wanted ('grid-99856'))
  if (strcmp (getenv ('SPARSEPREC_BENCH_BIG'), '0'))
    bench_note ('sparseprec', 'grid-99856 skipped (SPARSEPREC_BENCH_BIG=0)');
  else
    scale_case ('grid-99856', precdata ('grid', 99856, 1000), 0.2, true);
  end
end
