1;
% thresh beside the vectorised Octave expression, on X of 2000 x 2000 and
% 10^6 listed positions, in random order and sorted (as a free set comes).
% Both sides fetch a cache line of X, G and D per random position and
% write one of the output: bandwidth bounds the random case.


function out = thresh_ref (lambda, X, mu, G, D, p)
  u = X(p) - D(p) .* G(p);
  T = lambda * D(p);
  out = zeros (size (X));
  out(p) = ((T + u) .* (-T - mu > u) + (u - T) .* (u > mu + T)) - X(p);
end

m = 2000;
randn ('seed', 9); rand ('seed', 9);
X = randn (m); G = randn (m); D = rand (m);
p = randperm (m * m, 1e6)';
lambda = 0.3; mu = 0.05;
for order = {'random', 'sorted'}
  if (strcmp (order{1}, 'sorted'))
    p = sort (p);
  end
  expect = thresh_ref (lambda, X, mu, G, D, p);
  same = isequal (thresh (lambda, X, mu, G, D, p), expect);
  tm = best_time (@() thresh (lambda, X, mu, G, D, p), 9);
  tr = best_time (@() thresh_ref (lambda, X, mu, G, D, p), 9);
  t0 = best_time (@() thresh (lambda, X, mu, G, D, []), 9);
  printf ('1e6 %s positions in 2000 x 2000: thresh %6.2f ms (empty list: %.2f ms, the output alone)   Octave expression %6.2f ms   ratio %5.1fx   (equal bits: %d; membw %.1f GB/s)\n', ...
          order{1}, 1e3 * tm, 1e3 * t0, 1e3 * tr, tr / tm, same, membw (256));
end
