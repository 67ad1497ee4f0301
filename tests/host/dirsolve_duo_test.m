1;
% dirsolve_duo against Octave's own solves, in the caller's numbering, and
% every rejection line.

function A = grid_laplacian (gx, gy, shift)
  ex = ones (gx, 1); ey = ones (gy, 1);
  Tx = spdiags ([-ex 2*ex -ex], -1:1, gx, gx);
  Ty = spdiags ([-ey 2*ey -ey], -1:1, gy, gy);
  A = kron (speye (gy), Tx) + kron (Ty, speye (gx)) + shift * speye (gx * gy);
end

function check_close (got, want, rel, what)
  err = norm (got - want, 'fro') / norm (want, 'fro');
  if (! (err <= rel))
    error ('%s: relative error %g above %g', what, err, rel);
  end
end

rand ('seed', 3); randn ('seed', 3);
A = grid_laplacian (9, 8, 0.05);
n = rows (A);
blk = uint64 (floor (rand (n, 1) * 6));
B = 1e4 * randn (n, 3);
want = A \ B;

% Every variant against A\B, the same bits for 1 and 3 threads; whole and
% lower agree up to rounding.
X = cell (2, 2);
for wb = 0:1
  for pc = 0:1
    what = sprintf ('wholeBlocks %d, precondition %d', wb, pc);
    X{wb+1, pc+1} = dirsolve_duo (A, [], B, 1000, 1e-12, 1, [], blk, wb, pc);
    check_close (X{wb+1, pc+1}, want, 1e-9, what);
    expect_bits (dirsolve_duo (A, [], B, 1000, 1e-12, 3, [], blk, wb, pc), X{wb+1, pc+1}, what);
  end
end
check_close (X{1, 2}, X{2, 2}, 1e-12, 'lower and whole');
% Flags are truncated: 1.9 is 1, 0.5 is 0.
expect_bits (dirsolve_duo (A, [], B, 1000, 1e-12, 2.9, [], blk, 1.9, 0.5), X{2, 1}, 'trunc flags');

% Columns solved together in lockstep take the bits each gets alone: 21
% columns (panels of 16, 4 and 1 on one thread, of 8, 8, 4 and 1 on two),
% one of them negligible outside block 0, so that the sweeps skip its
% other blocks while its neighbours sweep them.
B21 = 1e4 * randn (n, 21);
B21(blk != 0, 6) = 1e-10;
for wb = 0:1
  for pc = 0:1
    X21 = dirsolve_duo (A, [], B21, 1000, 1e-10, 2, [], blk, wb, pc);
    for j = 1:21
      expect_bits (X21(:, j), dirsolve_duo (A, [], B21(:, j), 1000, 1e-10, 1, [], blk, wb, pc), ...
                   sprintf ('column %d alone, wholeBlocks %d, precondition %d', j, wb, pc));
    end
    expect_bits (dirsolve_duo (A, [], B21, 1000, 1e-10, 1, [], blk, wb, pc), X21, 'one thread');
  end
end

% Unused block numbers (blocks 2 and 4 empty) and one block of everything.
sparse_blk = blk;
sparse_blk(sparse_blk == 2) = 5; sparse_blk(sparse_blk == 4) = 7;
check_close (dirsolve_duo (A, [], B, 1000, 1e-12, 2, [], sparse_blk, 1, 1), want, 1e-9, 'empty blocks');
one = zeros (n, 1, 'uint64');
check_close (dirsolve_duo (A, [], B, 1000, 1e-12, 2, [], one, 0, 1), want, 1e-9, 'one block');

% Canonical indices and row subsets name the caller's variables.
E = zeros (n, 2); E(17, 1) = 1; E(40, 2) = 1;
XE = dirsolve_duo (A, [], E, 1000, 1e-10, 2, [], blk, 1, 0);
expect_bits (dirsolve_duo (A, [], [17.7 40], 1000, 1e-10, 2, [], blk, 1, 0), XE, 'canonical');
expect_bits (dirsolve_duo (A, [], [17 40], 1000, 1e-10, 2, [5; 2; 5], blk, 1, 0), ...
             XE([5 2 5], :), 'row subset');
check_close (XE, A \ E, 1e-8, 'unit right-hand sides');
expect_bits (dirsolve_duo (A, [], E, 1000, 1e-10, 2, zeros (3, 0), blk, 1, 0), XE, ...
             '3 x 0 rowSubset');
