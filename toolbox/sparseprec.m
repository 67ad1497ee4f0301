function [Theta, info, W] = sparseprec(X, lambda, varargin)
%SPARSEPREC  Sparse precision (inverse covariance) matrix by the graphical lasso.
%   THETA = SPARSEPREC(X, LAMBDA) estimates the sparse precision matrix
%   (inverse covariance) of the data X: the symmetric positive-definite
%   THETA that minimises the L1-penalised Gaussian likelihood (graphical
%   lasso)
%
%      F(THETA) = -log det THETA + trace(S*THETA) + LAMBDA*sum(abs(THETA(:)))
%
%   with S the covariance of X's columns. The off-diagonal nonzeros of
%   THETA are the edges of a Gaussian graphical model of the N variables.
%   Every entry is penalised, the diagonal included.
%
%   [THETA, INFO] = SPARSEPREC(X, LAMBDA, OPTS) takes options and returns a
%   record of the run. [THETA, INFO, W] = SPARSEPREC(...) also returns the
%   covariance estimate W = inv(THETA), dense, when N^2 doubles fit
%   opts.memory (else the error sparseprec:memory says what to do).
%
%   X       M x N real data, one sample per row, of any numeric class (read
%           as double). S = X'*X/M after the columns are centred (opts.center)
%           and, if asked, scaled to unit variance (opts.standardize).
%           At least 2 samples; no NaN or Inf. N may be large: beyond the
%           memory budget neither S nor inv(THETA) is formed whole.
%           With opts.input = 'covariance', X is instead S itself: a
%           symmetric positive semi-definite N x N matrix (dense or sparse).
%   LAMBDA  positive finite scalar of any numeric class, the weight of the
%           L1 penalty. Larger values give sparser estimates; with
%           LAMBDA >= max(abs(S(:))) off the diagonal THETA is diagonal.
%   OPTS    struct, every field optional:
%     center      true (default) subtracts the column means first; false
%                 takes X as already centred (saves a pass over X; on
%                 uncentred data S is then not the covariance).
%     standardize false (default); true divides each centred column by its
%                 standard deviation d(j), so that S is the correlation
%                 matrix and THETA the precision of the standardised
%                 variables: THETA(i,j)/(d(i)*d(j)) reads it on the
%                 original scale, where the penalty then weighs each entry
%                 by d(i)*d(j). Use it for raw measurements on different
%                 scales: one LAMBDA then fits every variable.
%     input       'data' (default) or 'covariance' (see X).
%     tol         stop when the optimality measure falls below tol
%                 (default 1e-4). The measure is the largest entry of the
%                 minimum-norm subgradient of F, divided by LAMBDA.
%     maxIter     outer (Newton) iterations at most (default 50)
%     memory      bytes the solver may hold (default 2^30, 1 GiB). A group
%                 of n variables that fits (about 48*n^2 bytes: S, inv(THETA)
%                 and the direction's work arrays) is solved whole; a larger
%                 one a block of columns at a time, computing columns of
%                 inv(THETA) as needed.
%     blockSize   columns handled together beyond the memory budget
%                 (default 256); memory grows as about 6*N*blockSize doubles
%     numThreads  threads of the conjugate-gradient solves and of the
%                 sweeps on long columns (default: the number of
%                 processors). The other compiled parts use OpenMP's
%                 default (OMP_NUM_THREADS). Results are the same for any
%                 of these counts; the host BLAS's own threads
%                 (OPENBLAS_NUM_THREADS) may move their last bits.
%     Theta0      warm start: sparse symmetric positive-definite N x N, for
%                 instance the estimate for a larger LAMBDA
%     verbose     true prints one line per iteration (default false)
%     sweeps      [] (default): each Newton direction is solved until its
%                 own optimality falls below a fraction of the current
%                 measure (min(0.5, sqrt(measure)) of it), by
%                 coordinate-descent sweeps and conjugate-gradient steps.
%                 A vector of positive integers instead fixes the
%                 coordinate-descent sweeps per iteration: entry k for
%                 iteration k, the last one after.
%     solver      how columns of inv(THETA) are computed beyond the memory
%                 budget:
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
%     F           objective value at the start of each iteration; the last
%                 entry is F of THETA
%     optimality  optimality measure likewise (see tol); the last entry is
%                 that of THETA
%     logdet      log det THETA
%     loglik      log det THETA - trace(S*THETA), the Gaussian
%                 log-likelihood per sample, up to constants and a factor 2
%     edges       off-diagonal nonzero pairs of THETA
%     nnz         nonzeros of THETA
%     iterations  Newton steps made (0 when the start is optimal)
%     converged   true when the measure fell below tol
%     stalled     true when a step could not decrease F (see below)
%     seconds     wall-clock time of the call
%     cgPasses    conjugate-gradient passes over columns of inv(THETA)
%     components  groups of two or more variables solved apart (the
%                 solution is block diagonal along the connected
%                 components of abs(S) > LAMBDA)
%     time        seconds spent per part: each compiled module by name,
%                 inverse (inv(THETA) formed whole), factor (Cholesky
%                 factorisations), products (the direction's
%                 matrix products), direction (sparse directions built)
%
%   Bad input raises an error with an identifier sparseprec:<what>
%   (data, nonfinite, samples, lambda, options, theta0, covariance, memory,
%   nargin); a compiled part that refuses a call raises sparseprec:kernel
%   with its message. When maxIter ends the run first, a warning
%   sparseprec:notConverged says so and what to try; when no step can
%   decrease F any more (the measure then sits at the rounding level of
%   F), a warning sparseprec:stalled.
%
%   Example (a chain of 8 variables; THETA comes out tridiagonal, as T):
%      n = 8; T = spdiags([-0.4*ones(n,1) ones(n,1) -0.4*ones(n,1)], -1:1, n, n);
%      R = chol(T); rng(1);
%      X = randn(4000, n) / R';          % samples with covariance inv(T)
%      [Theta, info] = sparseprec(X, 0.05);
%      disp(full(Theta(1:3, 1:3)))
%      fprintf('%d iterations, converged: %d\n', info.iterations, info.converged)
%      fprintf('largest difference from T: %.2f\n', full(max(max(abs(Theta - T)))))
%
%   See also SPARSEPREC_PATH, CHOL, DIRSOLVE, SLOPEMASK, CDSWEEP, STEPMIN.
%
%   sparsekernels @PROJECT_VERSION@

  t0 = tic;
  spent('reset');
  if nargin < 2 || nargin > 3
    error('sparseprec:nargin', 'sparseprec: expected 2 or 3 arguments, found %d', nargin);
  end
  given = struct();
  if nargin == 3
    given = varargin{1};
  end
  opts = mergeoptions(given, size(X, 2));
  lambda = checklambda(lambda);
  if nargout > 2
    checkwholeinverse(size(X, 2), opts.memory);
  end
  data = preparedata(X, opts);
  N = data.N;

  % The pairs with abs(S_ij) > lambda split the variables into connected
  % components, along which the solution is block diagonal; a variable
  % alone has the closed form 1/(S_ii + lambda).
  [ri, ci, sv] = screenpairs(data.X, data.M, lambda);
  comps = components(N, ri, ci);
  alone = true(N, 1);
  for c = 1:numel(comps)
    alone(comps{c}) = false;
  end
  states = cell(1, numel(comps));
  for c = 1:numel(comps)
    states{c} = newcomponent(data, comps{c}, ri, ci, sv, lambda, opts);
  end
  Falone = sum(log(data.dS(alone) + lambda) + 1);

  info = struct('F', [], 'optimality', [], 'iterations', 0, 'converged', true, ...
                'stalled', false, 'seconds', 0, 'nnz', 0, 'edges', 0, 'logdet', 0, ...
                'loglik', 0, 'cgPasses', 0, 'components', numel(comps));
  if opts.verbose
    fprintf('sparseprec: N = %d, M = %d, lambda = %g, %d component(s) to solve, %d alone\n', ...
            N, data.M, lambda, numel(comps), nnz(alone));
    fprintf('%5s %16s %11s %9s %9s %6s %5s %10s %8s %8s\n', 'iter', 'F', 'optimality', ...
            'free', 'nnz', 'sweeps', 'cg', 'model opt', 'step', 'seconds');
  end

  % Every iteration first assesses each component's THETA (its gradient,
  % optimality measure and free entries) and, unless that settles it,
  % makes one Newton step. One assessment more than maxIter allows records
  % the measure of what is returned.
  for it = 1:opts.maxIter + 1
    open = find(cellfun(@(s) ~(s.converged || s.stalled), states));
    if isempty(open)
      break;
    end
    for c = open
      states{c} = newtonstep(states{c}, lambda, opts, it);
    end
    info.F(end + 1) = Falone + sum(cellfun(@(s) s.Fstart, states));
    info.optimality(end + 1) = max([0, cellfun(@(s) s.optimality, states)]);
    stepped = any(cellfun(@(s) s.stepped, states(open)));
    info.iterations = info.iterations + stepped;
    if opts.verbose
      report(it, info, states(open), states, alone, toc(t0));
    end
  end

  Theta = assemble(N, states, alone, data.dS, lambda);
  info.converged = all(cellfun(@(s) s.converged, states));
  info.stalled = any(cellfun(@(s) s.stalled, states));
  if isempty(info.F)
    % Nothing to iterate: the diagonal answer, optimal by construction.
    info.F = Falone;
    info.optimality = 0;
  end
  info.logdet = sum(cellfun(@(s) s.logdet, states)) - sum(log(data.dS(alone) + lambda));
  info.loglik = lambda * sum(abs(nonzeros(Theta))) - info.F(end);
  info.nnz = nnz(Theta);
  info.edges = (info.nnz - nnz(diag(Theta))) / 2;
  info.cgPasses = sum(cellfun(@(s) s.cgPasses, states));
  if nargout > 2
    W = wholeinverse(N, states, alone, data.dS, lambda, opts);
  end
  info.seconds = toc(t0);
  info.time = spent();
  warnings(info, opts);
