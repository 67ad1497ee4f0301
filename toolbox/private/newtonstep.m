function s = newtonstep(s, lambda, opts, it)
% Outer iteration it on a component: assess Theta (its gradient G = S - W,
% W = inv(Theta), the optimality measure and the free entries), and unless
% it has converged (or it is beyond maxIter, which only assesses), the
% Newton direction on the free entries, solved to a forcing tolerance,
% and the step along it.
  assessOnly = it > opts.maxIter;
  fixedSweeps = 0;
  if ~isempty(opts.sweeps)
    fixedSweeps = opts.sweeps(min(it, end));
  end
  s.Fstart = s.F;
  s.stepped = false;
  s.inner = struct('sweeps', 0, 'cg', 0, 'optimality', 0);
  if s.diagonalStart && ~assessOnly
    [free, measure] = diagonalfree(s, lambda);
    D = diagonaldirection(s, free, lambda);
    s.diagonalStart = false;
    done = measure < opts.tol;
    s.full = measure < s.fullBelow;
  elseif s.whole
    t0 = tic;
    W = inverse(s, opts);
    spent('inverse', toc(t0));
    [free, measure] = freeset(s, W, lambda);
    done = measure < opts.tol;
    if ~(done || assessOnly)
      [D, s.inner] = direction(s, W, free, lambda, target(measure, opts.tol), fixedSweeps, ...
                                 opts.numThreads);
    end
    clear W;
  else
    % Beyond the budget the columns of W come a block at a time, and each
    % block's entries are swept as soon as its gradient is known. A pass
    % over the columns costs more than the sweeps, so they go ten times
    % further, which saves passes.
    [s, free, D, measure, newcomers, s.inner] = blockpass(s, lambda, ...
        target(s.optimality, opts.tol) / 10, assessOnly, fixedSweeps, opts);
    done = measure < opts.tol && s.full;
    if s.full
      % Converge on the grown set until its measure is well below what
      % the newcomers showed, then look at every entry again.
      s.fullBelow = max(opts.tol, newcomers / 10);
    end
    s.full = measure < s.fullBelow;
  end
  % A step that moved F by no more than its rounding, and left the measure
  % above 0.9 of the least seen, made no progress; three in a row mean the
  % measure sits at the rounding level of F, and more steps would not
  % change that.
  if abs(s.F - s.Fbefore) <= 64 * eps * abs(s.F) && ~(measure < 0.9 * s.least)
    s.stuck = s.stuck + 1;
  else
    s.stuck = 0;
  end
  s.optimality = measure;
  s.least = min(s.least, measure);
  s.freeSize = numel(free.r);
  if done
    s.converged = true;
    return;
  end
  if assessOnly || s.stuck >= 3
    s.stalled = s.stuck >= 3;
    return;
  end
  s.Fbefore = s.F;
  [s, s.step] = stepsize(s, free, D, lambda, opts.solver);
  s.stepped = ~s.stalled;
end

function t = target(measure, tol)
% The inner solve stops once its model's measure is below eta times the
% outer one, eta = min(0.5, sqrt(measure)): loose far away, ever tighter
% near the optimum, which keeps the Newton steps' fast local convergence.
% Below half of tol there is nothing to gain: the next measure is about
% the model's.
  t = max(min(0.5, sqrt(measure)) * measure, tol / 2);
end

function [free, measure] = diagonalfree(s, lambda)
% With Theta diagonal, W is too, and G off the diagonal is S: the tracked
% entries (the screened pairs and the diagonal) are every entry that may
% move. Held whole, only the pairs of largest excess over lambda, a few
% per variable, are let in at first: on strongly correlated data nearly
% every pair passes the screen, and a short step along all of them would
% fill Theta with entries the next steps empty again.
  w = 1 ./ full(diag(s.Theta));
  on = s.r == s.c;
  g = s.sv;
  g(on) = s.sv(on) - w(s.r(on));
  measure = optimality(g, s.tv, lambda);
  keep = true(size(g));
  most = 4 * s.n;
  if s.whole && nnz(~on) > most
    pairs = find(~on);
    [~, order] = sort(abs(g(pairs)), 'descend');
    keep(pairs(order(most + 1:end))) = false;
  end
  free = struct('r', s.r(keep), 'c', s.c(keep), 'sv', s.sv(keep), 'tv', s.tv(keep), 'g', g(keep));
end

function D = diagonaldirection(s, free, lambda)
% The entries decouple, and one soft threshold per entry is the exact
% Newton direction.
  w = 1 ./ full(diag(s.Theta));
  a = w(free.r) .* w(free.c);
  D = callkernel('thresh', lambda, free.tv, 0, free.g, 1 ./ a, (1:numel(free.g))');
end
