1;
% sparseprec on mutations of well-formed calls (classes, shapes, special
% values, options): each call is served with a sparse symmetric
% positive-definite Theta and a complete info, or refused by an error whose
% identifier is sparseprec:<what> and whose message is one line; warnings
% are the driver's own; no argument changes.

function problem = judge (args)
  problem = '';
  before = args;
  lastwarn ('', '');
  try
    [T, info] = sparseprec (args{:});
  catch err
    if (isempty (regexp (err.identifier, '^sparseprec:[a-zA-Z0-9]+$', 'once')))
      problem = sprintf ('raised "%s": %s', err.identifier, err.message);
    elseif (any (err.message == "\n"))
      problem = sprintf ('a message of several lines: %s', err.message);
    end
    return;
  end
  [~, id] = lastwarn ();
  if (! isempty (id) && isempty (regexp (id, '^sparseprec:', 'once')))
    problem = sprintf ('warned %s', id);
  elseif (! (issparse (T) && isreal (T) && isequal (T, T') && all (isfinite (nonzeros (T)))))
    problem = 'Theta is not a finite symmetric sparse matrix';
  else
    p = 0;
    if (! isempty (T))  % no variables: an empty Theta
      [~, p] = chol (T);
    end
    fields = {'F', 'optimality', 'logdet', 'loglik', 'edges', 'iterations', 'converged'};
    if (p != 0)
      problem = 'Theta is not positive definite';
    elseif (! all (isfield (info, fields)) || isempty (info.F) || isempty (info.optimality))
      problem = 'info is incomplete';
    end
  end
  if (isempty (problem) && ! isequal (args, before))
    problem = 'changed an argument';
  end
end

function show (what, problem)
  error ('sparseprec_fuzz:failed', '%s: %s', what, problem);
end

randn ('seed', 4);
X = randn (30, 5);
X(:, 5) = X(:, 1) + 0.05 * randn (30, 1);
S = X' * X / 30;
warning ('off', 'sparseprec:notConverged');
warning ('off', 'sparseprec:stalled');

% Data: classes, shapes, special values.
data = {X, single(X), int8(round(10 * X)), uint8(abs(round(10 * X))), int32(round(X)), ...
        X > 0, X + 1e6, 1e-150 * X, 1e150 * X, 1e160 * X, [X ones(30, 1)], X(:, 1), ...
        X(1:2, :), X(1, :), zeros(30, 0), zeros(0, 5), sparse(X), X + 1i, 'text', {X}, ...
        cat(3, X, X), [X; NaN(1, 5)], [X; Inf(1, 5)], [X X], repmat(X(1, :), 30, 1)};
lambdas = {0.1, single(0.1), int32(1), uint8(2), true, 1e-300, 1e300, 0, -0.1, NaN, Inf, ...
           [0.1 0.2], [], 'a', 0.1i, {0.1}};
optsets = {struct(), struct('standardize', true), struct('center', false), ...
           struct('memory', 1, 'blockSize', int16(2)), struct('blockSize', 1, 'memory', 1), ...
           struct('verbose', NaN), struct('verbose', int8(0)), struct('tol', single(1e-3)), ...
           struct('maxIter', uint8(3)), struct('maxIter', 0), struct('tol', -1), ...
           struct('numThreads', int32(2)), struct('sweeps', int8([1 2])), ...
           struct('sweeps', 0), struct('solver', 'ichol', 'memory', 1), ...
           struct('solver', 'lu'), struct('input', 'covariance'), struct('input', 3), ...
           struct('memory', NaN), struct('Theta0', speye(5)), struct('Theta0', eye(5)), ...
           struct('Theta0', -speye(5)), struct('Theta0', sparse(5, 5)), ...
           struct('unknown', 1), 5, [], {struct()}};
for k = 1:numel (data)
  problem = judge ({data{k}, 0.1});
  if (! isempty (problem)), show (sprintf ('data %d', k), problem); end
end
for k = 1:numel (lambdas)
  problem = judge ({X, lambdas{k}});
  if (! isempty (problem)), show (sprintf ('lambda %d', k), problem); end
end
for k = 1:numel (optsets)
  problem = judge ({X, 0.1, optsets{k}});
  if (! isempty (problem)), show (sprintf ('options %d', k), problem); end
end
% A covariance matrix in place of data, itself mutated.
cov = struct ('input', 'covariance');
for C = {S, sparse(S), single(S), S(1:4, :), S + 1e-3 * triu(ones(5), 1), S - 2 * eye(5), ...
         [S(:, 1:4) NaN(5, 1)], zeros(5), eye(5), 1, []}
  problem = judge ({C{1}, 0.1, cov});
  if (! isempty (problem)), show (sprintf ('covariance %s', mat2str (size (C{1}))), problem); end
end
% Pairs drawn with a fixed seed.
rand ('seed', 9);
for t = 1:60
  d = data{randi (numel (data))};
  l = lambdas{randi (numel (lambdas))};
  o = optsets{randi (numel (optsets))};
  problem = judge ({d, l, o});
  if (! isempty (problem)), show (sprintf ('pair %d', t), problem); end
end
% Argument counts.
for args = {{}, {X}, {X, 0.1, struct(), 1}}
  problem = judge (args{1});
  if (! isempty (problem)), show (sprintf ('%d arguments', numel (args{1})), problem); end
end
