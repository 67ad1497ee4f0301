1;
% stepmin beside an exact piecewise-quadratic minimisation written with
% sort and cumsum, on x and v of 10^6 entries and an index list of 5*10^5.


% All kinks inside (lo, hi) sorted, every piece's clamped vertex evaluated
% at once, the smallest value taken.
function [t, f] = step_ref (x, v, C, B, A, lo, hi, lam, idx)
  xs = x(idx); vs = v(idx);
  tb = -xs ./ vs;
  s = 2 * (vs * (lo + 1e-15) + xs >= 0) - 1;
  in = vs != 0 & tb >= lo + 1e-15 & tb <= hi - 1e-15;
  sx = s .* xs; sv = s .* vs;
  Xo = sum (sx(! in)); Vo = sum (sv(! in));
  [b, p] = sort (tb(in));
  sxi = sx(in)(p); svi = sv(in)(p);
  Xc = Xo + sum (sxi) - 2 * [0; cumsum(sxi)];
  Vc = Vo + sum (svi) - 2 * [0; cumsum(svi)];
  Bp = B + lam * Vc;
  ts = min (max (-Bp / (2 * C), [lo; b]), [b; hi]);
  fv = (C * ts + Bp) .* ts + A + lam * Xc;
  [f, j] = min (fv);
  t = ts(j);
end

n = 1e6; T = 5e5;
randn ('seed', 5); rand ('seed', 5);
x = randn (n, 1); v = randn (n, 1);
idx = randperm (n, T)';
lam = 0.1; A = 1;
C = 0.5 * sum (v(idx) .^ 2);
B = -0.6 * C;
for hi = [1 1e3]
  lo = 0;
  k = nnz (-x(idx) ./ v(idx) > lo & -x(idx) ./ v(idx) < hi);
  [t1, f1] = stepmin (x, v, C, B, A, lo, hi, lam, idx);
  [t2, f2] = step_ref (x, v, C, B, A, lo, hi, lam, idx);
  ts = best_time (@() stepmin (x, v, C, B, A, lo, hi, lam, idx), 7);
  tr = best_time (@() step_ref (x, v, C, B, A, lo, hi, lam, idx), 7);
  printf ('[lo, hi] = [%g, %g], %d breakpoints: stepmin %7.2f ms   sort+cumsum %7.2f ms   ratio %5.1fx   (t %.6g vs %.6g, relative f difference %.1e)\n', ...
          lo, hi, k, 1e3 * ts, 1e3 * tr, tr / ts, t1, t2, abs (f1 - f2) / abs (f2));
end
