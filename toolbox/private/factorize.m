function [s, ok] = factorize(s, T, solver)
% The Cholesky factor of T and log det T, and what the solves for columns
% of inv(T) need; ok is false when T is not positive definite. A sparse
% factor with a fill-reducing order, unless T is held whole and dense
% enough, or its last sparse factor filled in enough (an eighth of the
% whole), that a dense factor is the cheaper one (its inverse is then
% formed densely too).
  n = s.n;
  if s.whole && (10 * nnz(T) > n^2 || 8 * s.fill > n^2)
    [R, fail] = chol(full(T));
    ok = fail == 0;
    if ok
      s.L = [];
      s.logdet = 2 * sum(log(diag(R)));
    end
    return;
  end
  [L, fail, p] = chol(T, 'lower', 'vector');
  ok = fail == 0;
  if ~ok
    return;
  end
  s.L = L;
  s.fill = nnz(L);
  s.Lt = L';
  s.pinv = zeros(1, n);
  s.pinv(p) = 1:n;
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
      width = min(4096, max(64, ceil(n / 64)));
      s.blocks = uint64(floor((0:n - 1)' / width));
  end
end
