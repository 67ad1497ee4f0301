function cases = builds_agree_cases ()
  % cases = builds_agree_cases () lists calls of every module, served and
  % refused, built the same way on every call (fixed seeds), so a process
  % can rebuild them to see that its arguments were left alone. Fields:
  % fn, nout (outputs asked for), reject (a refusal is expected), args.
  rand ('seed', 11); randn ('seed', 11);
  c = struct ('fn', {}, 'nout', {}, 'reject', {}, 'args', {});

  % thresh: scalars of other classes (a sparse one is read as its first
  % stored value), a range as the list, a 1 x 1 and an empty output, and
  % one above the huge-page threshold.
  X = randn (30, 20); G = randn (30, 20); D = rand (30, 20); p = randperm (600, 250);
  c = add (c, 'thresh', 1, false, 0.2, X, 0.05, G, D, p);
  c = add (c, 'thresh', 1, false, int32 (1), X, single (0.25), G, D, 1:2:599);
  c = add (c, 'thresh', 1, false, sparse (0.3), X, true, G, D, p');
  c = add (c, 'thresh', 1, false, sparse (1, 1, 0), X, uint8 (0), G, D, p);
  c = add (c, 'thresh', 1, false, sparse ([0 0.3]), X, int8 (-1), G, D, p);
  c = add (c, 'thresh', 1, false, 0.5, 4, NaN, 1, 1, 1);
  c = add (c, 'thresh', 1, false, 0.5, zeros (0, 3), 0.1, [], [], []);
  Xl = randn (1200, 700);
  c = add (c, 'thresh', 1, false, 0.1, Xl, 0.02, randn (1200, 700), rand (1200, 700), randi (numel (Xl), 1, 20000));
  c = add (c, 'thresh', 1, true, 1, X, 0, G, D);
  c = add (c, 'thresh', 1, true, 1, single (X), 0, G, D, p);
  c = add (c, 'thresh', 1, true, 1, X, 0, G, D, [p 601]);
  c = add (c, 'thresh', 1, true, 1, X, 1i, G, D, p);
  c = add (c, 'thresh', 1, true, 1, X, [], G, D, p);
  c = add (c, 'thresh', 1, true, {1}, X, 0, G, D, p);
  c = add (c, 'thresh', 1, true, 1, struct ('a', 1), 0, G, D, p);
  c = add (c, 'thresh', 1, true, 1, X, 0, G, sparse (D), p);

  % entryprod: both passes, and the historical line without a line feed.
  A1 = rand (5, 8); B = rand (5, 4); Gs = rand (5, 3);
  c = add (c, 'entryprod', 1, false, A1, B, [], [1; 5; 12], [3 1 8], [], [], 3, []);
  c = add (c, 'entryprod', 1, false, Gs, Gs, Gs, [], [], [1; 2; 3; 5; 6; 9], 1:3, 3, 1:3);
  c = add (c, 'entryprod', 1, true, A1, rand (4, 4), [], [1; 5], [3 1 8], [], [], 3, []);
  c = add (c, 'entryprod', 1, true, A1, B, [], [1; 5; 13], [3 1 8], [], [], 3, []);

  % colrunprod: an output too large for any machine is refused as out of memory.
  S = sparse ([1 3 2], [1 1 3], [2 -1 4], 3, 3);
  [i, j, v] = find (S);
  c = add (c, 'colrunprod', 1, false, v, sub2ind (size (S), i, j), 3, magic (3));
  c = add (c, 'colrunprod', 1, false, zeros (0, 1), zeros (0, 1), 3, zeros (0, 2));
  c = add (c, 'colrunprod', 1, true, zeros (0, 1), zeros (0, 1), 2e9, zeros (0, 5000));
  c = add (c, 'colrunprod', 1, true, v, [1; 2; 10], 3, magic (3));

  % colsetprod.
  n = 6; b = [2 5];
  Sb = zeros (n, 2); Sb([1 2 5], 1) = [1 4 3]; Sb([2 4 5], 2) = [3 -2 7];
  [i, j, v] = find (sparse (Sb));
  mask = zeros (n, 1); mask(b) = 1;
  c = add (c, 'colsetprod', 1, false, v, rand (n, 3), sub2ind ([n 2], i, j), b, mask);
  c = add (c, 'colsetprod', 1, true, v, rand (n, 3), sub2ind ([n 2], i, j), b, logical (mask));

  % gramprod: three outputs, one, and empty ones.
  Xg = randn (5, 40);
  c = add (c, 'gramprod', 3, false, Xg, 2, 1);
  c = add (c, 'gramprod', 1, false, Xg, 2, 1);
  c = add (c, 'gramprod', 3, false, zeros (3, 0), 0, 1);
  c = add (c, 'gramprod', 3, true, Xg, 'a', 1);

  % slopemask: a pattern of each class, both modes, fewer outputs than made.
  Xs = randn (20, 30); Qs = randn (20, 4); Rs = randn (30, 4);
  pat = sprand (30, 4, 0.2);
  c = add (c, 'slopemask', 3, false, Xs, Qs, pat, Rs, 1.5, [3 9 17 30], 16, 0);
  c = add (c, 'slopemask', 3, false, Xs, Qs, pat ~= 0, Rs, 1.5, [3 9 17 30], 16, 1);
  c = add (c, 'slopemask', 1, false, Xs, Qs, complex (pat, pat), Rs, 1.5, [3 9 17 30], 16, 1);
  c = add (c, 'slopemask', 3, true, Xs, Qs, full (pat), Rs, 1.5, [3 9 17 30], 16, 1);

  % stepmin and stepcoef: 1 x 1 outputs, empty lists, the historical line.
  x = randn (50, 1); dv = randn (50, 1);
  c = add (c, 'stepmin', 2, false, [1 2], [-2 -1], 1, 0, 0, 0, 3, 1);
  c = add (c, 'stepmin', 2, false, x, dv, 2, -1, 0, 0, 1, 0.1, 1:2:50);
  c = add (c, 'stepmin', 1, false, x, dv, 2, -1, 0, 0, 1, 0.1, []);
  c = add (c, 'stepmin', 2, true, x, dv(1:49), 2, -1, 0, 0, 1, 0.1);
  m = 5; sym = @(M) M + M';
  Xc = sym (randn (m)); Vc = sym (randn (m)); Gc = sym (randn (m));
  P = find (triu (ones (m), 1)); Q = find (eye (m));
  c = add (c, 'stepcoef', 4, false, Xc, Vc, Vc, Gc, P, Q);
  c = add (c, 'stepcoef', 4, false, Xc, Vc, Vc, Gc, [], []);
  c = add (c, 'stepcoef', 2, true, Xc, Vc, Vc, Gc, P, [Q; 26]);

  % dirsolve: one output or the struct, canonical columns with a row
  % subset, no columns, and the historical line.
  e = ones (100, 1);
  A = spdiags ([-e 4*e -e], -1:1, 100, 100);
  L = ichol (A);
  Bd = rand (100, 4);
  c = add (c, 'dirsolve', 1, false, triu (A), [], Bd, 200, 1e-10, L, L', 2, []);
  c = add (c, 'dirsolve', 2, false, triu (A), [], Bd, 200, 1e-10, L, L', 2, []);
  c = add (c, 'dirsolve', 2, false, triu (A), [], [5 9], 200, 1e-10, [], [], 1, 1:3);
  c = add (c, 'dirsolve', 2, false, triu (A), [], zeros (100, 0), 200, 1e-10, [], [], 1, []);
  c = add (c, 'dirsolve', 2, true, triu (A), Bd(:, 1:2), [5 9], 200, 1e-10, [], [], 1, []);
  c = add (c, 'dirsolve', 2, true, triu (A), [], Bd, 200, 1e-10, L, L', 2, 101);

  % dirsolve_duo: both layouts and preconditioners, one column.
  Ap = gallery ('poisson', 12);
  blk = uint64 (floor ((0:rows (Ap) - 1)' / 30));
  Bp = rand (rows (Ap), 3);
  c = add (c, 'dirsolve_duo', 2, false, Ap, [], Bp, 500, 1e-8, 2, [], blk, 1, 1);
  c = add (c, 'dirsolve_duo', 1, false, Ap, [], Bp, 500, 1e-8, 1, [], blk, 0, 0);
  c = add (c, 'dirsolve_duo', 2, false, Ap, [], [1 70], 500, 1e-8, 2, [70; 1], blk, 0, 1);
  c = add (c, 'dirsolve_duo', 2, true, Ap, [], Bp, 500, 1e-8, 2, [], double (blk), 1, 1);

  % cdsweep with U, and with the direction so far as a sparse D.
  Theta = full (gallery ('tridiag', 5, -1, 3, -1));
  W = inv (Theta);
  Gw = W + 0.1 * eye (5) - W;
  index = [2 4]; ei = [2 4 4]; ej = [2 2 4];
  k = sub2ind ([5 5], ei, ej);
  c = add (c, 'cdsweep', 2, false, W(:, index), index, zeros (5, 2), ei, ej, Gw(k), Theta(k), [], 0.05, 10);
  Dd = sparse ([3 5], [1 3], [0.2 -0.1], 5, 5);
  c = add (c, 'cdsweep', 2, false, W(:, index), index, Dd, ei, ej, Gw(k), Theta(k), [], 0.05, 10, 2);
  c = add (c, 'cdsweep', 2, true, W(:, index), index, Dd', ei, ej, Gw(k), Theta(k), [], 0.05, 10);
  c = add (c, 'cdsweep', 2, true, W(:, index), [2 2], zeros (5, 2), ei, ej, Gw(k), Theta(k), [], 0.05, 10);

  % The driver over the modules, on a small chain model.
  Tc = spdiags ([-0.4 * ones(12, 1) ones(12, 1) -0.4 * ones(12, 1)], -1:1, 12, 12);
  Xd = randn (2000, 12) / chol (Tc)';
  Xd = Xd - mean (Xd);
  c = add (c, 'sparseprec', 2, false, Xd, 0.05, struct ('blockSize', 5));
  cases = c;
end

function c = add (c, fn, nout, reject, varargin)
  c(end + 1) = struct ('fn', fn, 'nout', nout, 'reject', reject, 'args', {varargin});
end
