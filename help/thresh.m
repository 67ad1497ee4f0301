%THRESH  Soft-threshold (shrinkage) step at listed positions.
%   out = thresh(lambda, X, mu, G, D, positions)
%
%   The soft-threshold step at the listed positions, returned as the change
%   to X. For each listed k: u = X(k) - D(k)*G(k) and T = lambda*D(k); the
%   new value is u - T when u > mu + T, u + T when u < -(mu + T), and 0 in
%   between (both borders included); out(k) is the new value minus X(k).
%   Every other element of out is 0, and out has X's shape. The margin mu
%   widens the zero band without adding to the amount removed. The
%   selection multiplies by 0 or 1, so a NaN in an entry's data (or an
%   infinite u) gives NaN, and a NaN mu gives -X(k). The entries run in
%   parallel on OpenMP's default thread count (OMP_NUM_THREADS); the result
%   is bit for bit the same for any count.
%
%   lambda, mu  real scalars.
%   X, G, D     real double arrays, G and D at least as long as X.
%   positions   1-based positions into X; fractions truncate, repeats are
%               harmless. The list is read along its longer side: pass a
%               row or a column (of a matrix only as many positions as its
%               longer side holds are read).
%
%   out         the change to X at the listed positions, 0 elsewhere.
%
%   Rejected with one line ERROR: thresh: ... and no output: fewer than 6
%   arguments; X, G, D or positions not full real double; empty, complex
%   or non-numeric lambda or mu; G or D shorter than X; a position outside
%   1..numel(X) (NaN and Inf included).
%
%   Example:
%      X = [1 -2; 3 0.1];
%      out = thresh(0.5, X, 0.1, ones(2), ones(2), [1 2 3 4])  % [-1 -0.5; -1.5 -0.5]
%      u = X - ones(2); s = sign(u) .* max(abs(u) - 0.5, 0);
%      s(abs(u) <= 0.6) = 0;                   % the zero band, mu = 0.1
%      fprintf('difference: %g\n', norm(out - (s - X)))
%
%   See also stepmin, sparseprec.
%
%   sparsekernels @PROJECT_VERSION@
