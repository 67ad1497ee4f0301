function [s, t] = stepsize(s, free, D, lambda, solver)
% The step along D from Theta: the full step when F decreases enough there
% (only it sets to zero the entries the direction empties), else halved
% until F decreases enough and Theta stays positive definite. The tracked
% entries become the free ones (held whole: Theta's new support and the
% diagonal).
  w = 1 + (free.r ~= free.c);
  % The decrease the model's linear part and the L1 term predict.
  decrease = sum(w .* free.g .* D) + lambda * (sum(w .* abs(free.tv + D)) - sum(w .* abs(free.tv)));
  next = s;
  next.r = free.r;
  next.c = free.c;
  next.sv = free.sv;
  % Near the optimum the decrease is lost in the cancellation of its
  % terms; then F must merely not grow. F is a sum of terms far larger
  % than the decrease there; differences within its rounding do not count
  % against a step.
  decrease = min(decrease, 0);
  slack = 16 * eps * (abs(s.logdet) + sum(w .* abs(free.sv .* free.tv)) + ...
                      lambda * sum(w .* abs(free.tv)));
  t = 1;
  for k = 1:50
    tv = free.tv + t * D;
    T = symmetric(s.n, free.r, free.c, tv);
    t0 = tic;
    [trial, ok] = factorize(next, T, solver);
    spent('factor', toc(t0));
    if ok
      F = objective(trial, tv, lambda);
      if F <= s.F + 1e-3 * t * decrease + slack
        trial.tv = tv;
        trial.Theta = T;
        trial.F = F;
        s = prune(trial);
        return;
      end
    end
    t = t / 2;
  end
  s.stalled = true;
  t = 0;
end

function s = prune(s)
% Held whole, the tracked entries are Theta's support and the diagonal.
  if s.whole
    keep = s.tv ~= 0 | s.r == s.c;
    s.r = s.r(keep);
    s.c = s.c(keep);
    s.sv = s.sv(keep);
    s.tv = s.tv(keep);
  end
end
