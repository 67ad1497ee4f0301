function [free, measure] = freeset(s, G, lambda)
% With G whole: the optimality measure over every entry (relative to
% lambda), and the free entries, those of the lower triangle where Theta
% is nonzero or abs(G) > lambda, ordered by column then row.
  n = s.n;
  on = s.tv ~= 0;
  k = s.r(on) + (s.c(on) - 1) * n;
  V = abs(G) - lambda;
  % Off the support the measure is abs(G) - lambda where positive; on it
  % abs(G + lambda*sign(Theta)), at least as large, so the lower
  % triangle's support entries decide there (the upper ones, left at the
  % smaller value, do not).
  V(k) = abs(G(k) + lambda * sign(s.tv(on)));
  measure = max(max(V(:)), 0) / lambda;
  V(k) = Inf;
  cand = find(V > 0);
  [r, c] = ind2sub([n n], cand);
  low = r >= c;
  % At most as many newcomers as Theta holds entries, and a few per
  % variable: a step from a point far off frees many entries at once,
  % most of which the next steps empty again, each of them at full cost.
  most = max(numel(k), 4 * n) + numel(k);
  if nnz(low) > most
    low = find(low);
    [~, order] = sort(V(cand(low)), 'descend');
    low = sort(low(order(1:most)));
  end
  free.r = r(low);
  free.c = c(low);
  kf = cand(low);
  free.g = G(kf);
  free.sv = s.S(kf);
  free.tv = zeros(numel(kf), 1);
  [~, at] = ismember(k, kf);
  free.tv(at) = s.tv(on);
end
