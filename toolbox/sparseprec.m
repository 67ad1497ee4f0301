function [Theta, info] = sparseprec(X, lambda, opts)
%SPARSEPREC  Sparse inverse covariance by L1-penalised Gaussian likelihood.
%   THETA = SPARSEPREC(X, LAMBDA) estimates the sparse precision matrix
%   (inverse covariance) of the data X: the symmetric positive-definite
%   THETA that minimises
%
%      F(THETA) = -log det THETA + trace(S*THETA) + LAMBDA*sum(abs(THETA(:)))
%
%   with S = X'*X/M. The off-diagonal nonzeros of THETA are the edges of a
%   Gaussian graphical model of the N variables. Every entry is penalised,
%   the diagonal included.
%
%   [THETA, INFO] = SPARSEPREC(X, LAMBDA, OPTS) takes options and returns a
%   record of the run.
%
%   X       M x N real data, one sample per row. Centre the columns first
%           (X = X - mean(X)): S is formed as X'*X/M, without centring.
%           At least 2 samples; no NaN or Inf. N may be large: neither S nor
%           inv(THETA) is ever formed whole.
%   LAMBDA  positive finite scalar, the weight of the L1 penalty. Larger
%           values give sparser estimates; with LAMBDA >= max(abs(S(:)))
%           off the diagonal THETA is diagonal.
%   OPTS    struct, every field optional:
%     tol         stop when the optimality measure falls below tol
%                 (default 1e-4). The measure is the largest entry of the
%                 minimum-norm subgradient of F, divided by LAMBDA.
%     maxIter     outer (Newton) iterations at most (default 50)
%     blockSize   columns handled together (default 256); memory grows
%                 as about 6*N*blockSize doubles
%     numThreads  threads of the conjugate-gradient solves and of the
%                 sweeps on long columns (default: the number of
%                 processors). The other compiled parts use OpenMP's
%                 default (OMP_NUM_THREADS). Results are the same for any
%                 of these counts; the host BLAS's own threads
%                 (OPENBLAS_NUM_THREADS) may move their last bits.
%     Theta0      warm start: sparse symmetric positive-definite N x N, for
%                 instance the estimate for a larger LAMBDA
%     verbose     true prints one line per iteration (default false)
%     sweeps      coordinate-descent sweeps over each block's entries per
%                 iteration: entry k for iteration k, the last one after
%                 (default [1 1 2 2 2 3 3 3 4])
%     solver      how columns of inv(THETA) are computed:
%                 'chol'    (default) conjugate gradients preconditioned by
%                           the sparse Cholesky factor the step test
%                           computes anyway: one pass per column
%                 'ichol'   preconditioned by ichol(THETA); falls back to
%                           'chol' when the incomplete factor breaks down
%                 'blockgs' block Gauss-Seidel preconditioner on a
%                           block-split copy of THETA
%
%   THETA   sparse symmetric positive-definite N x N.
%   INFO    struct with fields
%     F           objective value per iteration (at the start of each)
%     optimality  optimality measure per iteration (see tol)
%     iterations  outer iterations made
%     converged   true when the measure fell below tol
%     seconds     wall-clock time of the call
%     nnz         nonzeros of THETA
%     cgPasses    conjugate-gradient passes over all columns solved
%     components  groups of two or more variables solved apart (the
%                 solution is block diagonal along the connected
%                 components of abs(S) > LAMBDA)
%     time        seconds spent per part: each compiled module by name,
%                 factor (Cholesky factorisations), direction (the
%                 sparse direction handed to cdsweep)
%
%   Bad input raises an error with an identifier sparseprec:<what>
%   (data, nonfinite, samples, lambda, options, theta0, nargin); a compiled
%   part that refuses a call raises sparseprec:kernel with its message. If
%   maxIter ends the run first, a warning sparseprec:notConverged says so.
%
%   Example (a chain of 8 variables; THETA comes out tridiagonal, as T):
%      n = 8; T = spdiags([-0.4*ones(n,1) ones(n,1) -0.4*ones(n,1)], -1:1, n, n);
%      R = chol(T); rng(1);
%      X = randn(4000, n) / R';          % samples with covariance inv(T)
%      X = X - mean(X);                  % centre the columns
%      [Theta, info] = sparseprec(X, 0.05);
%      disp(full(Theta(1:3, 1:3)))
%      fprintf('%d iterations, converged: %d\n', info.iterations, info.converged)
%      fprintf('largest difference from T: %.2f\n', full(max(max(abs(Theta - T)))))
%
%   See also CHOL, DIRSOLVE, SLOPEMASK, CDSWEEP, STEPMIN.
%
%   sparsekernels @PROJECT_VERSION@

  t0 = tic;
  spent('reset');
  if nargin < 2 || nargin > 3
    error('sparseprec:nargin', 'sparseprec: expected 2 or 3 arguments, found %d', nargin);
  end
  if nargin < 3
    opts = struct();
  end
  X = checkdata(X);
  [M, N] = size(X);
  checklambda(lambda);
  opts = mergeoptions(opts, N);

  % Diagonal of S, and the pairs with abs(S_ij) > lambda: the graph whose
  % connected components the solution is block diagonal along.
  dS = (sum(X .* X, 1) / M)';
  [ri, ci, sv] = screenpairs(X, lambda);
  comps = components(N, ri, ci);

  % Variables alone in their component have a closed form.
  single = true(N, 1);
  for c = 1:numel(comps)
    single(comps{c}) = false;
  end
  Fsingle = sum(log(dS(single) + lambda) + 1);

  states = cell(1, numel(comps));
  for c = 1:numel(comps)
    states{c} = initcomponent(X, comps{c}, dS, ri, ci, sv, lambda, opts);
  end

  info = struct('F', [], 'optimality', [], 'iterations', 0, 'converged', true, ...
                'seconds', 0, 'nnz', 0, 'cgPasses', 0, 'components', numel(comps));
  if opts.verbose
    fprintf('sparseprec: N = %d, M = %d, lambda = %g, %d component(s) to solve, %d single\n', ...
            N, M, lambda, numel(comps), nnz(single));
    fprintf('%5s %16s %12s %10s %10s %9s\n', 'iter', 'F', 'optimality', 'free set', ...
            'nnz', 'seconds');
  end

  for it = 1:opts.maxIter
    if all(cellfun(@(s) s.converged || s.stalled, states))
      break;
    end
    Fsum = Fsingle;
    worst = 0;
    freeSize = 0;
    for c = 1:numel(states)
      s = states{c};
      if ~(s.converged || s.stalled)
        s = newtonstep(s, lambda, opts, it);
        states{c} = s;
      end
      Fsum = Fsum + s.Fstart;
      worst = max(worst, s.optimality);
      freeSize = freeSize + s.freeSize;
    end
    info.F(end + 1) = Fsum;
    info.optimality(end + 1) = worst;
    info.iterations = it;
    if opts.verbose
      fprintf('%5d %16.9e %12.4e %10d %10d %9.2f\n', it, Fsum, worst, freeSize, ...
              countnnz(states, single), toc(t0));
    end
  end

  info.converged = all(cellfun(@(s) s.converged, states));
  Theta = assemble(N, states, single, dS, lambda);
  info.nnz = nnz(Theta);
  info.cgPasses = sum(cellfun(@(s) s.cgPasses, states));
  info.seconds = toc(t0);
  info.time = spent();
  if ~info.converged
    warning('sparseprec:notConverged', ...
            'sparseprec: optimality %.3g after %d iterations is above tol %.3g', ...
            info.optimality(end), info.iterations, opts.tol);
  end
