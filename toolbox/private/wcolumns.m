function [W, passes] = wcolumns(s, cols, opts)
% Columns cols of inv(Theta), all n rows, by conjugate gradients, and the
% passes they took. Columns the chosen preconditioner leaves unconverged
% are solved again with the exact factor.
  W = zeros(s.n, 0);
  passes = 0;
  if isempty(cols)
    return;
  end
  switch opts.solver
    case 'chol'
      [W, info] = exact(s, cols, 20, opts);
      tol = 1e-10;
    case 'ichol'
      [W, info] = callkernel('dirsolve', s.upper, [], s.pinv(cols), 2000, 1e-10, s.IL, s.ILt, ...
                             opts.numThreads, s.pinv);
      tol = 1e-10;
    case 'blockgs'
      % The preconditioner leaves out blocks whose residual is below 1e-8,
      % so the tolerance stays well above that.
      [W, info] = callkernel('dirsolve_duo', s.Theta, [], cols(:)', 2000, 1e-7, ...
                             opts.numThreads, [], s.blocks, 1, 1);
      tol = 1e-7;
  end
  passes = sum(info.passes);
  again = find(~(info.relres <= tol));
  if ~isempty(again)
    [W(:, again), info] = exact(s, cols(again), 500, opts);
    passes = passes + sum(info.passes);
    if any(~(info.relres <= 1e-8))
      warning('sparseprec:solve', ...
              'sparseprec: columns of inv(Theta) reached a relative residual of only %.2g', ...
              max(info.relres));
    end
  end
end

function [W, info] = exact(s, cols, maxIter, opts)
  [W, info] = callkernel('dirsolve', s.upper, [], s.pinv(cols), maxIter, 1e-10, s.L, s.Lt, ...
                         opts.numThreads, s.pinv);
end
