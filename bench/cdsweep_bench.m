1;
% cdsweep on a realistic block: exact inverse columns of a 2-D grid
% precision matrix, 512 consecutive columns, the block's owned lower
% entries of the grid pattern plus 300 entries with rows in the second half
% of the block; 3 sweeps. Beside it the floor (the two n-long columns every
% dot reads plus the two row updates, at the bandwidth membw measures), the
% same call on two threads, and the loop an Octave user would write, timed
% on a few hundred updates. Consecutive entries share a column of U and
% neighbouring columns of W, so caches can take the time below the floor.


% The same updates with Octave's vector operations: a BLAS dot and whole
% row updates. Its dot sums in another order, so values agree to rounding.
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

% The sparse form's product: U = (D + D' - diag(D)) * W formed inside the
% module from a banded lower triangle D (the diagonal and the grid's two
% lower neighbours, 3 entries per column, the listed pairs left out),
% timed as a call without sweeps less the same call given U, so the
% checks of D and the first touch of the module's fresh n x m U count too.
% Its floor moves W and U once and D's entries once per group of 8
% columns; beside it Octave's own product of the symmetric matrix.
function product_case (W, index, ei, ej, g, theta, side, bw)
  [n, m] = size (W);
  e = ones (n, 1);
  D = spdiags ([e (e / 4) (e / 8)], [0 -1 -side], n, n);
  D(sub2ind ([n n], max (ei, ej), min (ei, ej))) = 0;
  U = zeros (n, m);
  given = @() cdsweep (W, index, U, ei, ej, g, theta, [], 0.05, 0);
  formed = @(T) cdsweep (W, index, D, ei, ej, g, theta, [], 0.05, 0, T);
  t0 = best_time (given, 3);
  t1 = best_time (@() formed (1), 3) - t0;
  t2 = best_time (@() formed (2), 3) - t0;
  S = D + D' - diag (diag (D));
  to = best_time (@() S * W, 3);
  bytes = 16 * n * m + ceil (m / 8) * (16 * nnz (D) + 8 * (n + 1));
  floor_t = bytes / (bw * 1e9);
  printf ('  sparse form: U from D (%d entries, %.1f per column) %7.1f ms, floor %6.1f ms (%.0f MB): %.2fx the floor\n', ...
          nnz (D), nnz (D) / n, 1e3 * t1, 1e3 * floor_t, bytes / 1e6, t1 / floor_t);
  printf ('    numThreads 2 %7.1f ms (%.2fx one thread''s); Octave''s S * W %7.1f ms (%.1fx the module''s)\n', ...
          1e3 * t2, t2 / t1, 1e3 * to, to / t1);
end

function run_case (side, m, bw)
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
  lambda = 0.05; sweeps = 3;

  call = @(T) cdsweep (W, index, U, ei, ej, g, theta, delta0, lambda, sweeps, T);
  delta = call (1);
  t = best_time (@() call (1), 3);
  t2 = best_time (@() call (2), 3);
  t0 = best_time (@() cdsweep (W, index, U, ei, ej, g, theta, delta0, lambda, 0), 3);
  updates = sweeps * L;
  per = (t - t0) / updates;
  per2 = (t2 - t0) / updates;
  bytes = 16 * n + 48 * m;
  floor_per = bytes / (bw * 1e9);
  count = 300;
  % Less one update's time: the first row update copies the caller's U.
  to = best_time (@() octave_sweeps (W, index, U, ei, ej, g, theta, delta0, lambda, count + 1), 2) ...
       - best_time (@() octave_sweeps (W, index, U, ei, ej, g, theta, delta0, lambda, 1), 2);
  printf ('cdsweep  n %d, m %d, %d entries, %d sweeps (%d entries moved): %.1f ms, of which setup (0 sweeps) %.1f ms\n', ...
          n, m, L, sweeps, nnz (delta ~= delta0), 1e3 * t, 1e3 * t0);
  printf ('  per update %7.2f us, floor %6.2f us (%.0f KB at %.1f GB/s): %.2fx the floor\n', ...
          1e6 * per, 1e6 * floor_per, bytes / 1024, bw, per / floor_per);
  printf ('  per sweep  %7.2f ms, floor %6.2f ms\n', 1e3 * per * L, 1e3 * floor_per * L);
  printf ('  numThreads 2: per update %7.2f us, %.2fx the floor, %.2fx one thread''s time (a barrier per update)\n', ...
          1e6 * per2, per2 / floor_per, per2 / per);
  printf ('  Octave loop (BLAS dot, row updates) %7.2f us per update (%d timed): cdsweep %.1fx faster\n', ...
          1e6 * to / count, count, to / count / per);
  d1 = octave_sweeps (W, index, U, ei, ej, g, theta, delta0, lambda, updates);
  printf ('  largest difference to the Octave loop over all %d updates: %.1e (largest value %.1e)\n', ...
          updates, max (abs (d1 - delta)), max (abs (delta)));
  clear call U Delta;
  product_case (W, index, ei, ej, g, theta, side, bw);
end

bw = membw (256);
run_case (100, 512, bw);
run_case (316, 512, bw);
printf ('membw: %.1f GB/s\n', bw);
