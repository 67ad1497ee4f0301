function [s, D, G, quad, measure, passes, newcomers] = blockpass(s, lambda, allEntries, opts, it)
% One pass over the columns, a block at a time from the last: columns of
% W = inv(Theta), the gradient G = S - W and the free entries (every entry
% when full, else the tracked ones), and coordinate-descent sweeps for the
% Newton direction D on them; newcomers is the optimality measure over the
% entries a full pass adds. A full pass also keeps entries whose gradient
% comes within a tenth of lambda, which are likely to become free. An entry (i, j), i >= j, belongs to the block
% of column j; its row i lies in that block or a later one, whose columns
% were solved just before (kept) or are solved again.
  n = s.n;
  K = min(opts.blockSize, n);
  nb = ceil(n / K);
  sweeps = opts.sweeps(min(it, end));
  % A sweep's threads meet once per update: worth it on long columns only.
  sweepThreads = 1;
  if n >= 16384
    sweepThreads = opts.numThreads;
  end
  tracked = sparse(s.Fr, s.Fc, 1:numel(s.Fr), n, n);
  newcomers = 0;
  parts = cell(nb, 6);
  passes = 0;
  quad = 0;
  measure = 0;
  Dr = zeros(0, 1);
  Dc = zeros(0, 1);
  Dv = zeros(0, 1);
  prevJ = [];
  prevW = [];
  for b = nb:-1:1
    J = (b - 1) * K + 1:min(b * K, n);
    j0 = J(1);
    [WJ, p] = wcolumns(s, J, opts);
    passes = passes + p;
    if allEntries
      nr = n - j0 + 1;
      Tsub = s.Theta(j0:n, J);
      [pos, g, sval] = callkernel('slopemask', s.X(:, j0:n), s.X(:, J) / s.M, Tsub, ...
                                  WJ(j0:n, :), 0.9 * lambda, (1:numel(J))', 4 * numel(J), 0);
      r = mod(pos - 1, nr) + j0;
      cl = floor((pos - 1) / nr) + 1;
      theta = full(Tsub(pos));
      Ksub = tracked(j0:n, J);
      fresh = full(Ksub(pos)) == 0;
      newcomers = max(newcomers, optimality(g(fresh), theta(fresh), lambda));
    else
      [r, cl, k] = find(tracked(:, J));
      sval = s.Sv(k);
      theta = s.Tv(k);
      g = sval - WJ(r + (cl - 1) * n);
    end
    c = J(cl)';
    measure = max(measure, optimality(g, theta, lambda));

    % Columns for the rows beyond the block: from the block before, or
    % solved now.
    R = unique(r(r > J(end)));
    kept = false(size(R));
    if ~isempty(prevJ)
      kept = R >= prevJ(1) & R <= prevJ(end);
    end
    [Wx, p] = wcolumns(s, R(~kept), opts);
    passes = passes + p;
    idx = [J(:); R(kept); R(~kept)];
    if any(kept)
      Wc = [WJ, prevW(:, R(kept) - prevJ(1) + 1), Wx];
    else
      Wc = [WJ, Wx];
    end

    % The direction of the blocks done so far, lower triangle only: the
    % sweep forms Delta*Wc from it. Its columns lie in later blocks, so it
    % holds none of this block's entries; the zeros sparse drops add nothing.
    t0 = tic;
    Dl = sparse(Dr, Dc, Dv, n, n);
    spent('direction', toc(t0));
    [d, q] = callkernel('cdsweep', Wc, idx, Dl, r, c, g, theta, [], lambda, sweeps, ...
                        sweepThreads);
    quad = quad + q;
    parts(b, :) = {r, c, sval, theta, g, d};
    Dr = [r; Dr];
    Dc = [c; Dc];
    Dv = [d; Dv];
    prevJ = J;
    prevW = WJ;
  end
  s.Fr = vertcat(parts{:, 1});
  s.Fc = vertcat(parts{:, 2});
  s.Sv = vertcat(parts{:, 3});
  s.Tv = vertcat(parts{:, 4});
  G = vertcat(parts{:, 5});
  D = vertcat(parts{:, 6});
end
