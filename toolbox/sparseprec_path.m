function [Thetas, path] = sparseprec_path(X, lambdas, opts)
%SPARSEPREC_PATH  Graphical lasso over a path of lambda values, and the choice of lambda (EBIC, cross-validation).
%   [THETAS, PATH] = SPARSEPREC_PATH(X, LAMBDAS) estimates the sparse
%   precision matrix of the data X (see SPARSEPREC) for each value of a
%   path of LAMBDAS, from the largest down, each solve warm-started from
%   the estimate before it, and scores every estimate's graph by the
%   extended BIC. THETAS{PATH.BEST.INDEX} is the graph EBIC chooses.
%
%   [THETAS, PATH] = SPARSEPREC_PATH(X, LAMBDAS, OPTS) takes options; with
%   OPTS.FOLDS = K, lambda is also chosen by K-fold cross-validation of the
%   held-out likelihood (PATH.BESTCV).
%
%   X        M x N data, as SPARSEPREC takes them, centred (and with
%            opts.standardize scaled) once for the whole path; or, with
%            opts.input = 'covariance', the N x N covariance matrix S.
%   LAMBDAS  a vector of positive values, solved from the largest down and
%            reported in the order given; or a count K (a scalar whole
%            number) for K values evenly spaced in log from LAMBDA_MAX, the
%            largest off-diagonal abs(S_ij), where the answer is diagonal,
%            down to opts.ratio*LAMBDA_MAX. (For one lambda that is a whole
%            number, call SPARSEPREC.)
%   OPTS     struct, every field optional. Read here:
%     ratio    the grid's smallest lambda over LAMBDA_MAX (default 0.1);
%              smaller ones give denser estimates and take longer
%     gamma    EBIC's weight of the number of graphs of each size, in
%              [0, 1] (default 0.5; 0 gives the ordinary BIC)
%     folds    [] (default), or K >= 2 for cross-validation over K folds of
%              consecutive rows (shuffle the rows first if their order
%              means something); data input only
%     samples  with opts.input = 'covariance', the number of samples S
%              comes from, which EBIC needs (without it PATH.EBIC is NaN)
%     verbose  true prints one line per lambda (default false)
%            Every other field goes to SPARSEPREC for every solve (tol,
%            maxIter, center, standardize, input, memory, ...), and is
%            checked there; opts.Theta0 warm-starts the largest lambda.
%
%   THETAS   1 x K cell of the sparse estimates, in the order of LAMBDAS.
%   PATH     struct; these fields are 1 x K, in the order of LAMBDAS:
%     lambda      the values of lambda
%     edges       off-diagonal nonzero pairs of each estimate
%     F           the objective value of each estimate
%     loglik      log det THETA - trace(S*THETA)
%     refit       the same for the refit: the maximum-likelihood precision
%                 matrix with THETA's zeros, free of the penalty's
%                 shrinkage; NaN where a connected group of the graph needs
%                 more than opts.memory (16*n^2 bytes for n variables) or
%                 the maximum does not exist (a group larger than M)
%     ebic        -M*refit + edges*(log(M) + 4*gamma*log(N)), M the
%                 samples; smaller is better
%     converged   true where the solve reached opts.tol
%     stalled     true where no step could decrease F any more
%     iterations  Newton steps of each solve
%     seconds     time spent on each lambda (solve and refit)
%   and
%     lambdaMax   LAMBDA_MAX of the data
%     samples     M as EBIC takes it (NaN when unknown)
%     gamma       as EBIC takes it
%     best        the EBIC choice: index (into LAMBDAS and THETAS) and
%                 lambda, NaN when no EBIC is known; note says why some
%                 or all are unknown ('' otherwise)
%     cv          [] without opts.folds; else loglik (folds x lambdas, the
%                 held-out log det THETA - trace(S_test*THETA) of THETA fit
%                 on the other folds, the held-out rows centred and scaled
%                 as those were), mean and std over the folds (1 x K)
%     bestcv      [] without opts.folds; else index and lambda of the
%                 largest mean held-out likelihood
%   Ties go to the larger lambda, the sparser graph. Solves that end at
%   opts.maxIter, or stall, are counted in one warning for the call
%   (sparseprec:notConverged, sparseprec:stalled).
%
%   EBIC is meant for choosing the graph: the penalty's shrinkage lowers
%   loglik most at large lambda, so EBIC on loglik itself would choose the
%   smallest lambda on most paths. Cross-validation scores THETA itself,
%   for prediction, and tends to choose a smaller lambda, a denser graph.
%
%   Bad input raises the errors of SPARSEPREC (sparseprec:<what>); LAMBDAS
%   that are not positive, or a count for data whose variables never
%   covary, raise sparseprec:lambda.
%
%   Example (a chain of 10 variables; EBIC finds its 9 links):
%      n = 10; T = spdiags([-0.4*ones(n,1) ones(n,1) -0.4*ones(n,1)], -1:1, n, n);
%      rng(2);
%      X = 50 + randn(1000, n) / chol(T)';      % raw data, mean 50
%      [Thetas, path] = sparseprec_path(X, 12);
%      fprintf('lambda %.3f: %2d edges\n', [path.lambda; path.edges])
%      Theta = Thetas{path.best.index};        % the chosen graph
%      fprintf('EBIC chooses lambda %.3f, %d edges; the chain''s: %d\n', ...
%              path.best.lambda, nnz(triu(Theta, 1)), isequal(Theta ~= 0, T ~= 0))
%      % Edges and EBIC against lambda: sparseprec_plot(path), or
%      %    subplot(1, 2, 1); semilogx(path.lambda, path.edges, 'o-');
%      %    subplot(1, 2, 2); semilogx(path.lambda, path.ebic, 'o-');
%
%   See also SPARSEPREC, SPARSEPREC_PLOT.
%
%   sparsekernels @PROJECT_VERSION@

  if nargin < 2 || nargin > 3
    error('sparseprec:nargin', 'sparseprec_path: expected 2 or 3 arguments, found %d', nargin);
  end
  if nargin < 3
    opts = struct();
  end
  [own, rest] = splitoptions(opts);
  sopts = mergeoptions(rest, size(X, 2));
  lambdas = checklambdas(lambdas);
  data = preparedata(X, sopts);
  own = checkown(own, sopts, data);
  lmax = lambdamax(data.X, data.M);
  if isscalar(lambdas) && lambdas == round(lambdas)
    lambdas = lambdagrid(lambdas, lmax, own.ratio);
  end

  % Every solve takes the prepared rows as they are.
  prep = sopts;
  sopts.center = false;
  sopts.standardize = false;
  sopts.input = 'data';
  state = warning('off', 'sparseprec:notConverged');
  state(2) = warning('off', 'sparseprec:stalled');
  restore = onCleanup(@() warning(state));
  if own.verbose
    fprintf('sparseprec_path: N = %d, M = %g, %d lambdas from %g, lambda_max %g\n', ...
            data.N, own.samples, numel(lambdas), max(lambdas), lmax);
    fprintf('%12s %9s %16s %14s %14s %14s %5s %9s\n', 'lambda', 'edges', 'F', 'loglik', ...
            'refit', 'ebic', 'iter', 'seconds');
  end
  [Thetas, infos, refit] = solvepath(data, lambdas, sopts, own, true);

  path = struct();
  path.lambda = lambdas;
  path.edges = [infos.edges];
  path.F = arrayfun(@(s) s.F(end), infos);
  path.loglik = [infos.loglik];
  path.refit = refit;
  path.ebic = ebic(path.refit, path.edges, own, data.N);
  path.converged = [infos.converged];
  path.stalled = [infos.stalled];
  path.iterations = [infos.iterations];
  path.seconds = [infos.seconds];
  path.lambdaMax = lmax;
  path.samples = own.samples;
  path.gamma = own.gamma;
  path.best = struct('index', NaN, 'lambda', NaN, 'note', '');
  unknown = nnz(isnan(path.ebic));
  if isnan(own.samples)
    path.best.note = 'EBIC needs the sample count: set opts.samples with input ''covariance''';
  elseif unknown > 0
    path.best.note = sprintf(['EBIC unknown at %d of %d lambdas: the refit on their graph ' ...
                              'needs more than opts.memory, or has no maximum (a group of ' ...
                              'linked variables larger than the samples)'], unknown, numel(lambdas));
  end
  if unknown < numel(lambdas)
    k = choose(-path.ebic, lambdas);
    path.best.index = k;
    path.best.lambda = lambdas(k);
  end
  path.cv = [];
  path.bestcv = [];
  failed = ~path.converged & ~path.stalled;
  stalled = path.stalled;
  if ~isempty(own.folds)
    [path.cv, cvfailed, cvstalled] = crossvalidate(X, lambdas, prep, sopts, own);
    k = choose(path.cv.mean, lambdas);
    path.bestcv = struct('index', k, 'lambda', lambdas(k));
    failed = [failed, cvfailed];
    stalled = [stalled, cvstalled];
  end
  clear('restore');
  summarize(failed, stalled);
