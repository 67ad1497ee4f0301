function [s, ok] = factorize(s, T, solver)
% Sparse Cholesky factor of T with a fill-reducing order, and what the
% solver for columns of inv(T) needs; ok is false when T is not positive
% definite.
  [L, fail, p] = chol(T, 'lower', 'vector');
  ok = fail == 0;
  if ~ok
    return;
  end
  s.L = L;
  s.Lt = L';
  s.pinv = zeros(1, s.n);
  s.pinv(p) = 1:s.n;
  s.upper = triu(T(p, p));
  s.logdet = 2 * sum(log(full(diag(L))));
  switch solver
    case 'ichol'
      try
        s.IL = ichol(T(p, p));
      catch
        % No incomplete factor without a nonpositive pivot: the complete
        % one serves.
        s.IL = L;
      end
      s.ILt = s.IL';
    case 'blockgs'
      % Blocks of consecutive variables in the component's order, which
      % keeps neighbours together.
      width = min(4096, max(64, ceil(s.n / 64)));
      s.blocks = uint64(floor((0:s.n - 1)' / width));
  end
end
