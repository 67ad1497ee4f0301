1;
% cdsweep from Octave: against a plain loop in the same order (same bits),
% argument shapes, sweep counts, thread counts, rejections, untouched
% inputs.

% The documented order: dots in chunks of 1024 rows with 8 partial sums,
% rows of U updated whole from the rows of W.
function [delta, quad] = sweep_ref (W, index, U, ei, ej, g, theta, delta, lambda, sweeps)
  loc = zeros (rows (W), 1); loc(index) = 1:numel (index);
  quad = 0;
  for s = 1:sweeps
    for e = 1:numel (ei)
      i = ei(e); j = ej(e); li = loc(i); lj = loc(j);
      x = W(:, li) .* U(:, lj);
      dot = 0;
      for k0 = 1:1024:numel (x)
        p = zeros (1, 8);
        for l = 1:8
          p(l) = sum (x(k0 + l - 1:8:min (end, k0 + 1023)));
        end
        dot = dot + (((p(1) + p(2)) + (p(3) + p(4))) + ((p(5) + p(6)) + (p(7) + p(8))));
      end
      if (i != j)
        a = W(i, lj) * W(i, lj) + W(i, li) * W(j, lj);
      else
        a = W(i, li) * W(i, li);
      end
      c = theta(e) + delta(e);
      mu = 0;
      if (a > 0 && isfinite (a))
        u = c - (g(e) + dot) / a;
        mu = -c + sign (u) * max (abs (u) - lambda / a, 0);
      end
      if (mu == 0)
        continue;
      end
      delta(e) = delta(e) + mu;
      U(i, :) = U(i, :) + mu * W(j, :);
      if (i != j)
        U(j, :) = U(j, :) + mu * W(i, :);
        quad = quad + ((2 * mu) * dot + (a * mu) * mu);
      else
        quad = quad + (mu * dot + (0.5 * (a * mu)) * mu);
      end
    end
  end
end

% A consistent block of an SPD inverse with listed entries on (index, index).
function [W, index, U, ei, ej, g, theta, delta0, Delta] = block_problem (n, m, seed)
  rand ('seed', seed); randn ('seed', seed);
  Theta = 0.5 * sprandsym (n, 4 / n) + 5 * speye (n);
  index = randperm (n, m);
  [a, b] = find (tril (rand (m) < 0.3));
  flip = rand (size (a)) < 0.5;                 % both (i, j) and (j, i) orders
  ei = index(ifelse_ (flip, b, a))'; ej = index(ifelse_ (flip, a, b))';
  order = randperm (numel (ei));
  ei = ei(order); ej = ej(order);
  L = numel (ei);
  delta0 = 0.05 * randn (L, 1);
  Delta = sparse ([ei; ej], [ej; ei], [delta0; delta0], n, n);
  Delta = Delta - spdiags (diag (Delta) / 2, 0, n, n);
  E = speye (n);
  W = Theta \ full (E(:, index));
  U = Delta * W;
  theta = full (Theta(sub2ind ([n n], ei, ej)));
  g = 0.2 * randn (L, 1);
end

% U for the sparse form in the documented order: D's entries column by
% column, rows ascending (as find lists them), then the listed entries'
% starting values in list order; every column of U at once, which leaves
% each element's order as it is.
function U = product_ref (D, W, ei, ej, delta0)
  [r, c, v] = find (D);
  U = zeros (size (W));
  for k = 1:numel (v)
    U(r(k), :) = U(r(k), :) + v(k) * W(c(k), :);
    if (r(k) != c(k))
      U(c(k), :) = U(c(k), :) + v(k) * W(r(k), :);
    end
  end
  for e = find (delta0(:) != 0)'
    U(ei(e), :) = U(ei(e), :) + delta0(e) * W(ej(e), :);
    if (ei(e) != ej(e))
      U(ej(e), :) = U(ej(e), :) + delta0(e) * W(ei(e), :);
    end
  end
end

% A lower triangle touching every column (one row at or below each, a few
% more entries, half the diagonal) without the listed pairs.
function D = lower_direction (n, ei, ej, seed)
  rand ('seed', seed); randn ('seed', seed);
  c = (1:n)';
  D = sparse (c + floor (rand (n, 1) .* (n - c + 1)), c, randn (n, 1), n, n);
  D = D + tril (sprandn (n, n, 2 / n)) + spdiags (randn (n, 1) .* (rand (n, 1) < 0.5), 0, n, n);
  D(sub2ind ([n n], max (ei, ej), min (ei, ej))) = 0;
