1;
% slopemask beside the Octave route (D = X'*Q - R, then find on
% abs(D) > lambda | pattern, and the values at what it finds). The
% driver's call: M = 1,000 samples, the rows of a block of K = 256 columns
% on and below its diagonal among N = 20,000 variables, 1% free (small
% outputs), the block's columns consecutive and then at random places
% (each column's candidates start at its own row); then whole columns of
% N = 100,000 with M = 200 and 20% free (outputs of 41 MB each, above
% 32 MiB; R of 205 MB, beyond the cache).
% Floor: the product's flops on the candidate rows at the dgemm rate, X,
% Q, R and the pattern read once, plus zeros() of the three outputs.

function [pos, d, p] = octave_route (X, Q, pattern, R, lambda, cols, lower)
  % The pattern marked by index (a dense | sparse would give a sparse
  % logical, far slower); in the lower mode column j keeps the rows from
  % cols(j) down.
  P = X' * Q;
  D = P - R;
  free = abs (D) > lambda;
  free(find (pattern)) = true;
  if (lower)
    free = free & ((1:rows (D))' >= cols(:)');
  end
  pos = find (free);
  d = D(pos);
  p = P(pos);
end

function run_case (M, N, K, share, lower, random)
  randn ('seed', 11); rand ('seed', 11);
  cols = 1:K;
  if (random)
    cols = randperm (N, K);
  end
  X = randn (M, N);
  Q = randn (M, K);
  R = randn (N, K);
  pattern = sprand (N, K, 0.002) > 0;
  lambda = quantile (abs (X(:, 1:4096)' * Q - R(1:4096, :))(:), 1 - share);
  [pos, d, p] = slopemask (X, Q, pattern, R, lambda, cols, 1, double (~lower));
  [pos2, d2, p2] = octave_route (X, Q, pattern, R, lambda, cols, lower);
  [pos, o] = sort (pos);
  if (~isequal (pos, pos2) || max (abs (d(o) - d2)) > 1e-9 * max (abs (d2)))
    printf ('slopemask    |   MISMATCH: slopemask and the Octave route differ\n');
  end
  n = numel (pos);
  call = @() slopemask (X, Q, pattern, R, lambda, cols, 1.1 * n, double (~lower));
  t = best_time ({call, @() octave_route(X, Q, pattern, R, lambda, cols, lower)}, 5, 3);
  bytes = 8 * (M * N + M * K + N * K) + 16 * nnz (pattern);
  % Rows above a column's diagonal need no product.
  cand = N * K;
  if (lower)
    cand = sum (N - cols + 1);
  end
  [fl, note] = bench_floor (bytes, 2 * M * cand, [n n n], [1 1 1]);
  rows = 'all';
  if (lower && random)
    rows = 'lower random';
  elseif (lower)
    rows = 'lower';
  end
  work = sprintf ('X %dx%d K %d %s %.1f%% (%.0f MB)', M, N, K, rows, 100 * n / (N * K), ...
                  24 * n / 1e6);
  bench_line ('slopemask', work, t(1), 'X''*Q - R, find, gather', t(2), fl, note);
end

run_case (1000, 20000, 256, 0.01, true, false);
run_case (1000, 20000, 256, 0.01, true, true);
run_case (200, 100000, 256, 0.2, false, false);
