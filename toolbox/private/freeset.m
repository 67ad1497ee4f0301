function [free, measure] = freeset(s, W, lambda)
% With S and W = inv(Theta) whole: the optimality measure over every entry
% (relative to lambda) and the free entries, those of the lower triangle
% where Theta is nonzero or abs(G) > lambda, G = S - W, ordered by column
% then row, with G, S and Theta there. G is formed a block of columns at a
% time, below the diagonal only, so that its pieces stay in cache.
  t0 = tic;
  n = s.n;
  on = s.tv ~= 0;
  k = s.r(on) + (s.c(on) - 1) * n;
  width = max(1, floor(2^20 / n));
  cand = cell(ceil(n / width), 1);
  worst = 0;
  for b = 1:numel(cand)
    j0 = (b - 1) * width + 1;
    j1 = min(b * width, n);
    % Rows j0..n of columns j0..j1, as linear positions of the whole.
    E = abs(s.S(j0:n, j0:j1) - W(j0:n, j0:j1)) - lambda;
    pos = find(E > 0);
    [rr, cc] = ind2sub([n - j0 + 1, j1 - j0 + 1], pos);
    keep = rr + j0 - 1 >= cc + j0 - 1;
    cand{b} = (rr(keep) + j0 - 1) + (cc(keep) + j0 - 2) * n;
    worst = max(worst, max([0; E(pos(keep))]));
  end
  cand = vertcat(cand{:});
  G = s.S(k) - W(k);
  % Off the support the measure is abs(G) - lambda where positive; on it
  % abs(G + lambda*sign(Theta)), at least as large, so the support's own
  % values replace the others there.
  onsupport = abs(G + lambda * sign(s.tv(on)));
  measure = max([worst; onsupport]) / lambda;
  newcomers = setdiff(cand, k);
  % At most as many newcomers as Theta holds entries, and a few per
  % variable: a step from a point far off frees many entries at once,
  % most of which the next steps empty again, each of them at full cost.
  most = max(numel(k), 4 * n);
  if numel(newcomers) > most
    gain = abs(s.S(newcomers) - W(newcomers));
    [~, order] = sort(gain, 'descend');
    newcomers = newcomers(order(1:most));
  end
  [kf, order] = sort([k; newcomers]);
  [free.r, free.c] = ind2sub([n n], kf);
  free.g = s.S(kf) - W(kf);
  free.sv = s.S(kf);
  tv = [s.tv(on); zeros(numel(newcomers), 1)];
  free.tv = tv(order);
  spent('freeset', toc(t0));
end
