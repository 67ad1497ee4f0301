function ax = sparseprec_plot(path, ax)
%SPARSEPREC_PLOT  Plot a graphical lasso path: edges and the choice criterion against lambda.
%   SPARSEPREC_PLOT(PATH) draws, for the PATH that SPARSEPREC_PATH returns,
%   the edges of each estimate and its EBIC against lambda (log scale), and
%   with cross-validation the held-out likelihood (mean, and mean +- one
%   standard deviation over the folds), a dashed line marking the lambda
%   each criterion chooses (EBIC's in the first two panels). The panels are subplots of the current
%   figure, side by side.
%
%   SPARSEPREC_PLOT(PATH, AX) draws into the axes AX instead, one handle
%   per panel (2, or 3 with cross-validation), e.g. subplots of a larger
%   picture.
%
%   AX = SPARSEPREC_PLOT(...) returns the axes drawn in.
%
%   Example:
%      n = 10; T = spdiags([-0.4*ones(n,1) ones(n,1) -0.4*ones(n,1)], -1:1, n, n);
%      rng(2);
%      X = randn(500, n) / chol(T)';
%      [Thetas, path] = sparseprec_path(X, 10, struct('folds', 3));
%      h = figure('visible', 'off');
%      ax = sparseprec_plot(path);
%      fprintf('%d panels; EBIC chooses %.3f, cross-validation %.3f\n', ...
%              numel(ax), path.best.lambda, path.bestcv.lambda)
%      close(h)
%
%   See also SPARSEPREC_PATH, SPARSEPREC.
%
%   sparsekernels @PROJECT_VERSION@

  if nargin < 1 || nargin > 2
    error('sparseprec:nargin', 'sparseprec_plot: expected 1 or 2 arguments, found %d', nargin);
  end
  need = {'lambda', 'edges', 'ebic', 'best', 'cv', 'bestcv'};
  if ~(isstruct(path) && isscalar(path) && all(isfield(path, need)))
    error('sparseprec:path', 'sparseprec_plot: PATH must be the struct sparseprec_path returns');
  end
  panels = 2 + ~isempty(path.cv);
  if nargin < 2
    ax = zeros(1, panels);
    for k = 1:panels
      ax(k) = subplot(1, panels, k);
    end
  elseif numel(ax) ~= panels || ~all(ishandle(ax(:)))
    error('sparseprec:path', 'sparseprec_plot: AX must hold %d axes handles, found %d values', ...
          panels, numel(ax));
  end

  % Lines join the lambdas in order, whatever order the path was given in.
  [lambda, order] = sort(path.lambda);
  panel(ax(1), lambda, path.edges(order), path.best, 'edges', []);
  title(ax(1), 'edges of the estimate');
  panel(ax(2), lambda, path.ebic(order), path.best, 'EBIC', []);
  if isnan(path.best.index)
    title(ax(2), 'EBIC unknown (see path.best.note)');
  else
    title(ax(2), sprintf('EBIC chooses lambda = %.3g', path.best.lambda));
  end
  if panels == 3
    m = path.cv.mean(order);
    s = path.cv.std(order);
    panel(ax(3), lambda, m, path.bestcv, 'held-out log-likelihood (mean, +- std)', ...
          [m - s; m + s]);
    title(ax(3), sprintf('cross-validation chooses lambda = %.3g', path.bestcv.lambda));
  end
end

function panel(ax, lambda, y, best, label, band)
% One criterion against lambda, its choice marked by a dashed line, and a
% band (two rows, low and high) dotted around it.
  semilogx(ax, lambda, y, 'bo-');
  hold(ax, 'on');
  finite = [y(isfinite(y)), band(isfinite(band))'];
  if ~isempty(band)
    semilogx(ax, lambda, band(1, :), 'b:', lambda, band(2, :), 'b:');
  end
  if ~isnan(best.index)
    span = [min(finite), max(finite)];
    if span(1) == span(2)
      span = span + [-1 1];
    end
    semilogx(ax, [best.lambda best.lambda], span, 'k--');
  end
  hold(ax, 'off');
  % Ticks at the path's own values: a path often spans less than a decade,
  % where a log axis would label nothing.
  ticks = lambda(1:ceil(numel(lambda) / 5):end);
  labels = arrayfun(@(t) sprintf('%.3g', t), ticks, 'UniformOutput', false);
  set(ax, 'xlim', [min(lambda) / 1.1, max(lambda) * 1.1], 'xtick', ticks, ...
      'xticklabel', labels);
  xlabel(ax, 'lambda');
  ylabel(ax, label);
end
