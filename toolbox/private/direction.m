function [D, inner] = direction(s, W, free, lambda, target, fixedSweeps, threads)
% The Newton direction D on the free entries (r, c): the minimiser there
% of the model
%    q(D) = trace(G*D) + 1/2*trace(W*D*W*D) + lambda*sum(abs(Theta + D))
% solved until the model's own measure (its minimum-norm subgradient,
% relative to lambda) is below target. Coordinate-descent sweeps move
% entries on and off zero cheaply; where they crawl (coupled entries:
% correlated variables, a W whose eigenvalues spread widely), conjugate-
% gradient steps on the nonzero entries with their signs held make the
% coupled moves at once, and an exact line search along them keeps every
% change of sign honest. fixedSweeps > 0 makes that many sweeps instead.
  n = s.n;
  r = free.r;
  c = free.c;
  d = zeros(numel(r), 1);
  inner = struct('sweeps', 0, 'cg', 0, 'optimality', NaN);
  none = sparse(n, n);
  if fixedSweeps > 0
    [d, ~, inner.sweeps, worst] = callkernel('cdsweep', W, 1:n, none, r, c, free.g, free.tv, d, ...
                                             lambda, fixedSweeps, threads, []);
    inner.optimality = worst / lambda;
    D = d;
    return;
  end
  tol = target * lambda;
  ops = products(s, W, r, c);
  while true
    [d, ~, made] = callkernel('cdsweep', W, 1:n, none, r, c, free.g, free.tv, d, lambda, 2, ...
                              threads, tol);
    inner.sweeps = inner.sweeps + made;
    % A sweep's largest violation is measured before each update, and the
    % later updates of the sweep move the earlier entries' gradients: the
    % model's measure is taken afresh at the end.
    hd = hessprod(ops, d);
    model = max([0; subgradient(free.g + hd, free.tv + d, lambda)]);
    inner.optimality = model / lambda;
    if model <= tol || inner.sweeps >= 60 || inner.cg >= 300
      break;
    end
    % The sweeps crawl: conjugate gradients from where they stopped.
    [d, steps, model] = cgsteps(ops, free, d, hd, lambda, tol, 30);
    inner.cg = inner.cg + steps;
    inner.optimality = model / lambda;
    if model <= tol
      break;
    end
  end
  D = d;
end

function [d, steps, model] = cgsteps(ops, free, d, hd, lambda, tol, most)
% Preconditioned conjugate gradients on the entries where Theta + D is
% nonzero, their signs held: on that orthant the model is the quadratic
% <b + lambda*sign, y> + 1/2*<y, H*y> in the displacement y, with b the
% model's smooth gradient at d. The preconditioner is the inverse of the
% whole Hessian, Y -> Theta*Y*Theta, restricted to the entries. Then the
% exact minimiser of the true model along y.
  w = 1 + (free.r ~= free.c);
  x = free.tv + d;
  on = x ~= 0;
  b = free.g + hd;
  res = -(b + lambda * sign(x));
  res(~on) = 0;
  plan = sandwichplan(ops.n, free.r(on), free.c(on));
  z = precondition(ops, plan, res, on);
  p = z;
  rz = sum(w .* res .* z);
  y = zeros(size(d));
  hy = y;
  steps = 0;
  for steps = 1:most
    hp = hessprod(ops, p);
    alpha = rz / sum(w .* p .* hp);
    if ~(alpha > 0 && isfinite(alpha))
      break;
    end
    y = y + alpha * p;
    hy = hy + alpha * hp;
    res = res - alpha * (hp .* on);
    if max(abs(res)) <= 0.3 * tol
      break;
    end
    z = precondition(ops, plan, res, on);
    rznew = sum(w .* res .* z);
    p = z + (rznew / rz) * p;
    rz = rznew;
  end
  % Entries whose orthant minimum lies across zero stop the exact line
  % search at their kink, short of the rest: the step with them set to
  % zero instead is taken when the model is lower there.
  [quad, lin, xs, vs] = callkernel('stepcoef', x, y, hy, b, ops.off, ops.diagonal);
  [t, ft] = callkernel('stepmin', xs, vs, quad, lin, 0, 0, 1, lambda);
  crossed = on & sign(x + y) ~= sign(x);
  if t < 1 && any(crossed)
    yp = y;
    yp(crossed) = -x(crossed);
    hyp = hessprod(ops, yp);
    fp = sum(w .* (b + 0.5 * hyp) .* yp) + lambda * sum(w .* abs(x + yp));
    if fp < ft
      y = yp;
      hy = hyp;
      t = 1;
    end
  end
  d = d + t * y;
  model = max([0; subgradient(b + t * hy, free.tv + d, lambda)]);
end

function v = subgradient(b, x, lambda)
% The size of the model's minimum-norm subgradient at each entry.
  v = max(abs(b) - lambda, 0);
  on = x ~= 0;
  v(on) = abs(b(on) + lambda * sign(x(on)));
end

function ops = products(s, W, r, c)
% What the Hessian and preconditioner products need: both are the entries
% of A*P*A for a symmetric A (W, or Theta) and a sparse symmetric P.
  n = s.n;
  ops.n = n;
  ops.W = W;
  ops.off = find(r ~= c);
  ops.diagonal = find(r == c);
  ops.Theta = full(s.Theta);
  ops.plan = sandwichplan(n, r, c);
end

function y = hessprod(ops, p)
% y = (W*P*W) at the entries, P symmetric holding p at (r, c) and (c, r).
  y = sandwich(ops.W, ops.plan, p);
end

function z = precondition(ops, plan, res, on)
% z = (Theta*R*Theta) at the entries on, R symmetric holding res there.
  z = zeros(size(res));
  z(on) = sandwich(ops.Theta, plan, res(on));
end

function plan = sandwichplan(n, r, c)
% How to form (A*P*A) at the lower entries (r, c) from P's values there:
% P's entries in both triangles, ordered by column then row as colrunprod
% reads them (pos, and src, the value each takes), the entries' own
% positions, and the route: dense products where the entries are many for
% n (a product costs n^3 then, against about 3*n*numel(r) in the kernels
% at a tenth of the rate), else P*A by colrunprod and the listed entries
% by entryprod.
  plan.n = n;
  plan.k = r + (c - 1) * n;
  off = find(r ~= c);
  [plan.pos, order] = sort([plan.k; c(off) + (r(off) - 1) * n]);
  src = [(1:numel(r))'; off];
  plan.src = src(order);
  plan.dense = n^2 < 10 * numel(r);
end

function y = sandwich(A, plan, p)
% (A*P*A) at the plan's entries, P holding p there.
  t0 = tic;
  n = plan.n;
  if plan.dense
    P = zeros(n);
    P(plan.pos) = p(plan.src);
    Y = A * (P * A);
    y = Y(plan.k);
  else
    Y = callkernel('colrunprod', p(plan.src), plan.pos, n, A);
    out = callkernel('entryprod', A, Y, [], plan.k, 1:n, [], [], n, []);
    y = out(plan.k);
  end
  spent('products', toc(t0));
end
