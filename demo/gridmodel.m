function [X, Theta] = gridmodel(side, M, seed)
%GRIDMODEL  Samples of a Gaussian graphical model on a 2-D grid.
%   [X, THETA] = GRIDMODEL(SIDE, M, SEED) returns M samples (rows of X,
%   columns centred) of a Gaussian whose precision matrix THETA (sparse,
%   SIDE^2 x SIDE^2) links every grid point to its four neighbours: 1 on the
%   diagonal, -0.2 for each link. The covariance inv(THETA) is never formed:
%   with THETA(p,p) = R'*R, each sample is R \ z for a standard normal z.
%
%   Example:
%      [X, Theta] = gridmodel(10, 500, 1);
%      disp(size(X))                          % 500 100
%      disp(nnz(Theta))                       % 460
  e = ones(side, 1);
  P = spdiags([e e], [-1 1], side, side);
  I = speye(side);
  Theta = speye(side ^ 2) - 0.2 * (kron(I, P) + kron(P, I));
  rng(seed);
  [R, ~, p] = chol(Theta, 'vector');
  X = zeros(M, side ^ 2);
  X(:, p) = (R \ randn(side ^ 2, M))';
  X = X - mean(X);
end