end

function z = ifelse_ (c, x, y)
  z = y; z(c) = x(c);
end

function reject_with (expected, a, k, v)
  % The arguments a with argument k replaced by v are rejected.
  a{k} = v;
  expect_reject (expected, @cdsweep, a{:});
end

[W, index, U, ei, ej, g, theta, delta0, Delta0] = block_problem (2600, 40, 3);
L = numel (ei);
[delta, quad] = cdsweep (W, index, U, ei, ej, g, theta, delta0, 0.1, 3);
[dref, qref] = sweep_ref (W, index, U, ei, ej, g, theta, delta0, 0.1, 3);
expect_bits (delta, dref, 'delta against the plain loop');
expect_bits (quad, qref, 'quad against the plain loop');
assert (any (delta != delta0));
% quad is the increase of 1/2 trace(W Delta W Delta); Delta lives on
% (index, index), so W(index, index) is all of W it meets.
Delta1 = Delta0 + sparse ([ei; ej], [ej; ei], [delta - delta0; delta - delta0], 2600, 2600);
Delta1 = Delta1 - spdiags (diag (Delta1 - Delta0) / 2, 0, 2600, 2600);
Wb = W(index, :);
half = @(D) 0.5 * trace (Wb * D(index, index) * Wb * D(index, index));
assert (quad, half (Delta1) - half (Delta0), 1e-10 * abs (half (Delta1)));

