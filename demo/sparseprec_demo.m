% Recovering a graph from samples: a Gaussian graphical model on a 60 x 60
% grid (3,600 variables, each linked to its four neighbours), 1,500 samples,
% and the sparse precision matrix that sparseprec estimates from them.
side = 60;
M = 1500;
lambda = 0.15;
[X, Ttrue] = gridmodel(side, M, 1);
N = size(X, 2);
fprintf('data: %d samples of %d variables; the true graph has %d edges\n\n', M, N, ...
        (nnz(Ttrue) - N) / 2);

[Theta, info] = sparseprec(X, lambda, struct('verbose', true));

% Edges are the off-diagonal nonzeros, each counted once.
upper = @(A) triu(A ~= 0, 1);
truth = upper(Ttrue);
found = upper(Theta);
hits = nnz(truth & found);
fprintf('\n%d iterations in %.1f s; converged: %d\n', info.iterations, info.seconds, ...
        info.converged);
fprintf('edges found %d, true %d: precision %.3f, recall %.3f\n', nnz(found), nnz(truth), ...
        hits / max(nnz(found), 1), hits / nnz(truth));
parts = info.time;
names = fieldnames(parts);
fprintf('time by part:');
for k = 1:numel(names)
  fprintf(' %s %.2f s', names{k}, parts.(names{k}));
end
fprintf('\n');

% The picture: both patterns over the first 400 variables, and the
% optimality measure per iteration.
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
h = figure('visible', 'off', 'position', [0 0 1200 420]);
z = 1:400;
patterns = {Ttrue(z, z), Theta(z, z)};
titles = {sprintf('true pattern (first %d variables)', numel(z)), ...
          sprintf('estimate, lambda = %g', lambda)};
for k = 1:2
  subplot(1, 3, k);
  [i, j] = find(patterns{k});
  plot(j, i, 'k.', 'markersize', 3);
  axis([0 numel(z) + 1 0 numel(z) + 1]);
  set(gca, 'ydir', 'reverse');
  axis square;
  title(titles{k});
end
subplot(1, 3, 3);
% log10 on a linear axis: gnuplot mislinks a log axis beside reversed ones.
plot(1:info.iterations, log10(info.optimality), 'o-');
hold on;
plot([1 info.iterations], [-4 -4], 'k--');
xlabel('iteration');
ylabel('log10 optimality (relative to lambda)');
title('convergence');
file = fullfile(outdir, 'sparseprec_demo.png');
print(h, format, file);
close(h);
fprintf('picture: %s\n', file);
