function [W, G] = gradient(s, opts)
% W = inv(Theta) and the gradient G = S - W, both whole (n x n).
  t0 = tic;
  W = inverse(s, opts);
  G = s.S - W;
  spent('inverse', toc(t0));
end