% delta0 = [] starts from zeros; shapes of index, ei and ej do not matter;
% fractions truncate.
U0 = zeros (size (W));   % Delta is 0 on the listed entries and elsewhere
[d0, q0] = cdsweep (W, index, U0, ei, ej, g, theta, [], 0.1, 2);
[r0, s0] = sweep_ref (W, index, U0, ei, ej, g, theta, zeros (L, 1), 0.1, 2);
expect_bits (d0, r0, 'delta0 empty');
expect_bits (q0, s0, 'quad from zeros');
expect_bits (cdsweep (W, reshape (index + 0.5, 5, 8), U, ei' + 0.25, ej', g', theta', delta0', 0.1, 3.9), ...
             delta, 'other shapes, fractions');

% Sweep counts: none (also negative) returns delta0 and quad 0.
[d, q] = cdsweep (W, index, U, ei, ej, g, theta, delta0, 0.1, 0);
expect_bits (d, delta0, 'no sweep');
expect_bits (q, 0, 'no sweep, quad');
expect_bits (cdsweep (W, index, U, ei, ej, g, theta, delta0, 0.1, -2), delta0, 'negative sweeps');
% A list without entries, and lambda of an integer class.
[d, q] = cdsweep (W, index, U, [], [], [], [], [], 0.1, 3);
expect_bits (d, zeros (0, 1), 'empty list');
expect_bits (q, 0, 'empty list, quad');
% Lists with rows but no elements are empty lists too.
[d, q] = cdsweep (W, index, U, zeros (3, 0), zeros (1, 0), [], [], [], 0.1, 3);
expect_bits ({d, q}, {zeros(0, 1), 0}, 'k x 0 lists');
expect_bits (cdsweep (W, index, U, ei, ej, g, theta, delta0, int8 (1), 1), ...
             sweep_ref (W, index, U, ei, ej, g, theta, delta0, 1, 1), 'int8 lambda');

% Same bits on one and two threads (asked for; more than the processors
% count as their number), with n = 20000 giving the threads work.
[Wl, il, Ul, eil, ejl, gl, thl, dl] = block_problem (20000, 24, 5);
[dr, qr] = sweep_ref (Wl, il, Ul, eil, ejl, gl, thl, dl, 0.05, 2);
for T = {[], 1, 2, 64}
  [d, q] = cdsweep (Wl, il, Ul, eil, ejl, gl, thl, dl, 0.05, 2, T{1});
  expect_bits ([d; q], [dr; qr], sprintf ('numThreads %s', mat2str (T{1})));
end

% Inputs stay as they were.
c = {W, index, U, ei, ej, g, theta, delta0, 0.1, 3};
keep = cellfun (@(x) x + 0, c, 'UniformOutput', false);
cdsweep (c{:});
for t = 1:numel (c)
  expect_bits (c{t}, keep{t}, sprintf ('argument %d after the call', t));
end

E = @(text) sprintf ("ERROR: cdsweep: %s\n", text);
a = {W, index, U, ei, ej, g, theta, delta0, 0.1, 3};
expect_reject (E ('expected 10 arguments, found 9'), @cdsweep, a{1:9});
reject_with (E ('argument 1 (W): expected a full real double array, found sparse double'), ...
             a, 1, sparse (W));
reject_with (E ('argument 3 (U): expected a full real double array, found complex double'), ...
             a, 3, U + 1i);
reject_with (E ('argument 2 (index): expected a full real double array, found int32'), ...
             a, 2, int32 (index));
reject_with (E ('argument 8 (delta0): expected a full real double array, found single'), ...
             a, 8, single (delta0));
reject_with (E ('argument 10 (sweeps): expected a real number, found an empty array'), a, 10, []);
reject_with (E ('argument 11 (numThreads): expected a real number, found char'), a, 11, 'two');
reject_with (E ('argument 2 (index): expected 40 elements, one per column of W, found 39'), ...
             a, 2, index(1:39));
reject_with (E ('argument 3 (U): expected 2600 x 40, found 2600 x 39'), a, 3, U(:, 1:39));
reject_with (E (sprintf ('argument 5 (ej): expected %d elements, one per element of ei, found %d', ...
                         L, L - 1)), a, 5, ej(2:end));
reject_with (E (sprintf ('argument 6 (g): expected %d elements, one per entry, found 1', L)), ...
             a, 6, 1);
reject_with (E (sprintf ('argument 7 (theta): expected %d elements, one per entry, found %d', ...
                         L, L + 1)), a, 7, [theta; 1]);
reject_with (E (sprintf ('argument 8 (delta0): expected %d elements, one per entry, found 2', L)), ...
             a, 8, [1 2]);
for bad = {-1, NaN, Inf}
  reject_with (E (sprintf ('argument 9 (lambda): expected a finite value of at least 0, found %g', ...
                           bad{1})), a, 9, bad{1});
end
reject_with (E ('argument 2 (index): element 3 is 0, outside 1..2600'), ...
             a, 2, [index(1:2) 0 index(4:end)]);
reject_with (E ('argument 2 (index): element 40 is NaN, outside 1..2600'), ...
             a, 2, [index(1:39) NaN]);
reject_with (E (sprintf ('argument 2 (index): element 5 repeats row %d of element 2', index(2))), ...
             a, 2, [index(1:4) index(2) index(6:end)]);
reject_with (E ('argument 4 (ei): element 2 is 2601, outside 1..2600'), ...
             a, 4, [ei(1); 2601; ei(3:end)]);
reject_with (E ('argument 5 (ej): element 1 is -Inf, outside 1..2600'), a, 5, [-Inf; ej(2:end)]);
outside = setdiff (1:2600, index)(1);
reject_with (E (sprintf ('argument 5 (ej): element 3 is %d, not in index', outside)), ...
             a, 5, [ej(1:2); outside; ej(4:end)]);
% A pair listed twice, also mirrored, or a diagonal entry twice.
k = find (ei != ej, 1);
expect_reject (E (sprintf ('argument 5 (ej): entry %d, (%d, %d), names the pair of entry %d, (%d, %d)', ...
                           L + 1, ej(k), ei(k), k, ei(k), ej(k))), ...
               @cdsweep, W, index, U, [ei; ej(k)], [ej; ei(k)], [g; 0], [theta; 0], [], 0.1, 1);
expect_reject (E (sprintf ('argument 5 (ej): entry 3, (%d, %d), names the pair of entry 1, (%d, %d)', ...
                           index(7), index(7), index(7), index(7))), ...
               @cdsweep, W, index, U, index([7 2 7]), index([7 3 7]), [1 2 3], [1 2 3], [], 0.1, 1);

% The sparse form: the direction's lower triangle D instead of U. The same
% bits as the dense form fed with U formed in the documented order, with
% and without starting values, and close to Octave's own product.
D = lower_direction (2600, ei, ej, 7);
Dsym = D + D' - diag (diag (D));
for d0 = {[], delta0}
  [d, q] = cdsweep (W, index, D, ei, ej, g, theta, d0{1}, 0.1, 3);
  d0z = d0{1};
  if (isempty (d0z))
    d0z = zeros (L, 1);
  end
  [dr, qr] = cdsweep (W, index, product_ref (D, W, ei, ej, d0z), ei, ej, g, theta, d0{1}, 0.1, 3);
  expect_bits ([d; q], [dr; qr], sprintf ('sparse form, %d starting values', numel (d0{1})));
  Delta = Dsym + sparse ([ei; ej], [ej; ei], [d0z; d0z], 2600, 2600);
  Delta = Delta - spdiags (diag (Delta) / 2 .* (diag (Dsym) == 0), 0, 2600, 2600);
  dp = cdsweep (W, index, Delta * W, ei, ej, g, theta, d0{1}, 0.1, 3);
  assert (d, dp, 1e-10 * max (abs (dp)));
end
% An empty D leaves U to the starting values alone.
Z = sparse (2600, 2600);
expect_bits (cdsweep (W, index, Z, ei, ej, g, theta, delta0, 0.1, 3), ...
             cdsweep (W, index, product_ref (Z, W, ei, ej, delta0), ei, ej, g, theta, delta0, 0.1, 3), ...
             'empty D');
assert (cdsweep (W, index, Z, ei, ej, g, theta, delta0, 0.1, 3), delta, 1e-12 * max (abs (delta)));
% D is not written.
keep = D + 0;
cdsweep (W, index, D, ei, ej, g, theta, delta0, 0.1, 1);
expect_bits (nonzeros (D), nonzeros (keep), 'D after the call');
assert (isequal (D, keep));

% Threads: the product splits the columns of U, the sweeps the rows; the
% same bits for any count.
Dl = lower_direction (20000, eil, ejl, 9);
[dr, qr] = cdsweep (Wl, il, product_ref (Dl, Wl, eil, ejl, dl), eil, ejl, gl, thl, dl, 0.05, 2);
for T = {[], 1, 2, 3, 64}
  [d, q] = cdsweep (Wl, il, Dl, eil, ejl, gl, thl, dl, 0.05, 2, T{1});
  expect_bits ([d; q], [dr; qr], sprintf ('sparse form, numThreads %s', mat2str (T{1})));
end

% Rejections of D: class, size, an entry above the diagonal, a listed pair
% stored (the first in list order, either orientation, diagonal too).
a = {W, index, D, ei, ej, g, theta, delta0, 0.1, 3};
reject_with (E ('argument 3 (D): expected a sparse real double array, found sparse logical'), ...
             a, 3, D != 0);
reject_with (E ('argument 3 (D): expected a sparse real double array, found sparse complex double'), ...
             a, 3, D * 1i);
reject_with (E ('argument 3 (D): expected 2600 x 2600, found 2600 x 2601'), a, 3, [D sparse(2600, 1)]);
reject_with (E ('argument 3 (D): expected 2600 x 2600, found 2600 x 40'), a, 3, sparse (U));
Du = D; Du(1, 2) = 1; Du(5, 9) = 1;
reject_with (E ('argument 3 (D): entry (1, 2) lies above the diagonal; D holds the lower triangle only'), ...
             a, 3, Du);
up = find (ei < ej, 2); down = find (ei > ej, 1); diagonal = find (ei == ej, 1);
for k = {[up(2) down], [down up(2)], up(1), diagonal}
  Dp = D;
  for e = k{1}
    Dp(max (ei(e), ej(e)), min (ei(e), ej(e))) = 1;
  end
  e = min (k{1});
  reject_with (E (sprintf ('argument 3 (D): stores (%d, %d), the pair of entry %d, (%d, %d), of the list', ...
                           max (ei(e), ej(e)), min (ei(e), ej(e)), e, ei(e), ej(e))), a, 3, Dp);
end

% A tolerance stops the sweeps at the first one within it; without one
% every sweep is made.
[d, q, made, worst] = cdsweep (Wl, il, Dl, eil, ejl, gl, thl, dl, 0.05, 50, 1, []);
assert (made == 50);
[d2, q2, made2, worst2] = cdsweep (Wl, il, Dl, eil, ejl, gl, thl, dl, 0.05, 50, 1, 10 * worst);
assert (made2 < 50 && worst2 <= 10 * worst && made2 >= 1);
[d3, q3] = cdsweep (Wl, il, Dl, eil, ejl, gl, thl, dl, 0.05, made2);
expect_bits ([d3; q3], [d2; q2], 'tol against its sweep count');
reject_with (E ('argument 12 (tol): expected a real number, found char'), ...
             {Wl, il, Dl, eil, ejl, gl, thl, dl, 0.05, 5, 1}, 12, 'small');
