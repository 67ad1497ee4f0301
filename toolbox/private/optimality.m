function m = optimality(G, theta, lambda)
% The largest entry of the minimum-norm subgradient of F, relative to
% lambda: on the support abs(G + lambda*sign(theta)), off it the excess of
% abs(G) over lambda.
  v = max(abs(G) - lambda, 0);
  on = theta ~= 0;
  v(on) = abs(G(on) + lambda * sign(theta(on)));
  m = max([v; 0]) / lambda;
end