expect_bits (dirsolve_duo (A, [], zeros (1, 0), 1000, 1e-10, 2, [], blk, 1, 0), zeros (n, 0), ...
             '1 x 0 B');

% A starting point is added to the estimate; a negligible right-hand side
% returns the starting point itself.
x0 = randn (n, 3);
Bz = B; Bz(:, 2) = 1e-9;
Xs = dirsolve_duo (A, x0, Bz, 1000, 1e-12, 2, [], blk, 0, 1);
X0 = dirsolve_duo (A, [], Bz, 1000, 1e-12, 2, [], blk, 0, 1);
check_close (Xs(:, [1 3]), x0(:, [1 3]) + X0(:, [1 3]), 1e-12, 'x_in');
expect_bits (Xs(:, 2), x0(:, 2), 'negligible column');

% Blocks of one variable: the preconditioner is diagonal scaling, so one
% pass moves along D^-1 b.
singles = uint64 (0:n-1)';
x1 = dirsolve_duo (A, [], B(:, 1), 1, 0, 1, [], singles, 1, 1);
d = B(:, 1) ./ diag (A);
check_close (x1, d * ((d' * x1) / (d' * d)), 1e-13, 'diagonal scaling');

% Every block's residual below 1e-16: the first step would be 0/0; the
% iteration stops at its starting point instead of returning NaN.
for wb = 0:1
  tiny = dirsolve_duo (A, x0(:, 1), 0.9e-8 * ones (n, 1), 100, 0, 1, [], singles, wb, 1);
  expect_bits (tiny, x0(:, 1), 'negligible blocks');
end
% 2 I solved exactly in one pass, then a zero residual with tol 0.
D2 = 2 * speye (3);
expect_bits (dirsolve_duo (D2, [], [1; -3; 0.5], 50, 0, 1, [], uint64 ([0; 1; 2]), 1, 1), ...
             [0.5; -1.5; 0.25], 'exact then zero residual');

% The second output: passes per column and the iteration's own
% ||r|| / ||b||, the true relative residual once converged.
truerel = @(X, B) sqrt (sum ((B - A * X) .^ 2)) ./ sqrt (sum (B .^ 2));
Bi = B; Bi(:, 2) = 0;
for wb = 0:1
  for pc = 0:1
    what = sprintf ('info, wholeBlocks %d, precondition %d', wb, pc);
    [Xi, info] = dirsolve_duo (A, [], Bi, 1000, 1e-10, 2, [], blk, wb, pc);
    expect_bits (Xi, dirsolve_duo (A, [], Bi, 1000, 1e-10, 2, [], blk, wb, pc), what);
    assert (fieldnames (info), {'passes'; 'relres'});
    assert (info.passes(2), 0);
    assert (info.relres(2), 0);
    assert (all (info.passes([1 3]) > 1));
    assert (all (info.relres([1 3]) < 1e-10));
    assert (info.relres([1 3]), truerel (Xi(:, [1 3]), Bi(:, [1 3])), 1e-15);
    [X4, info] = dirsolve_duo (A, [], Bi, 4, 0, 2, [], blk, wb, pc);
    assert (info.passes, [4 0 4]);
    assert (info.relres([1 3]), truerel (X4(:, [1 3]), Bi(:, [1 3])), -1e-10);
  end
end
% With the preconditioner, a column whose every block falls below the
% absolute level stops there; relres is still that of its last residual.
[Xs, info] = dirsolve_duo (A, [], 1e-3 * B(:, 1), 1000, 1e-12, 2, [], blk, 1, 1);
assert (info.relres, truerel (Xs, 1e-3 * B(:, 1)), 1e-12);
assert (info.relres > 1e-12);
[~, info] = dirsolve_duo (A, [], [3 9], 0, 1e-10, 2, [1 2], blk, 1, 1);
assert ([info.passes info.relres], [0 0 1 1]);

% The caller's arrays are not written.
A0 = A; B0 = B; blk0 = blk; x00 = x0;
dirsolve_duo (A, x0, B, 10, 1e-6, 2, [3 1], blk, 1, 1);
expect_bits (A, A0, 'A'); expect_bits (B, B0, 'B');
expect_bits (blk, blk0, 'blockIndex'); expect_bits (x0, x00, 'x_in');

% Rejections: one line each, no output.
S = grid_laplacian (3, 2, 0.1);
b6 = uint64 ([0 1 0 1 0 1]);
f = @dirsolve_duo;
pre = 'ERROR: dirsolve_duo: ';
expect_reject (sprintf ('%sexpected 10 arguments, found 9\n', pre), ...
               f, S, [], ones(6, 1), 10, 1e-6, 1, [], b6, 1);
