function W = inverse(s, opts)
% inv(Theta) whole, by the cheaper of two routes: one solve per column
% with the sparse factor (about n*(4*nnz(L) + 2*nnz(Theta)) flops, in
% lockstep panels on every thread), or a dense inverse (about n^3 flops,
% at about twice their speed where measured).
  n = s.n;
  if ~isempty(s.L) && n * (4 * nnz(s.L) + 2 * nnz(s.Theta)) * 2 < n^3
    W = callkernel('dirsolve', s.upper, [], s.pinv, 20, 1e-10, s.L, s.Lt, opts.numThreads, ...
                   s.pinv);
    % Symmetric to the solves' tolerance, which is all the sweeps need
    % when they read W's columns for its rows.
  elseif exist('cholinv') ~= 0
    W = cholinv(full(s.Theta));
  else
    R = chol(full(s.Theta));
    Ri = R \ eye(n);
    W = Ri * Ri';
  end
end
