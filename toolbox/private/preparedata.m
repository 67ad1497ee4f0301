function data = preparedata(X, opts)
% The rows S is formed from, as the solver takes them: data.X (M x N
% double) with S = data.X'*data.X/data.M, the diagonal of S (data.dS) and
% the number of variables (data.N). Data are converted to double before
% anything else, then centred and scaled as the options ask; a covariance
% matrix is turned into such rows by its eigendecomposition. For data,
% data.shift and data.scale (1 x N) are what was subtracted and divided
% by, so that other rows (held-out samples) can be treated alike.
  if strcmp(opts.input, 'covariance')
    data = covariancerows(X, opts);
  else
    data = samplerows(X, opts);
  end
  data.N = size(data.X, 2);
  data.dS = (sum(data.X .* data.X, 1) / data.M)';
  if ~all(isfinite(data.dS))
    j = find(~isfinite(data.dS), 1);
    error('sparseprec:nonfinite', ...
          'sparseprec: S = X''*X/M overflows: S(%d,%d) is %g; scale the data down (or set opts.standardize)', ...
          j, j, data.dS(j));
  end
end

function data = samplerows(X, opts)
  if ~(isnumeric(X) && isreal(X) && ndims(X) == 2)
    error('sparseprec:data', 'sparseprec: X must be a real numeric 2-D array, found %s', ...
          describe(X));
  end
  X = full(double(X));
  bad = find(~isfinite(X), 1);
  if ~isempty(bad)
    [r, c] = ind2sub(size(X), bad);
    error('sparseprec:nonfinite', ...
          'sparseprec: X must be finite, found %g at row %d, column %d', X(bad), r, c);
  end
  M = size(X, 1);
  if M < 2
    error('sparseprec:samples', 'sparseprec: X must hold at least 2 samples (rows), found %d', M);
  end
  data.shift = zeros(1, size(X, 2));
  data.scale = ones(1, size(X, 2));
  if opts.center
    data.shift = mean(X, 1);
    X = X - data.shift;
  end
  if opts.standardize
    data.scale = columnscale(sqrt(sum(X .* X, 1) / M));
    X = X ./ data.scale;
  end
  data.X = X;
  data.M = M;
end

function data = covariancerows(S, opts)
  if ~(isnumeric(S) && isreal(S) && ismatrix(S) && size(S, 1) == size(S, 2) && ~isempty(S))
    error('sparseprec:covariance', ...
          'sparseprec: with input ''covariance'', the first argument must be a real square matrix, found %s', ...
          describe(S));
  end
  S = full(double(S));
  N = size(S, 1);
  if ~all(isfinite(S(:)))
    error('sparseprec:nonfinite', 'sparseprec: the covariance matrix must be finite');
  end
  scale = max(abs(S(:)));
  asym = max(max(abs(S - S')));
  if asym > 1e-12 * scale
    error('sparseprec:covariance', ...
          'sparseprec: the covariance matrix must be symmetric, found a difference of %g between S and S''', ...
          asym);
  end
  S = (S + S') / 2;
  if opts.standardize
    d = columnscale(sqrt(diag(S))');
    S = S ./ (d' * d);
  end
  % S = V*diag(e)*V': rows sqrt(e(k)*r)*V(:, k)' for the r eigenvalues that
  % count give X'*X/r = S. Eigenvalues below rounding are zero; a clearly
  % negative one means S is no covariance.
  [V, E] = eig(S);
  e = diag(E);
  small = 64 * eps * max(max(abs(e)), realmin) * N;
  if any(e < -small)
    error('sparseprec:covariance', ...
          'sparseprec: the covariance matrix must be positive semi-definite, found the eigenvalue %g', ...
          min(e));
  end
  keep = e > small;
  r = max(nnz(keep), 2);
  X = zeros(r, N);
  X(1:nnz(keep), :) = (V(:, keep) .* sqrt(e(keep)' * r))';
  data.X = X;
  data.M = r;
end

function d = columnscale(d)
% A column without spread (a constant, zero after centring) stays as it is.
  d(~(d > 0)) = 1;
end
