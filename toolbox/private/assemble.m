function Theta = assemble(N, states, alone, dS, lambda)
% The whole estimate: each component's Theta, stored in its own order, put
% back in the variables' order, and 1/(S_ii + lambda) for a variable alone.
  rows = cell(numel(states) + 1, 1);
  cols = rows;
  vals = rows;
  idx = find(alone);
  rows{1} = idx;
  cols{1} = idx;
  vals{1} = 1 ./ (dS(idx) + lambda);
  for c = 1:numel(states)
    [r, k, v] = find(states{c}.Theta);
    g = states{c}.index;
    rows{c + 1} = g(r);
    cols{c + 1} = g(k);
    vals{c + 1} = v;
  end
  Theta = sparse(vertcat(rows{:}), vertcat(cols{:}), vertcat(vals{:}), N, N);
end
