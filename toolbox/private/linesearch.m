function s = linesearch(s, D, G, quad, lambda, solver)
% The step along D: the full step when F decreases enough there, since
% only it sets to zero the entries the direction empties; else the exact
% minimiser of the quadratic model on [0, 1], halved until F decreases
% enough and Theta stays positive definite.
  off = s.Fr ~= s.Fc;
  P = find(off);
  Q = find(~off);
  % The sweep accumulated the model's curvature 1/2*trace(W*D*W*D) itself,
  % so the entries carry none here.
  [~, lin, xs, vs] = callkernel('stepcoef', s.Tv, D, zeros(size(D)), G, P, Q);
  tmodel = callkernel('stepmin', xs, vs, quad, lin, 0, 0, 1, lambda);
  w = 1 + off;
  decrease = lin + lambda * (sum(w .* abs(s.Tv + D)) - sum(w .* abs(s.Tv)));
  if ~(tmodel > 0)
    s.stalled = true;
    return;
  end
  % Near the optimum the decrease is lost in the cancellation of its two
  % terms; then F must merely not grow.
  decrease = min(decrease, 0);
  sigma = 1e-3;
  % F is a sum of terms far larger than the decrease near the optimum;
  % differences within its rounding do not count against a step.
  slack = 16 * eps * (abs(s.logdet) + sum(w .* abs(s.Sv .* s.Tv)) + lambda * sum(w .* abs(s.Tv)));
  t = 1;
  for k = 1:50
    Tv = s.Tv + t * D;
    T = symmetric(s.n, s.Fr, s.Fc, Tv);
    t0 = tic;
    [next, ok] = factorize(s, T, solver);
    spent('factor', toc(t0));
    if ok
      F = objective(next, Tv, lambda);
      if F <= s.F + sigma * t * decrease + slack
        next.Tv = Tv;
        next.Theta = T;
        next.F = F;
        s = next;
        return;
      end
    end
    if t == 1 && tmodel < 1
      t = tmodel;
    else
      t = t / 2;
    end
  end
  s.stalled = true;
end
