1;
% thresh beside the vectorised soft threshold an Octave user writes, on
% 10^6 listed positions in random order and sorted (a free set comes
% sorted): in a 1500 x 1500 X, whose output (18 MB, below 32 MiB) glibc
% recycles; in a 2100 x 2100 X (35 MB, just above: mapped fresh each
% call); in a 100,000 x 256 block (205 MB each, far beyond the 32 MiB
% cache); then the driver's call, every entry of a 10^7 vector. The target
% holds for outputs above 32 MiB.
% Floor: the distinct cache lines of X, G and D the positions fall in and
% the positions themselves, plus zeros() of the output (a pass writing the
% values as it clears would write nothing more).

function out = soft_threshold (lambda, X, mu, G, D, p)
  % Each array gathered once; the selection written as the module's, so
  % the bits can be compared.
  x = X(p); d = D(p);
  u = x - d .* G(p);
  T = lambda * d;
  out = zeros (size (X));
  out(p) = ((T + u) .* (-T - mu > u) + (u - T) .* (u > mu + T)) - x;
end

function run_case (shape, p, order, lambda, mu, target)
  randn ('seed', 9); rand ('seed', 9);
  X = randn (shape); G = randn (shape); D = rand (shape);
  if (! isequal (thresh (lambda, X, mu, G, D, p), soft_threshold (lambda, X, mu, G, D, p)))
    printf ('thresh       |   MISMATCH: thresh and the vectorised expression differ\n');
  end
  t = best_time ({@() thresh(lambda, X, mu, G, D, p), @() soft_threshold(lambda, X, mu, G, D, p), ...
                  @() thresh(lambda, X, mu, G, D, [])}, 7);
  [fl, note, tz] = bench_floor (3 * line_bytes (p) + 8 * numel (p), 0, shape(1), shape(2));
  work = sprintf ('%dx%d (%.0f MB), %s %s', shape(1), shape(2), 8 * prod (shape) / 1e6, ...
                  regexprep (sprintf ('%.0e', numel (p)), 'e\+0*', 'e'), order);
  bench_line ('thresh', work, t(1), 'vectorised soft thresh.', t(2), fl, note, target);
  % The empty list makes the output alone: zero fill and the host's copy.
  bench_split ('thresh', 'kernel (list less empty list)', t(1) - t(3), 'output zeros()', tz, ...
               'host copy (empty list less zeros)', t(3) - tz);
end

lambda = 0.3; mu = 0.05;
for shape = {[1500 1500], [2100 2100], [100000 256]}
  s = shape{1};
  rand ('seed', 9);
  p = randperm (prod (s), 1e6)';
  target = [];
  if (8 * prod (s) > 32 * 2^20)
    target = 2;
  end
  run_case (s, p, 'random', lambda, mu, target);
  run_case (s, sort (p), 'sorted', lambda, mu, target);
end
run_case ([1e7 1], (1:1e7)', 'all, sorted', lambda, mu, 2);
