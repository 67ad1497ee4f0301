function ll = refitloglik(X, M, Theta, memory)
% log det T - trace(S*T) for the maximum-likelihood T whose off-diagonal
% zeros are those of Theta (the refit on Theta's graph), S = X'*X/M; NaN
% when a connected component of the graph would need more than memory
% bytes, or when the maximum does not exist (S singular on a clique, as
% when a component has more variables than samples).
%
% The refit is solved a component at a time for its covariance W, by
% cycling over the columns: W(j, j) = S(j, j), and column j's neighbours
% nb take W(:, nb)*beta with W(nb, nb)*beta = S(nb, j), which holds
% W = S on the graph while T = inv(W) keeps its zeros. At the maximum
% trace(S*T) = trace(W*T) = n, so the likelihood needs only log det W.
% A variable without spread (S(j, j) = 0) is left out: alone at every
% lambda, it adds the same to every refit.
  N = size(X, 2);
  [ri, ci] = find(tril(Theta, -1));
  comps = components(N, ri, ci);
  dS = sum(X .* X, 1)' / M;
  alone = dS > 0;
  for c = 1:numel(comps)
    alone(comps{c}) = false;
  end
  ll = -sum(log(dS(alone)) + 1);
  for c = 1:numel(comps)
    C = comps{c};
    n = numel(C);
    if 16 * n^2 > memory
      ll = NaN;
      return;
    end
    S = X(:, C)' * X(:, C) / M;
    logdetW = completion(S, Theta(C, C));
    ll = ll - logdetW - n;
  end
end

function logdetW = completion(S, pattern)
% log det of the positive-definite W with W = S on the pattern's entries
% whose inverse is zero off them; NaN when none is found.
  n = size(S, 1);
  [r, j] = find(pattern);
  r = r(r ~= j);
  first = [0; cumsum(full(sum(pattern ~= 0, 1))' - 1)];
  W = S;
  % W's last changes move log det W far less than EBIC can tell.
  tol = 1e-6 * max(diag(S));
  logdetW = NaN;
  for sweep = 1:100
    change = 0;
    for k = 1:n
      nb = r(first(k) + 1:first(k + 1));
      [R, p] = chol(W(nb, nb));
      if p > 0
        return;
      end
      beta = R \ (R' \ S(nb, k));
      w = W(:, nb) * beta;
      w(k) = S(k, k);
      change = max(change, max(abs(w - W(:, k))));
      W(:, k) = w;
      W(k, :) = w';
    end
    if change <= tol
      [R, p] = chol(W);
      if p == 0
        logdetW = 2 * sum(log(diag(R)));
      end
      return;
    end
  end
end
