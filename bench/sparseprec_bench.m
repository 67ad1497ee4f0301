1;
% sparseprec on grid-structured data: against scikit-learn's
% graphical_lasso at N = 1,000 and 2,000 (same run, same data, accuracy
% compared by F and the optimality measure), alone at N = 10,000, and one
% outer iteration at N = 100,000 split by part. Peak memory is the
% process's high-water mark, so the cases run in increasing size.
addpath (fullfile (fileparts (mfilename ('fullpath')), '..', 'demo'));

function kb = peak_kb ()
  % The process's resident high-water mark (Linux), in KiB.
  kb = NaN;
  fid = fopen ('/proc/self/status');
  if (fid < 0)
    return;
  end
  text = fread (fid, Inf, 'char=>char')';
  fclose (fid);
  tok = regexp (text, 'VmHWM:\s*(\d+)', 'tokens', 'once');
  if (! isempty (tok))
    kb = str2double (tok{1});
  end
end

function [F, opt] = judge (X, Theta, lambda)
  % F and the optimality measure of any estimate, densely (N <= 2,000).
  S = X' * X / rows (X);
  T = full (Theta);
  R = chol (T);
  F = -2 * sum (log (diag (R))) + sum (sum (S .* T)) + lambda * sum (abs (T(:)));
  G = S - inv (T);
  v = max (abs (G) - lambda, 0);
  on = T != 0;
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
  for k = 1:numel (names)
    total += parts.(names{k});
  end
  printf ('    time by part:');
  for k = 1:numel (names)
    printf (' %s %.2f s,', names{k}, parts.(names{k}));
  end
  printf (' interpreted rest %.2f s\n', info.seconds - total);
end

lambda = 0.08;
M = 1000;
peer = find_peer ();
bench_dir = fileparts (mfilename ('fullpath'));
printf ('grid-structured precision (1 on the diagonal, -0.2 per link), M = %d samples, lambda = %g\n', ...
        M, lambda);

for side = [32 45]
  [X, ~] = gridmodel (side, M, 1);
  N = columns (X);
  tic; [Theta, info] = sparseprec (X, lambda); t = toc;
  [F, opt] = judge (X, Theta, lambda);
  printf ('N = %d: sparseprec %.2f s, %d iterations, F %.10g, optimality %.2e, nnz %d\n', ...
          N, t, info.iterations, F, opt, nnz (Theta));
  if (isempty (peer))
    printf ('    scikit-learn not installed (Debian: python3-sklearn): comparison skipped\n');
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
    if (status != 0)
      printf ('    graphical_lasso failed: %s\n', strtrim (text));
      continue;
    end
    figures = sscanf (text, '%f');
    fid = fopen (out);
    P = reshape (fread (fid, Inf, 'double'), N, N);
    fclose (fid);
    P = (P + P') / 2;
    P(abs (P) < 1e-12) = 0;
    [Fp, optp] = judge (X, P, lambda);
    printf (['    graphical_lasso (tol %g) %.2f s, %d iterations, F %.10g, optimality %.2e: ' ...
             'sparseprec %.1fx faster\n'], tol, figures(1), figures(2), Fp, optp, figures(1) / t);
  end
  delete (in);
  delete (out);
  clear P;
end

[X, ~] = gridmodel (100, M, 1);
tic; [Theta, info] = sparseprec (X, lambda); t = toc;
printf ('N = %d: sparseprec %.2f s, %d iterations, optimality %.2e, nnz %d, peak memory %.2f GB\n', ...
        columns (X), t, info.iterations, info.optimality(end), nnz (Theta), peak_kb () / 2^20);
print_parts (info);
clear X Theta;

% One outer iteration at N = 100,000: the screening and the diagonal
% start, then one pass over every block.
[X, ~] = gridmodel (316, M, 1);
warning ('off', 'sparseprec:notConverged');
tic; [~, info] = sparseprec (X, lambda, struct ('maxIter', 2)); t = toc;
printf ('N = %d: screening, start and one outer iteration %.1f s, peak memory %.2f GB\n', ...
        columns (X), t, peak_kb () / 2^20);
print_parts (info);
