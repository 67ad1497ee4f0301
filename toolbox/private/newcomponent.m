function s = newcomponent(data, index, ri, ci, sv, lambda, opts)
% The record of one component, the state its Newton iterations carry. Its
% fields, and nothing else:
%   index, n, M  its variables (global numbers, in the component's order,
%                which keeps neighbours close), their count, S's divisor
%   X            M x n data of its variables: S = X'*X/M
%   whole        true when S and inv(Theta) are held whole (they fit
%                opts.memory); else columns are computed a block at a time
%   S            n x n, S of its variables when whole, else []
%   r, c         the tracked entries, lower triangle (r >= c), ordered by
%                column then row: Theta's support, the diagonal always,
%                and, beyond the budget, the entries likely to become free
%   sv, tv       S and Theta at (r, c)
%   Theta        sparse symmetric n x n, Theta's values at (r, c) mirrored
%   L, Lt, pinv, upper, logdet, fill
%                Theta's sparse Cholesky factor and what the column solves
%                take (see factorize; L is [] for a dense factor), and the
%                nonzeros of the last sparse factor
%   F, Fstart    F at Theta; F at the start of the last iteration
%   Fbefore, least, stuck  F before the last step; the least measure
%                seen; the steps in a row that moved F by no more than its
%                rounding and the measure not below 0.9 of the least
%   optimality   the measure of the last assessment (Inf before the first)
%   freeSize     entries the last direction could move
%   inner        the last direction's inner solve: sweeps, cg (steps),
%                optimality (its model's measure, relative to lambda)
%   step, stepped  the last step length, and whether the last iteration
%                made one
%   converged, stalled  the end of its iterations: the measure fell below
%                tol, or no step decreased F
%   cgPasses     passes of the column solves so far (beyond the budget)
%   full, fullBelow  beyond the budget: the next pass looks at every entry;
%                a pass over the tracked ones converges below fullBelow
%                before that
%   diagonalStart  Theta is the diagonal start, whose direction has a
%                closed form
  M = data.M;
  n = numel(index);
  loc = zeros(data.N, 1);
  loc(index) = 1:n;
  inside = loc(ri) > 0 & loc(ci) > 0;
  r = loc(ri(inside));
  c = loc(ci(inside));
  s.index = index(:);
  s.n = n;
  s.M = M;
  s.X = data.X(:, index);
  s.whole = 48 * n^2 <= opts.memory;
  s.S = [];
  if s.whole
    s.S = s.X' * s.X / M;
  end

  % The screened pairs and the diagonal, with the warm start's entries.
  R = [max(r, c); (1:n)'];
  C = [min(r, c); (1:n)'];
  Sv = [sv(inside); data.dS(index)];
  if isempty(opts.Theta0)
    Tv = [zeros(numel(r), 1); 1 ./ (data.dS(index) + lambda)];
    s.diagonalStart = true;
  else
    [tr, tc, tv] = find(tril(opts.Theta0(index, index)));
    R = [R; tr];
    C = [C; tc];
    Sv = [Sv; pairproducts(s.X, tr, tc) / M];
    Tv = [zeros(numel(R) - numel(tr), 1); tv];
    s.diagonalStart = false;
  end
  % One entry per pair: the warm start's value wins over the zero it
  % replaces.
  [~, first] = unique(R + (C - 1) * n, 'last');
  s.r = R(first);
  s.c = C(first);
  s.sv = Sv(first);
  s.tv = Tv(first);
  s.Theta = symmetric(n, s.r, s.c, s.tv);
  s.fill = 0;
  s = factorize(s, s.Theta, opts.solver);
  s.F = objective(s, s.tv, lambda);
  s.Fstart = s.F;
  s.Fbefore = Inf;
  s.stuck = 0;
  s.least = Inf;
  s.optimality = Inf;
  s.freeSize = numel(s.r);
  s.inner = struct('sweeps', 0, 'cg', 0, 'optimality', 0);
  s.step = 1;
  s.stepped = false;
  s.converged = false;
  s.stalled = false;
  s.cgPasses = 0;
  s.full = false;
  s.fullBelow = max(opts.tol, 1);
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