end

function lambda = checklambda(lambda)
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
  lambda = double(lambda);
end

function checkwholeinverse(N, memory)
  if 8 * N^2 > memory
    error('sparseprec:memory', ...
          ['sparseprec: W = inv(Theta) is %dx%d, %.3g GB, beyond opts.memory (%.3g GB); ' ...
           'raise opts.memory, or ask for THETA alone and solve for the columns of W you ' ...
           'need (THETA \\ I(:, cols), or dirsolve)'], N, N, 8 * N^2 / 1e9, memory / 1e9);
  end
end

function report(it, info, open, states, alone, seconds)
  free = sum(cellfun(@(s) s.freeSize, open));
  count = nnz(alone) + sum(cellfun(@(s) nnz(s.Theta), states));
  sweeps = sum(cellfun(@(s) s.inner.sweeps, open));
  cg = sum(cellfun(@(s) s.inner.cg, open));
  model = max([0, cellfun(@(s) s.inner.optimality, open)]);
  step = min([1, cellfun(@(s) s.step, open)]);
  fprintf('%5d %16.9e %11.4e %9d %9d %6d %5d %10.3e %8.3g %8.2f\n', it, info.F(end), ...
          info.optimality(end), free, count, sweeps, cg, model, step, seconds);
end

function warnings(info, opts)
  if info.stalled
    warning('sparseprec:stalled', ...
            ['sparseprec: no step decreases F any more; optimality %.3g against tol %.3g ' ...
             '(the measure is at the rounding level of F: a looser tol, or standardized ' ...
             'data, ends the run cleanly)'], info.optimality(end), opts.tol);
  elseif ~info.converged
    warning('sparseprec:notConverged', ...
            ['sparseprec: optimality %.3g after %d iterations is above tol %.3g; raise ' ...
             'opts.maxIter (or warm-start from THETA with opts.Theta0), standardize the data ' ...
             '(opts.standardize), or use a larger lambda'], ...
            info.optimality(end), info.iterations, opts.tol);
  end
end
