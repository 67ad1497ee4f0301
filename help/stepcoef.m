%STEPCOEF  Coefficients and stacked vectors that feed stepmin.
%   [quad, lin, xs, vs] = stepcoef(X, V, H, G, P, Q)
%
%   Stacks the listed entries of X and V, the P entries doubled and first:
%
%      xs = [2*X(P); X(Q)]      vs = [2*V(P); V(Q)]
%
%   and forms lin = sum of G(e_i)*vs(i) and quad = 1/2 * sum of
%   H(e_i)*vs(i), summed in stacking order, e_i being the position whose
%   entry went into place i. The outputs are stepmin's C, B, x and v:
%   stepmin(xs, vs, quad, lin, A, lo, hi, lambda). For symmetric X, V, H, G
%   with P the strict upper triangle and Q the diagonal, the sums run over
%   all entries of the matrices.
%
%   X, V, H, G  real double arrays, read as vectors.
%   P, Q        1-based positions, each inside all four arrays. A list is
%               read along its longer side: pass a row or a column (of a
%               matrix only as many positions as its longer side holds are
%               read).
%
%   quad, lin   1 x 1; xs, vs (c+d) x 1, c and d the lengths of P and Q.
%               Only the outputs asked for are made.
%
%   Rejected with one line ERROR: stepcoef: ... and no output: fewer than
%   6 arguments; an argument not full real double; a position outside
%   1..min(numel(X), numel(V), numel(H), numel(G)).
%
%   Example:
%      n = 5; X = randn(n); X = X + X'; V = randn(n); V = V + V';
%      G = randn(n); G = G + G';
%      P = find(triu(ones(n), 1)); Q = find(eye(n));
%      [quad, lin, xs, vs] = stepcoef(X, V, V, G, P, Q);
%      fprintf('lin - trace(G*V) = %.1e\n', lin - trace(G * V))
%      fprintf('quad - trace(V*V)/2 = %.1e\n', quad - trace(V * V) / 2)
%      [t, f] = stepmin(xs, vs, quad, lin, 0, 0, 1, 0.5)
%
%   See also stepmin, sparseprec.
%
%   sparsekernels @PROJECT_VERSION@