end

function [own, rest] = splitoptions(opts)
% The path's own options, with their defaults, and the rest for sparseprec.
  if ~(isstruct(opts) && isscalar(opts))
    error('sparseprec:options', 'sparseprec_path: opts must be a scalar struct, found %s', ...
          describe(opts));
  end
  own = struct('ratio', 0.1, 'gamma', 0.5, 'folds', [], 'samples', [], 'verbose', false);
  names = fieldnames(own);
  known = [names; fieldnames(mergeoptions(struct(), 1))];
  rest = struct();
  for f = fieldnames(opts)'
    name = f{1};
    if any(strcmp(name, names))
      own.(name) = opts.(name);
    elseif any(strcmp(name, known))
      rest.(name) = opts.(name);
    else
      error('sparseprec:options', 'sparseprec_path: unknown option ''%s''; known: %s', name, ...
            strjoin(known', ', '));
    end
  end
end

function own = checkown(own, sopts, data)
  r = own.ratio;
  if ~(isnumeric(r) && isreal(r) && isscalar(r) && r > 0 && r < 1)
    bad('ratio', 'a number between 0 and 1', r);
  end
  own.ratio = double(r);
  g = own.gamma;
  if ~(isnumeric(g) && isreal(g) && isscalar(g) && g >= 0 && g <= 1)
    bad('gamma', 'a number in [0, 1]', g);
  end
  own.gamma = double(g);
  v = own.verbose;
  if ~((islogical(v) || isnumeric(v)) && isscalar(v) && isreal(v) && ~isnan(v))
    bad('verbose', 'true or false', v);
  end
  own.verbose = logical(v);
  covariance = strcmp(sopts.input, 'covariance');
  k = own.folds;
  if ~isempty(k)
    if covariance
      error('sparseprec:options', ...
            'sparseprec_path: cross-validation needs the samples: opts.folds takes input ''data''');
    end
    if ~(whole(k) && k >= 2 && k <= data.M / 2)
      bad('folds', sprintf('[] or a whole number from 2 to %d (half the samples)', ...
                           floor(data.M / 2)), k);
    end
    own.folds = double(k);
  end
  s = own.samples;
  if ~isempty(s)
    if ~covariance
      error('sparseprec:options', ...
            'sparseprec_path: opts.samples is for input ''covariance''; data give their own (%d rows)', ...
            data.M);
    end
    if ~(whole(s) && s >= 1)
      bad('samples', '[] or a positive whole number', s);
    end
    own.samples = double(s);
  elseif covariance
    own.samples = NaN;
  else
    own.samples = data.M;
  end
end

function ok = whole(v)
  ok = isnumeric(v) && isreal(v) && isscalar(v) && isfinite(v) && v == round(v);
end

function bad(name, want, v)
  if isnumeric(v) && isscalar(v) && isreal(v)
    found = sprintf('%g', v);
  else
    found = describe(v);
  end
  error('sparseprec:options', 'sparseprec_path: option %s must be %s, found %s', name, want, found);
end

function lambdas = checklambdas(lambdas)
  if ~(isnumeric(lambdas) && isreal(lambdas) && isvector(lambdas) && all(isfinite(lambdas)) ...
       && all(lambdas > 0))
    error('sparseprec:lambda', ...
          'sparseprec_path: lambdas must be a vector of positive finite values or a count, found %s', ...
          describe(lambdas));
  end
  lambdas = double(lambdas(:)');
end

function lambdas = lambdagrid(K, lmax, ratio)
% K values from lmax down to ratio*lmax, evenly spaced in log.
  if lmax == 0
    error('sparseprec:lambda', ...
          ['sparseprec_path: no two variables covary (every off-diagonal S_ij is 0), so every ' ...
           'lambda gives the diagonal answer; pass the lambdas themselves']);
  end
  lambdas = lmax * ratio .^ ((0:K - 1) / max(K - 1, 1));
end

function [Thetas, infos, refit] = solvepath(data, lambdas, sopts, own, refitting)
% Solves from the largest lambda down, each from the estimate before it,
% and (when refitting) the likelihood of the refit on each graph.
  [~, order] = sort(lambdas, 'descend');
  Thetas = cell(1, numel(lambdas));
  refit = NaN(size(lambdas));
  for k = order
    t0 = tic;
    [Thetas{k}, info] = sparseprec(data.X, lambdas(k), sopts);
    info = rmfield(info, 'time');
    infos(k) = info; %#ok<AGROW>
    sopts.Theta0 = Thetas{k};
    if refitting
      refit(k) = refitloglik(data.X, data.M, Thetas{k}, sopts.memory);
    end
    infos(k).seconds = toc(t0);
    if own.verbose
      fprintf('%12.5g %9d %16.9e %14.7e %14.7e %14.7e %5d %9.2f\n', lambdas(k), info.edges, ...
              info.F(end), info.loglik, refit(k), ebic(refit(k), info.edges, own, data.N), ...
              info.iterations, infos(k).seconds);
    end
  end
end

function [cv, failed, stalled] = crossvalidate(X, lambdas, prep, sopts, own)
% Each fold of consecutive rows held out in turn: the path on the other
% rows, prepared as the whole data were, scored on the held-out rows
% treated as the training rows were.
  M = size(X, 1);
  K = own.folds;
  bounds = round(linspace(0, M, K + 1));
  sopts.Theta0 = [];
  quiet = own;
  quiet.verbose = false;
  cv = struct('loglik', zeros(K, numel(lambdas)), 'mean', [], 'std', []);
  failed = false(0);
  stalled = false(0);
  for f = 1:K
    test = false(M, 1);
    test(bounds(f) + 1:bounds(f + 1)) = true;
    d = preparedata(X(~test, :), prep);
    Xt = (double(X(test, :)) - d.shift) ./ d.scale;
    [Thetas, infos] = solvepath(d, lambdas, sopts, quiet, false);
    for k = 1:numel(lambdas)
      fit = sum(sum((Xt * Thetas{k}) .* Xt)) / size(Xt, 1);
      cv.loglik(f, k) = infos(k).logdet - fit;
    end
    failed = [failed, ~[infos.converged] & ~[infos.stalled]];
    stalled = [stalled, [infos.stalled]];
  end
  cv.mean = mean(cv.loglik, 1);
  cv.std = std(cv.loglik, 0, 1);
end

function k = choose(score, lambdas)
% The largest score; among equals, the largest lambda.
  tied = find(score == max(score(~isnan(score))));
  [~, i] = max(lambdas(tied));
  k = tied(i);
end

function e = ebic(loglik, edges, own, N)
% Extended BIC: -2 log-likelihood (M/2 per unit of loglik) plus log(M)
% per edge and 4*gamma*log(N) per edge for the number of graphs of that
% size.
  M = own.samples;
  e = -M * loglik + edges * (log(M) + 4 * own.gamma * log(N));
end

function summarize(failed, stalled)
  if any(failed)
    warning('sparseprec:notConverged', ...
            ['sparseprec_path: %d of %d solves ended at opts.maxIter above tol (path.converged, ' ...
             'and the folds when cross-validating); raise opts.maxIter, standardize the data ' ...
             '(opts.standardize), or keep to larger lambdas (opts.ratio)'], ...
            nnz(failed), numel(failed));
  end
  if any(stalled)
    warning('sparseprec:stalled', ...
            ['sparseprec_path: %d of %d solves stalled at the rounding level of F (path.stalled); ' ...
             'a looser opts.tol, or standardized data, ends them cleanly'], ...
            nnz(stalled), numel(stalled));
  end
end
