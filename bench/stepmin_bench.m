1;
% stepmin beside an exact piecewise-quadratic minimisation written with
% sort and cumsum, on x and v of 10^6 entries: an index list of 5*10^5 in
% random order, and every entry. Floor: the index read once and every
% cache line of x and v that a listed entry falls in, at the measured
% bandwidth (the breakpoint list the module builds and sorts is its own
% traffic, not counted). A build from before the lazy sort, renamed
% stepmin_base.mex and put on the path (e.g. in build/bench), is timed
% beside it when present.


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
lam = 0.1; A = 1;
has_base = exist ('stepmin_base') == 3;
for list = {'random', 'all'}
  if (strcmp (list{1}, 'random'))
    idx = randperm (n, T)';
    C = 0.5 * sum (v(idx) .^ 2); B = -0.6 * C;
    call = @(fn, lo, hi) fn (x, v, C, B, A, lo, hi, lam, idx);
    lines = numel (unique (floor ((idx - 1) / 8)));
    bytes = 8 * T + 2 * 64 * lines;
  else
    idx = (1:n)';
    C = 0.5 * sum (v .^ 2); B = -0.6 * C;
    call = @(fn, lo, hi) fn (x, v, C, B, A, lo, hi, lam);
    bytes = 16 * n;
  end
  [t_floor, note] = bench_floor (bytes, 0);
  for hi = [1 1e3]
    lo = 0;
    k = nnz (-x(idx) ./ v(idx) > lo & -x(idx) ./ v(idx) < hi);
    [t1, f1] = call (@stepmin, lo, hi);
    [t2, f2] = step_ref (x, v, C, B, A, lo, hi, lam, idx);
    if (abs (t1 - t2) > 1e-12 || abs (f1 - f2) > 1e-12 * abs (f2))
      printf ('stepmin and sort+cumsum disagree: t %.17g vs %.17g, f %.17g vs %.17g\n', t1, t2, f1, f2);
    end
    ts = best_time (@() call (@stepmin, lo, hi), 9);
    tr = best_time (@() step_ref (x, v, C, B, A, lo, hi, lam, idx), 5);
    work = sprintf ('%s %d of %d, [%g, %g], %d kinks', list{1}, numel (idx), n, lo, hi, k);
    bench_line ('stepmin', work, ts, 'sort + cumsum', tr, t_floor, note);
    if (has_base)
      [t3, f3] = call (@stepmin_base, lo, hi);
      if (t3 ~= t1 || f3 ~= f1)
        printf ('stepmin and its earlier build disagree\n');
      end
      tb = best_time (@() call (@stepmin_base, lo, hi), 9);
      bench_line ('stepmin', work, ts, 'the earlier build', tb, t_floor, note);
    end
  end
end
