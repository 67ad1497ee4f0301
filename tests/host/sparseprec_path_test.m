1;
% sparseprec_path on chains, whose true graph and refit are known in
% closed form: the grid, warm starts, the EBIC and cross-validation
% choices, covariance input and rejected calls.

function [X, T] = chain_samples (n, M, a, seed)
  % M samples of a Gaussian whose precision T is a chain: 1 on the
  % diagonal, -a between neighbours.
  randn ('seed', seed);
  e = ones (n, 1);
  T = spdiags ([-a*e e -a*e], -1:1, n, n);
  X = randn (M, n) / chol (T)';
end

function ll = chain_refit (S)
  % log det T - trace(S*T) for the maximum-likelihood T on a chain: a
  % decomposable graph, T = sum of inv(S) over the cliques {i, i+1} less
  % the sum over the separators {i}, so trace(S*T) = n.
  n = rows (S);
  T = zeros (n);
  for i = 1:n - 1
    T(i:i+1, i:i+1) += inv (S(i:i+1, i:i+1));
  end
  for i = 2:n - 1
    T(i, i) -= 1 / S(i, i);
  end
  ll = log (det (T)) - n;
end

function expect_error (id, fn, varargin)
  try
    fn (varargin{:});
  catch err
    if (! strcmp (err.identifier, id))
      error ('expect_error:id', 'expected %s, raised %s: %s', id, err.identifier, err.message);
    end
    return;
  end
  error ('expect_error:none', 'expected the error %s, none was raised', id);
end

% The grid runs from the largest off-diagonal abs(S_ij), with no edge,
% down to ratio times it; edges grow as lambda falls; warm starts save
% iterations against cold solves and reach the same optimum.
[X, T] = chain_samples (10, 1000, 0.4, 1);
Xc = X - mean (X);
S = Xc' * Xc / 1000;
[Thetas, p] = sparseprec_path (X + 50, 12, struct ('ratio', 0.05));
assert (p.lambdaMax, max (abs (S(! eye (10)))), 1e-14);
assert (p.lambda([1 end]), p.lambdaMax * [1 0.05], 1e-14);
assert (p.edges(1) == 0 && all (diff (p.edges) >= 0) && p.edges(end) > 9);
cold = arrayfun (@(l) nthargout (2, @sparseprec, X + 50, l), p.lambda, 'UniformOutput', false);
cold = [cold{:}];
assert (sum (p.iterations) < sum ([cold.iterations]));
assert (p.F, arrayfun (@(i) i.F(end), cold), 1e-6 * max (abs (p.F)));
assert (all (p.converged) && numel (Thetas) == 12);
% Any order of lambdas: solved from the largest down, reported as given.
[T1, p1] = sparseprec_path (X + 50, p.lambda([1 4 7 12]));
[T2, p2] = sparseprec_path (X + 50, p.lambda([4 1 12 7]));
assert (isequal (p2.lambda, p1.lambda([2 1 4 3])) && isequal (T2([2 1 4 3]), T1));

% EBIC, on the likelihood of the refit, finds the chain; the refit's
% likelihood is the closed form on the chain's graph.
b = p.best.index;
assert (isequal (Thetas{b} != 0, T != 0), 'EBIC chose %d edges', p.edges(b));
assert (p.refit(b), chain_refit (S), 1e-8 * abs (p.refit(b)));
assert (p.ebic(b), -1000 * p.refit(b) + 9 * (log (1000) + 2 * log (10)), 1e-8 * p.ebic(b));
assert (isempty (p.best.note));

% Cross-validation over folds of consecutive rows: the held-out
% likelihood of the first fold as a direct computation gives it, the
% held-out rows centred by the training means; the choice keeps the chain.
opts = struct ('folds', 4, 'tol', 1e-10, 'standardize', true);
[Thetas, p] = sparseprec_path (X, 6, opts);
assert (size (p.cv.loglik), [4 6]);
train = 251:1000;
k = 4;
Tk = sparseprec (X(train, :), p.lambda(k), struct ('tol', 1e-10, 'standardize', true));
mu = mean (X(train, :));
sd = std (X(train, :), 1);
Xt = (X(1:250, :) - mu) ./ sd;
held = log (det (Tk)) - trace (Xt' * Xt / 250 * Tk);
assert (p.cv.loglik(1, k), held, 1e-8 * abs (held));
assert (p.cv.mean, mean (p.cv.loglik), 1e-14);
c = p.bestcv.index;
assert (p.bestcv.lambda < p.lambdaMax && all ((Thetas{c} != 0)(T != 0)));

% A covariance matrix with its sample count gives what the data give;
% without the count EBIC is unknown and the choice says so.
[Td, pd] = sparseprec_path (Xc, 8);
[Ts, ps] = sparseprec_path (S, 8, struct ('input', 'covariance', 'samples', 1000));
assert (ps.lambda, pd.lambda, 1e-14);
assert (ps.ebic, pd.ebic, 1e-9 * max (abs (pd.ebic)));
assert (ps.best.index == pd.best.index);
[~, pn] = sparseprec_path (S, 8, struct ('input', 'covariance'));
assert (all (isnan (pn.ebic)) && isnan (pn.best.index) && ! isempty (pn.best.note));

% Solves that stop at maxIter make one warning for the whole call.
out = evalc ('sparseprec_path (X, 6, struct (''maxIter'', 1, ''folds'', 2));');
assert (numel (strfind (out, 'warning: sparseprec')) == 1 && ! isempty (regexp (out, 'sparseprec_path: \d+ of 18 solves')), out);

% Rejected calls.
expect_error ('sparseprec:nargin', @sparseprec_path, X);
for bad = {0, -1, NaN, [], 'a', [0.1 -0.1]}
  expect_error ('sparseprec:lambda', @sparseprec_path, X, bad{1});
end
expect_error ('sparseprec:lambda', @sparseprec_path, randn (20, 1), 5);
expect_error ('sparseprec:options', @sparseprec_path, X, 5, struct ('ratoi', 0.1));
expect_error ('sparseprec:options', @sparseprec_path, X, 5, struct ('ratio', 1));
expect_error ('sparseprec:options', @sparseprec_path, X, 5, struct ('gamma', -1));
expect_error ('sparseprec:options', @sparseprec_path, X, 5, struct ('folds', 501));
expect_error ('sparseprec:options', @sparseprec_path, X, 5, struct ('samples', 100));
expect_error ('sparseprec:options', @sparseprec_path, S, 5, struct ('input', 'covariance', 'folds', 3));
expect_error ('sparseprec:options', @sparseprec_path, X, 5, struct ('tol', -1));