end

function X = checkdata(X)
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
  if size(X, 1) < 2
    error('sparseprec:samples', 'sparseprec: X must hold at least 2 samples (rows), found %d', ...
          size(X, 1));
  end
end

function checklambda(lambda)
  if ~(isnumeric(lambda) && isreal(lambda) && isscalar(lambda) && isfinite(lambda) ...
       && lambda > 0)
    if isnumeric(lambda) && isscalar(lambda) && isreal(lambda)
      found = sprintf('%g', lambda);
    else
      found = describe(lambda);
    end
    error('sparseprec:lambda', 'sparseprec: lambda must be a positive finite scalar, found %s', ...
          found);
  end
end

function n = countnnz(states, single)
  n = nnz(single);
  for c = 1:numel(states)
    n = n + nnz(states{c}.Theta);
  end
end

function Theta = assemble(N, states, single, dS, lambda)
  % Each component's Theta is stored in its own order; put it back.
  rows = cell(numel(states) + 1, 1);
  cols = rows;
  vals = rows;
  idx = find(single);
  rows{1} = idx;
  cols{1} = idx;
  vals{1} = 1 ./ (dS(idx) + lambda);
  for c = 1:numel(states)
    [r, k, v] = find(states{c}.Theta);
    g = states{c}.index;
    rows{c + 1} = g(r);
    cols{c + 1} = g(k);
    vals{c + 1} = v;
  end
  Theta = sparse(vertcat(rows{:}), vertcat(cols{:}), vertcat(vals{:}), N, N);
end
