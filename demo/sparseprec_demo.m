% Recovering a graph from samples: a Gaussian graphical model on a 60 x 60
% grid (3,600 variables, each linked to its four neighbours), 1,500 samples,
% and the sparse precision matrices that sparseprec_path estimates from
% them over a path of lambda values, one of which EBIC chooses.
side = 60;
M = 1500;
[X, Ttrue] = gridmodel(side, M, 1);
N = size(X, 2);
fprintf('data: %d samples of %d variables; the true graph has %d edges\n\n', M, N, ...
        (nnz(Ttrue) - N) / 2);

% Seven values from lambda_max, where no edge is left, down to 0.35 of it.
[Thetas, path] = sparseprec_path(X, 7, struct('ratio', 0.35, 'verbose', true));
best = path.best.index;
Theta = Thetas{best};

% Edges are the off-diagonal nonzeros, each counted once.
upper = @(A) triu(A ~= 0, 1);
truth = upper(Ttrue);
fprintf('\n%10s %7s %10s %7s %14s\n', 'lambda', 'edges', 'precision', 'recall', 'EBIC');
for k = 1:numel(path.lambda)
  found = upper(Thetas{k});
  hits = nnz(truth & found);
  mark = '';
  if k == best
    mark = '  <- chosen';
  end
  fprintf('%10.4f %7d %10.3f %7.3f %14.6e%s\n', path.lambda(k), nnz(found), ...
          hits / max(nnz(found), 1), hits / nnz(truth), path.ebic(k), mark);
end
fprintf('path of %d solves in %.1f s (solves warm-started, with the refit EBIC scores)\n', ...
        numel(path.lambda), sum(path.seconds));

% The picture: the true pattern and the chosen estimate over the first 400
% variables, and the path: edges and EBIC against lambda.
format = '-dpng';
if exist('OCTAVE_VERSION', 'builtin')
  % Headless: gnuplot draws the PNG itself, so neither a display nor
  % Ghostscript is needed.
  warning('off', 'Octave:gnuplot-graphics');
  warning('off', 'print:nogs');
  graphics_toolkit('gnuplot');
  format = '-dpngcairo';
end
outdir = fullfile(fileparts(mfilename('fullpath')), 'out');
if ~exist(outdir, 'dir')
  mkdir(outdir);
end
h = figure('visible', 'off', 'position', [0 0 1000 900]);
z = 1:400;
patterns = {Ttrue(z, z), Theta(z, z)};
titles = {sprintf('true pattern (first %d variables)', numel(z)), ...
          sprintf('chosen estimate, lambda = %.3g', path.best.lambda)};
for k = 1:2
  subplot(2, 2, k);
  [i, j] = find(patterns{k});
  plot(j, i, 'k.', 'markersize', 3);
  axis([0 numel(z) + 1 0 numel(z) + 1]);
  set(gca, 'ydir', 'reverse');
  axis square;
  title(titles{k});
end
sparseprec_plot(path, [subplot(2, 2, 3), subplot(2, 2, 4)]);
file = fullfile(outdir, 'sparseprec_demo.png');
print(h, format, file);
close(h);
fprintf('picture: %s\n', file);
