function [s, free, D, measure, newcomers, inner] = blockpass(s, lambda, target, assessOnly, ...
                                                            fixedSweeps, opts)
% One pass over the columns beyond the memory budget, a block at a time
% from the last: the block's columns of W = inv(Theta), its entries and
% gradient G = S - W there (every entry when s.full, else the tracked
% ones), and coordinate-descent sweeps for the Newton direction on them
% (unless assessOnly), stopped once a sweep's largest violation is below
% target (relative to lambda) or after fixedSweeps when that is set. An
% entry (i, j), i >= j, belongs to the block of column j; its row i lies
% in that block or a later one, whose columns were solved just before
% (kept) or are solved again. newcomers is the measure over the entries a
% full pass adds.
  n = s.n;
  K = min(opts.blockSize, n);
  nb = ceil(n / K);
  tracked = sparse(s.r, s.c, 1:numel(s.r), n, n);
  parts = cell(nb, 6);
  newcomers = 0;
  measure = 0;
  inner = struct('sweeps', 0, 'cg', 0, 'optimality', 0);
  Dl = struct('r', zeros(0, 1), 'c', zeros(0, 1), 'v', zeros(0, 1));
  for b = nb:-1:1
    J = ((b - 1) * K + 1:min(b * K, n))';
    if s.full
      [WJ, passes] = wcolumns(s, J, opts);
      s.cgPasses = s.cgPasses + passes;
      [e, fresh] = blockentries(s, J, WJ, tracked, lambda);
    else
      % The entries are known before the columns: the block's own and
      % those of the rows beyond it come in one solve.
      [e, fresh] = blockentries(s, J, [], tracked, lambda);
      idx = [J; unique(e.r(e.r > J(end)))];
      [Wc, passes] = wcolumns(s, idx, opts);
      s.cgPasses = s.cgPasses + passes;
      e.g = e.sv - Wc(e.r + (e.cl - 1) * n);
    end
    measure = max(measure, optimality(e.g, e.tv, lambda));
    newcomers = max(newcomers, optimality(e.g(fresh), e.tv(fresh), lambda));
    d = zeros(numel(e.r), 1);
    if ~assessOnly
      if s.full
        [Wc, idx, passes] = neighbourcolumns(s, J, WJ, e.r, opts);
        s.cgPasses = s.cgPasses + passes;
      end
      [d, sweeps, worst] = sweepblock(Wc, idx, Dl, e, lambda, target, fixedSweeps, opts);
      inner.sweeps = max(inner.sweeps, sweeps);
      inner.optimality = max(inner.optimality, worst / lambda);
      Dl.r = [e.r; Dl.r];
      Dl.c = [e.c; Dl.c];
      Dl.v = [d; Dl.v];
    end
    parts(b, :) = {e.r, e.c, e.sv, e.tv, e.g, d};
  end
  free = struct('r', vertcat(parts{:, 1}), 'c', vertcat(parts{:, 2}), ...
                'sv', vertcat(parts{:, 3}), 'tv', vertcat(parts{:, 4}), 'g', vertcat(parts{:, 5}));
  D = vertcat(parts{:, 6});
end

function [e, fresh] = blockentries(s, J, WJ, tracked, lambda)
% The block's entries (r, c) with S, Theta and G there. A full pass takes
% every entry whose gradient exceeds 0.9*lambda (those within a tenth of
% lambda are likely to become free) or that Theta holds; fresh marks the
% entries it adds to the tracked ones.
  n = s.n;
  j0 = J(1);
  if s.full
    nr = n - j0 + 1;
    Tsub = s.Theta(j0:n, J);
    [pos, g, sv] = callkernel('slopemask', s.X(:, j0:n), s.X(:, J) / s.M, Tsub, WJ(j0:n, :), ...
                              0.9 * lambda, (1:numel(J))', 4 * numel(J), 0);
    e.r = mod(pos - 1, nr) + j0;
    cl = floor((pos - 1) / nr) + 1;
    e.tv = full(Tsub(pos));
    Ksub = tracked(j0:n, J);
    fresh = full(Ksub(pos)) == 0;
  else
    [e.r, cl, k] = find(tracked(:, J));
    sv = s.sv(k);
    e.tv = s.tv(k);
    g = [];
    fresh = false(size(e.r));
  end
  e.c = reshape(J(cl), [], 1);
  e.cl = cl(:);
  e.sv = sv;
  e.g = g;
end

function [Wc, idx, passes] = neighbourcolumns(s, J, WJ, r, opts)
% The columns of W the sweeps read: the block's own and those of the rows
% beyond it, solved now.
  R = unique(r(r > J(end)));
  [Wx, passes] = wcolumns(s, R, opts);
  idx = [J; R];
  Wc = [WJ, Wx];
end

function [d, sweeps, worst] = sweepblock(Wc, idx, Dl, e, lambda, target, fixedSweeps, opts)
% Coordinate-descent sweeps over the block's entries. The direction of
% the blocks done so far is handed over as a lower triangle: the sweep
% forms Delta*Wc from it. Its columns lie in later blocks, so it holds
% none of this block's entries.
  n = size(Wc, 1);
  threads = opts.numThreads;
  t0 = tic;
  D = sparse(Dl.r, Dl.c, Dl.v, n, n);
  spent('direction', toc(t0));
  if fixedSweeps > 0
    [d, ~, sweeps, worst] = callkernel('cdsweep', Wc, idx, D, e.r, e.c, e.g, e.tv, [], lambda, ...
                                       fixedSweeps, threads, []);
  else
    [d, ~, sweeps, worst] = callkernel('cdsweep', Wc, idx, D, e.r, e.c, e.g, e.tv, [], lambda, ...
                                       50, threads, target * lambda);
  end
end
