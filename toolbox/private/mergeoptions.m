function opts = mergeoptions(given, N)
% The options with their defaults merged in; an unknown field or a value
% of the wrong kind is an error.
  opts = struct('tol', 1e-4, 'maxIter', 50, 'blockSize', 256, 'numThreads', numprocs(), ...
                'Theta0', [], 'verbose', false, 'solver', 'chol', 'sweeps', [1 1 2 2 2 3 3 3 4]);
  if ~(isstruct(given) && isscalar(given))
    error('sparseprec:options', 'sparseprec: opts must be a scalar struct, found %s', ...
          describe(given));
  end
  names = fieldnames(given);
  for k = 1:numel(names)
    name = names{k};
    if ~isfield(opts, name)
      error('sparseprec:options', ...
            'sparseprec: unknown option ''%s''; known: tol, maxIter, blockSize, numThreads, Theta0, verbose, solver, sweeps', ...
            name);
    end
    opts.(name) = given.(name);
  end

  positive('tol', opts.tol, false);
  positive('maxIter', opts.maxIter, true);
  positive('blockSize', opts.blockSize, true);
  positive('numThreads', opts.numThreads, true);
  w = opts.sweeps;
  if ~(isnumeric(w) && isreal(w) && isvector(w) && all(isfinite(w)) && all(w >= 1) ...
       && all(w == round(w)))
    error('sparseprec:options', 'sparseprec: option sweeps must hold positive integers, found %s', ...
          shown(w));
  end
  v = opts.verbose;
  if ~((islogical(v) || isnumeric(v)) && isscalar(v) && isreal(v))
    error('sparseprec:options', 'sparseprec: option verbose must be true or false, found %s', ...
          describe(v));
  end
  opts.verbose = logical(v);
  if ~(ischar(opts.solver) && any(strcmp(opts.solver, {'chol', 'ichol', 'blockgs'})))
    error('sparseprec:options', ...
          'sparseprec: option solver must be ''chol'', ''ichol'' or ''blockgs'', found %s', ...
          shown(opts.solver));
  end
  if ~isempty(opts.Theta0)
    opts.Theta0 = checktheta0(opts.Theta0, N);
  end
end

function positive(name, v, whole)
  ok = isnumeric(v) && isreal(v) && isscalar(v) && isfinite(v) && v > 0;
  if ok && whole
    ok = v == round(v);
  end
  if ~ok
    if whole
      want = 'a positive integer';
    else
      want = 'a positive finite scalar';
    end
    error('sparseprec:options', 'sparseprec: option %s must be %s, found %s', name, want, ...
          shown(v));
  end
end

function s = shown(v)
  if ischar(v) && size(v, 1) <= 1
    s = ['''' v ''''];
  elseif isnumeric(v) && isscalar(v) && isreal(v)
    s = sprintf('%g', v);
  else
    s = describe(v);
  end
end

function T = checktheta0(T, N)
  if ~(issparse(T) && isreal(T) && isequal(size(T), [N N]))
    error('sparseprec:theta0', 'sparseprec: Theta0 must be a real sparse %dx%d matrix, found %s', ...
          N, N, describe(T));
  end
  T = double(T);
  [~, ~, v] = find(T);
  if ~all(isfinite(v))
    error('sparseprec:theta0', 'sparseprec: Theta0 must be finite, found NaN or Inf');
  end
  asym = T - T';
  if nnz(asym) > 0
    [i, j] = find(asym, 1);
    error('sparseprec:theta0', ...
          'sparseprec: Theta0 must be symmetric, found Theta0(%d,%d) ~= Theta0(%d,%d)', ...
          i, j, j, i);
  end
  [~, p] = chol(T, 'lower', 'vector');
  if p ~= 0
    error('sparseprec:theta0', ...
          'sparseprec: Theta0 must be positive definite, its Cholesky factorisation fails at column %d', ...
          p);
  end
end
