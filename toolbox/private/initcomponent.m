function s = initcomponent(X, index, dS, ri, ci, sv, lambda, opts)
% The state of one component: its data, the entries it tracks (the pairs
% above the screening level, the diagonal, a warm start's pattern) with
% their S values, and the starting Theta with its factor.
  M = size(X, 1);
  n = numel(index);
  loc = zeros(size(X, 2), 1);
  loc(index) = 1:n;
  inside = loc(ri) > 0 & loc(ci) > 0;
  r = loc(ri(inside));
  c = loc(ci(inside));
  s.index = index(:);
  s.n = n;
  s.M = M;
  s.X = X(:, index);

  % Entries (Fr, Fc) with Fr >= Fc in the component's order.
  Fr = [max(r, c); (1:n)'];
  Fc = [min(r, c); (1:n)'];
  Sv = [sv(inside); dS(index)];
  if isempty(opts.Theta0)
    Tv = [zeros(numel(r), 1); 1 ./ (dS(index) + lambda)];
    s.diagonalStart = true;
  else
    T0 = tril(opts.Theta0(index, index));
    [tr, tc, tv] = find(T0);
    known = sparse(Fr, Fc, 1:numel(Fr), n, n);
    k = full(known(sub2ind([n n], tr, tc)));
    fresh = k == 0;
    Fr = [Fr; tr(fresh)];
    Fc = [Fc; tc(fresh)];
    Sv = [Sv; pairproducts(s.X, tr(fresh), tc(fresh)) / M];
    Tv = zeros(numel(Fr), 1);
    k(fresh) = numel(Fr) - nnz(fresh) + (1:nnz(fresh))';
    Tv(k) = tv;
    s.diagonalStart = false;
  end
  s.Fr = Fr;
  s.Fc = Fc;
  s.Sv = Sv;
  s.Tv = Tv;
  s.Theta = symmetric(n, Fr, Fc, Tv);
  s = factorize(s, s.Theta, opts.solver);
  s.F = objective(s, Tv, lambda);
  s.Fstart = s.F;
  s.optimality = Inf;
  s.freeSize = numel(Fr);
  s.full = false;
  s.fullBelow = max(opts.tol, 1);
  s.converged = false;
  s.stalled = false;
  s.cgPasses = 0;
end

function v = pairproducts(X, r, c)
% v(k) = X(:, r(k))' * X(:, c(k)), a chunk of pairs at a time.
  v = zeros(numel(r), 1);
  step = max(1, floor(2^22 / max(size(X, 1), 1)));
  for a = 1:step:numel(r)
    b = min(a + step - 1, numel(r));
    v(a:b) = sum(X(:, r(a:b)) .* X(:, c(a:b)), 1)';
  end
end
