function W = wholeinverse(N, states, alone, dS, lambda, opts)
% W = inv(Theta), dense N x N: block diagonal along the components, each
% block the inverse of its Theta, S_ii + lambda for a variable alone.
  W = zeros(N);
  idx = find(alone);
  W(idx + (idx - 1) * N) = dS(idx) + lambda;
  for c = 1:numel(states)
    g = states{c}.index;
    W(g, g) = inverse(states{c}, opts);
  end
end