expect_reject (sprintf ('%sargument 1 (A): expected a sparse real double array, found double\n', pre), ...
               f, full (S), [], ones(6, 1), 10, 1e-6, 1, [], b6, 1, 1);
expect_reject (sprintf ('%sargument 1 (A): expected 5 x 5, found 6 x 5\n', pre), ...
               f, S(:, 1:5), [], ones(6, 1), 10, 1e-6, 1, [], b6(1:5), 1, 1);
Snd = S; Snd(2, 2) = 0;
expect_reject (sprintf ('%sargument 1 (A): column 2 stores no diagonal entry\n', pre), ...
               f, Snd, [], ones(6, 1), 10, 1e-6, 1, [], b6, 1, 1);
expect_reject (sprintf ('%sargument 3 (B): expected 6 x 2, found 5 x 2\n', pre), ...
               f, S, [], ones(5, 2), 10, 1e-6, 1, [], b6, 1, 1);
expect_reject ("ERROR: canonical + x_in not implemented\n", ...
               f, S, ones(6, 2), [1 2], 10, 1e-6, 1, [], b6, 1, 1);
expect_reject (sprintf ('%sargument 3 (B): element 2 is 7, outside 1..6\n', pre), ...
               f, S, [], [1 7], 10, 1e-6, 1, [], b6, 1, 1);
expect_reject (sprintf ('%sargument 2 (x_in): expected 6 x 2, found 6 x 1\n', pre), ...
               f, S, ones(6, 1), ones(6, 2), 10, 1e-6, 1, [], b6, 1, 1);
expect_reject (sprintf ('%sargument 7 (rowSubset): element 3 is 0, outside 1..6\n', pre), ...
               f, S, [], ones(6, 1), 10, 1e-6, 1, [1 2 0], b6, 1, 1);
expect_reject (sprintf ('%sargument 8 (blockIndex): expected a real uint64 array, found double\n', pre), ...
               f, S, [], ones(6, 1), 10, 1e-6, 1, [], double (b6), 1, 1);
expect_reject (sprintf ('%sargument 8 (blockIndex): expected a real uint64 array, found int64\n', pre), ...
               f, S, [], ones(6, 1), 10, 1e-6, 1, [], int64 (b6), 1, 1);
expect_reject (sprintf ('%sargument 8 (blockIndex): expected 6 elements, found 5\n', pre), ...
               f, S, [], ones(6, 1), 10, 1e-6, 1, [], b6(1:5), 1, 1);
big = b6; big(4) = intmax ('int32');
expect_reject (sprintf ('%sargument 8 (blockIndex): element 4 is 2147483647, block numbers must lie in 0..2147483646\n', pre), ...
               f, S, [], ones(6, 1), 10, 1e-6, 1, [], big, 1, 1);
% The pair table of 2147483647^2 + 1 counts cannot be allocated.
big(4) = intmax ('int32') - 1;
expect_reject (sprintf ('%sout of memory\n', pre), ...
               f, S, [], ones(6, 1), 10, 1e-6, 1, [], big, 1, 1);
expect_reject (sprintf ('%sargument 9 (wholeBlocks): expected 0 or 1, found 2\n', pre), ...
               f, S, [], ones(6, 1), 10, 1e-6, 1, [], b6, 2, 1);
expect_reject (sprintf ('%sargument 10 (precondition): expected 0 or 1, found -1\n', pre), ...
               f, S, [], ones(6, 1), 10, 1e-6, 1, [], b6, 1, -1);
expect_reject (sprintf ('%sargument 10 (precondition): expected a real number, found an empty array\n', pre), ...
               f, S, [], ones(6, 1), 10, 1e-6, 1, [], b6, 1, []);
% A block of 65,537 variables does not fit 16-bit local indices.
I = speye (65537);
expect_reject (sprintf ('%sargument 8 (blockIndex): block 1 holds 65537 variables, at most 65536 supported\n', pre), ...
               f, I, [], 1, 1, 1e-6, 1, [], ones (65537, 1, 'uint64'), 1, 0);
x = dirsolve_duo (I, [], 1, 1, 1e-6, 1, [], [0; ones(65536, 1, 'uint64')], 1, 0);
e1 = zeros (65537, 1); e1(1) = 1;
expect_bits (x, e1, 'blocks of 65536 variables');
