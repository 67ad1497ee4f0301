function opts = mergeoptions(given, N)
% The options with their defaults merged in; an unknown field or a value
% of the wrong kind is an error. Numbers of any class are read as their
% values, in double.
  opts = defaults();
  if ~(isstruct(given) && isscalar(given))
    error('sparseprec:options', 'sparseprec: opts must be a scalar struct, found %s', ...
          describe(given));
  end
  names = fieldnames(given);
  for k = 1:numel(names)
    name = names{k};
    if ~isfield(opts, name)
      known = fieldnames(opts);
      error('sparseprec:options', 'sparseprec: unknown option ''%s''; known: %s', name, ...
            strjoin(known', ', '));
    end
    opts.(name) = given.(name);
  end

  opts.tol = positive('tol', opts.tol, false);
  opts.maxIter = positive('maxIter', opts.maxIter, true);
  opts.blockSize = positive('blockSize', opts.blockSize, true);
  opts.numThreads = positive('numThreads', opts.numThreads, true);
  opts.memory = positive('memory', opts.memory, false);
  w = opts.sweeps;
  if ~isempty(w)
    if ~(isnumeric(w) && isreal(w) && isvector(w) && all(isfinite(w)) && all(w >= 1) ...
         && all(w == round(w)))
      error('sparseprec:options', ...
            'sparseprec: option sweeps must be [] or hold positive integers, found %s', shown(w));
    end
    opts.sweeps = double(w(:)');
  end
  opts.verbose = flag('verbose', opts.verbose);
  opts.center = flag('center', opts.center);
  opts.standardize = flag('standardize', opts.standardize);
  opts.solver = choice('solver', opts.solver, {'chol', 'ichol', 'blockgs'});
  opts.input = choice('input', opts.input, {'data', 'covariance'});
  if ~isempty(opts.Theta0)
    opts.Theta0 = checktheta0(opts.Theta0, N);
  end
end

function opts = defaults()
  opts = struct('tol', 1e-4, 'maxIter', 50, 'blockSize', 256, 'numThreads', numprocs(), ...
                'Theta0', [], 'verbose', false, 'solver', 'chol', 'sweeps', [], ...
                'center', true, 'standardize', false, 'input', 'data', 'memory', 2^30);
end

function v = positive(name, v, whole)
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
  v = double(v);
end

function v = flag(name, v)
  if ~((islogical(v) || isnumeric(v)) && isscalar(v) && isreal(v) && ~isnan(v))
    error('sparseprec:options', 'sparseprec: option %s must be true or false, found %s', ...
          name, shown(v));
  end
  v = logical(v);
end

function v = choice(name, v, allowed)
  if ~(ischar(v) && any(strcmp(v, allowed)))
    error('sparseprec:options', 'sparseprec: option %s must be %s, found %s', name, ...
          strjoin(strcat('''', allowed, ''''), ' or '), shown(v));
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
  % Compared entry by entry: a difference T - T' may store an explicit
  % zero (seen for 1 x 1 in Octave 7).
  [i, j] = find(T ~= T', 1);
  if ~isempty(i)
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
