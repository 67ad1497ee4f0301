1;
% cdsweep on a realistic block: exact inverse columns of a 2-D grid
% precision matrix, 512 consecutive columns, the block's owned lower
% entries of the grid pattern plus 300 entries with rows in the second half
% of the block; n = 10,000 and 99,856; the entries sorted by column, then
% in random order. One sweep's time (three swept, less the call without
% sweeps) on one thread and on two, beside the loop an Octave user would
% write (a BLAS dot and whole-row updates), timed on 300 updates and
% scaled to the sweep. Floor per update: the two n-long
% columns its dot reads and the two row updates, at the measured
% bandwidth; consecutive entries share a column of U and neighbouring
% columns of W, so caches can take the time below it.
% Then the sparse form's product U = (D + D' - diag(D)) * W, formed inside
% the module from a banded lower triangle D, beside Octave's own product
% of the symmetric matrix (U of 41 and 409 MB, above 32 MiB, and at
% n = 10,000 also for half the block, 20 MB); its floor moves W and U once
% and D's entries once per group of 8 columns, plus zeros() of U.

% The same updates with Octave's vector operations. Its dot sums in
% another order, so values agree to rounding.
function delta = octave_sweeps (W, index, U, ei, ej, g, theta, delta, lambda, count)
  loc = zeros (rows (W), 1); loc(index) = 1:numel (index);
  L = numel (ei);
  for t = 0:count - 1
    e = mod (t, L) + 1;
    i = ei(e); j = ej(e); li = loc(i); lj = loc(j);
    dot = W(:, li)' * U(:, lj);
    if (i ~= j)
      a = W(i, lj)^2 + W(i, li) * W(j, lj);
    else
      a = W(i, li)^2;
    end
    c = theta(e) + delta(e);
    u = c - (g(e) + dot) / a;
    mu = -c + sign (u) * max (abs (u) - lambda / a, 0);
    if (mu ~= 0)
      delta(e) = delta(e) + mu;
      U(i, :) = U(i, :) + mu * W(j, :);
      if (i ~= j)
        U(j, :) = U(j, :) + mu * W(i, :);
      end
    end
  end
end

% Timed as a call without sweeps less the same call given U, so the checks
% of D and the first touch of the module's fresh n x m U count too.
function product_case (W, index, ei, ej, g, theta, side)
  [n, m] = size (W);
  e = ones (n, 1);
  D = spdiags ([e (e / 4) (e / 8)], [0 -1 -side], n, n);
  D(sub2ind ([n n], max (ei, ej), min (ei, ej))) = 0;
  U = zeros (n, m);
  S = D + D' - diag (diag (D));
  t = best_time ({@() cdsweep(W, index, U, ei, ej, g, theta, [], 0.05, 0), ...
                  @() cdsweep(W, index, D, ei, ej, g, theta, [], 0.05, 0, 1), ...
                  @() cdsweep(W, index, D, ei, ej, g, theta, [], 0.05, 0, 2), @() S * W}, 3);
  bytes = 16 * n * m + ceil (m / 8) * (16 * nnz (D) + 8 * (n + 1)) - 8 * n * m;
  [fl, note] = bench_floor (bytes, 0, n, m);
  for threads = 1:2
    work = sprintf ('U from D, n %d, m %d, %.1f/col, %d thr', n, m, nnz (D) / n, threads);
    bench_line ('cdsweep', work, t(1 + threads) - t(1), 'S * W', t(4), fl, note);
  end
end

% One sweep's time on one thread and on two, beside the Octave loop; the
% entries in the order given (ORDER names it).
function sweep_case (W, index, U, ei, ej, g, theta, delta0, order)
  [n, m] = size (W);
  L = numel (ei);
  lambda = 0.05; sweeps = 3;
  call = @(T, s) cdsweep (W, index, U, ei, ej, g, theta, delta0, lambda, s, T);
  delta = call (1, sweeps);
  t = best_time ({@() call(1, sweeps), @() call(2, sweeps), @() call(1, 0)}, 3);
  sweep = (t(1:2) - t(3)) / sweeps;
  count = 300;
  % Less one update's time: the first row update copies the caller's U.
  to = best_time (@() octave_sweeps (W, index, U, ei, ej, g, theta, delta0, lambda, count + 1), 2) ...
       - best_time (@() octave_sweeps (W, index, U, ei, ej, g, theta, delta0, lambda, 1), 2);
  [fl, note] = bench_floor (L * (16 * n + 48 * m), 0);
  for threads = 1:2
    work = sprintf ('sweep n %d, m %d, %d %s, %d thr', n, m, L, order, threads);
    bench_line ('cdsweep', work, sweep(threads), 'Octave loop (est.)', to / count * L, fl, note);
  end
  d1 = octave_sweeps (W, index, U, ei, ej, g, theta, delta0, lambda, sweeps * L);
  bench_note ('cdsweep', '%d of %d entries moved; largest difference to the Octave loop %.1e (largest value %.1e)', ...
              nnz (delta ~= delta0), L, max (abs (d1 - delta)), max (abs (delta)));
end

function run_case (side, m)
  n = side ^ 2;
  rand ('seed', 3); randn ('seed', 3);
  e1 = ones (side, 1);
  T1 = spdiags ([-e1 4.5 * e1 -e1], -1:1, side, side);
  Theta = kron (speye (side), T1) + kron (spdiags ([-e1 -e1], [-1 1], side, side), speye (side));
  index = floor (n / 3) + (1:m);
  E = speye (n);
  W = Theta \ full (E(:, index));
  % Owned lower entries of the block: row at or below the column, both in it.
  [ri, ci] = find (tril (Theta(index, index)));
  ei = index(ri)'; ej = index(ci)';
  % Extra entries with rows in the second half of the block.
  extra = 300;
  xi = index(m / 2 + randi (m / 2, 3 * extra, 1))'; xj = index(randi (m, 3 * extra, 1))';
  cand = [max(xi, xj) min(xi, xj)];
  cand = cand(cand(:, 1) ~= cand(:, 2), :);
  [~, fresh] = setdiff (cand, [ei ej], 'rows');
  fresh = sort (fresh);
  fresh = fresh(1:min (extra, numel (fresh)));
  ei = [ei; cand(fresh, 1)]; ej = [ej; cand(fresh, 2)];
  L = numel (ei);
  % A direction built so far on the listed entries, and U = Delta W.
  delta0 = 0.01 * randn (L, 1);
  Delta = sparse ([ei; ej], [ej; ei], [delta0; delta0], n, n);
  Delta = Delta - spdiags (diag (Delta) / 2, 0, n, n);
  U = Delta * W;
  theta = full (Theta(sub2ind ([n n], ei, ej)));
  g = 0.3 * randn (L, 1);

  [~, o] = sortrows ([ej ei]);
  sweep_case (W, index, U, ei(o), ej(o), g(o), theta(o), delta0(o), 'sorted');
  o = randperm (L)';
  sweep_case (W, index, U, ei(o), ej(o), g(o), theta(o), delta0(o), 'random');
  clear U Delta;
  if (8 * n * m / 2 < 32 * 2^20)
    % A block half as wide, for an output below 32 MiB.
    h = m / 2;
    in = ei <= index(h) & ej <= index(h);
    product_case (W(:, 1:h), index(1:h), ei(in), ej(in), g(in), theta(in), side);
  end
  product_case (W, index, ei, ej, g, theta, side);
end

run_case (100, 512);
run_case (316, 512);
