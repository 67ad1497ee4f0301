%STEPMIN  Exact minimising step of a quadratic plus a weighted L1 term.
%   [t, f] = stepmin(x, v, C, B, A, lo, hi, lambda)
%   [t, f] = stepmin(x, v, C, B, A, lo, hi, lambda, index)
%
%   Finds the step t in [lo, hi] that minimises
%
%      f(t) = A + B*t + C*t^2 + lambda*sum(abs(x(e) + t*v(e)))
%
%   and returns f(t). The L1 term is handled exactly: between consecutive
%   kinks t_e = -x(e)/v(e), f is a quadratic whose vertex, clamped to the
%   piece, is taken; pieces are visited in increasing t and the scan stops
%   at the first piece whose minimum rises above the best so far. For
%   C > 0 and lambda >= 0 (f convex) the result is the minimiser, up to two
%   tolerances: kinks within 1e-15 of lo or hi count as outside the
%   interval, and a kink closer than 1e-7 to the previous one is crossed
%   together with it. Neither the sign of C nor that of lambda is tested.
%
%   x, v       real double arrays of the same size, read column-major as
%              vectors.
%   C, B, A    real scalars: the quadratic, linear and constant terms.
%   lo, hi     real scalars, the interval of t.
%   lambda     real scalar, the weight of the L1 term.
%   index      (optional) 1-based positions into x and v that form the L1
%              term, as a row or a column; repeats count twice, fractions
%              truncate. [] means no L1 term; leaving the argument out
%              means every entry.
%
%   t          the minimising step; f its value f(t).
%
%   Rejected with one line ERROR: stepmin: ... and no output: fewer than 8
%   arguments; x, v or index not full real double; empty, complex or
%   non-numeric scalars; an index outside 1..numel(x) (NaN and Inf
%   included). x and v of different sizes print
%   error: x and v are not from the same size! Aborting!
%   Out of memory prints ERROR: stepmin: out of memory
%
%   Example:
%      [t, f] = stepmin([1 2], [-2 -1], 1, 0, 0, 0, 3, 1)   % t = 0.5, f = 1.75
%      x = randn(50, 1); v = randn(50, 1); e = 1:2:50;
%      [t, f] = stepmin(x, v, 2, -1, 0, 0, 1, 0.1, e);
%      g = @(s) -s + 2*s^2 + 0.1*sum(abs(x(e) + s*v(e)));
%      s = fminbnd(g, 0, 1, optimset('TolX', 1e-12));
%      fprintf('f(t) = %.6f, fminbnd finds %.6f\n', f, g(s))
%
%   See also stepcoef, sparseprec.
%
%   sparsekernels @PROJECT_VERSION@
