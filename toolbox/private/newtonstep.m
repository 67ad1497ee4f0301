function s = newtonstep(s, lambda, opts, it)
% One outer iteration on a component: the gradient and the optimality
% measure at the current Theta, the Newton direction on the free set, and
% the step. Between full passes only the tracked entries are visited. A
% pass over every entry comes once the tracked ones are near their optimum
% (finding the entries that became free meanwhile) and confirms convergence.
  s.Fstart = s.F;
  if s.diagonalStart
    [D, G, quad, measure] = diagonaldirection(s, lambda);
    s.diagonalStart = false;
    allEntries = true;
  else
    allEntries = s.full;
    [s, D, G, quad, measure, passes, newcomers] = blockpass(s, lambda, allEntries, opts, it);
    s.cgPasses = s.cgPasses + passes;
    if allEntries
      % Converge on the grown set until its measure is well below what
      % the newcomers showed, then look at every entry again.
      s.fullBelow = max(opts.tol, newcomers / 10);
    end
  end
  s.optimality = measure;
  s.freeSize = numel(s.Fr);
  if measure < opts.tol && allEntries
    s.converged = true;
    return;
  end
  s.full = measure < s.fullBelow;
  s = linesearch(s, D, G, quad, lambda, opts.solver);
end

function [D, G, quad, measure] = diagonaldirection(s, lambda)
% With Theta diagonal, W is too, the entries decouple, and one soft
% threshold per entry is the exact Newton direction. The tracked entries
% are then every entry the gradient frees.
  w = 1 ./ full(diag(s.Theta));
  off = s.Fr ~= s.Fc;
  G = s.Sv;
  G(~off) = s.Sv(~off) - w(s.Fr(~off));
  a = w(s.Fr) .* w(s.Fc);
  D = callkernel('thresh', lambda, s.Tv, 0, G, 1 ./ a, (1:numel(G))');
  quad = 0.5 * sum((1 + off) .* a .* D .* D);
  measure = optimality(G, s.Tv, lambda);
end
