1;
% dirsolve from Octave: every mode against A\B, rejections, untouched inputs.

function A = laplace_shifted (g, shift)
  e = ones (g, 1);
  T = spdiags ([-e 2*e -e], -1:1, g, g);
  A = kron (speye (g), T) + kron (T, speye (g)) + shift * speye (g * g);
end

A = laplace_shifted (12, 0.05);
n = rows (A);
Au = triu (A);
L = ichol (A);
U = L';
rand ('seed', 1);
B = rand (n, 5) - 0.5;
ref = A \ B;
tol = 1e-12;

% Every preconditioner choice solves the system.
X = dirsolve (Au, [], B, 500, tol, [], [], 2, []);
assert (X, ref, 1e-9);
XL = dirsolve (Au, [], B, 500, tol, L, [], 2, []);
assert (XL, ref, 1e-9);
XLU = dirsolve (Au, [], B, 500, tol, L, U, 2, []);
assert (XLU, ref, 1e-9);
% U without L is plain conjugate gradients.
expect_bits (dirsolve (Au, [], B, 500, tol, [], U, 2, []), X, 'U without L');

% Canonical indices are unit right-hand sides; 3.7 names row 3.
I = eye (n);
Xc = dirsolve (Au, [], [3.7 1 n], 500, tol, L, U, 2, []);
expect_bits (Xc, dirsolve (Au, [], I(:, [3 1 n]), 500, tol, L, U, 2, []), 'canonical');
% Row subsets repeat and reorder rows; a row vector and a column vector agree.
Xs = dirsolve (Au, [], B, 500, tol, L, U, 2, [5 2 5]);
expect_bits (Xs, XLU([5 2 5], :), 'rowSubset');
expect_bits (dirsolve (Au, [], B, 500, tol, L, U, 2, [5; 2; 5]), Xs, 'rowSubset column');
% A row subset with rows but no elements is absent; no canonical indices, no columns.
expect_bits (dirsolve (Au, [], B, 500, tol, L, U, 2, zeros (3, 0)), XLU, '3 x 0 rowSubset');
expect_bits (dirsolve (Au, [], zeros (1, 0), 500, tol, L, U, 2, []), zeros (n, 0), '1 x 0 B');
% A starting point adds to the estimate.
X0 = rand (n, 5);
assert (dirsolve (Au, X0, B, 500, tol, L, U, 2, []), X0 + XLU, 1e-9);
assert (dirsolve (Au, X0, B, 500, tol, L, U, 2, [4 1]), X0([4 1], :) + XLU([4 1], :), 1e-9);
% No pass: maxIter below 1 in magnitude, or a negligible right-hand side.
expect_bits (dirsolve (Au, X0, B, 0.9, tol, L, U, 2, []), X0, 'maxIter 0');
Bz = B; Bz(:, 2) = 0;
Xz = dirsolve (Au, X0, Bz, 500, tol, L, U, 2, []);
expect_bits (Xz(:, 2), X0(:, 2), 'zero right-hand side');
% tol 0 runs exactly maxIter passes: 3 passes equal 3 passes of any thread count.
X3 = dirsolve (Au, [], B, 3, 0, L, U, 1, []);
assert (norm (X3 - XLU, 'fro') > 1e-6);

% The same bits for any thread count, including absurd requests.
for T = [1 2 7 1e6 0 -3 0.9 2.9]
  expect_bits (dirsolve (Au, [], B, 500, tol, L, U, T, []), XLU, sprintf ('threads %g', T));
  expect_bits (dirsolve (Au, [], B, 500, tol, [], [], T, []), X, sprintf ('plain threads %g', T));
end

% Columns solved together match columns solved one by one, bit for bit.
for j = 1:columns (B)
  expect_bits (dirsolve (Au, [], B(:, j), 500, tol, L, U, 2, []), XLU(:, j), 'column alone, L and U');
  expect_bits (dirsolve (Au, [], B(:, j), 500, tol, L, [], 2, []), XL(:, j), 'column alone, L');
  expect_bits (dirsolve (Au, [], B(:, j), 500, tol, [], [], 2, []), X(:, j), 'column alone');
end
% The same in panels of 16 lanes and their tail (37 = 16 + 16 + 4 + 1),
% with lanes stopping early among them, on 1 to 3 threads.
B37 = rand (n, 37) - 0.5; B37(:, 5) = 0; B37(:, 18) = 1e-10;
Xc = dirsolve (Au, [], B37, 500, tol, L, U, 1, []);
[X37, info] = dirsolve (Au, [], B37, 500, tol, L, U, 3, []);
expect_bits (X37, Xc, 'panels on 3 threads');
for j = [1 5 16 17 18 33 36 37]
  [xj, infoj] = dirsolve (Au, [], B37(:, j), 500, tol, L, U, 2, []);
  expect_bits (X37(:, j), xj, sprintf ('panel column %d alone', j));
  assert ([info.passes(j) info.relres(j)], [infoj.passes infoj.relres]);
end

% The second output: per column the passes made and the iteration's own
% ||r|| / ||b||, which for converged columns is the true relative residual.
truerel = @(X, B) sqrt (sum ((B - A * X) .^ 2)) ./ sqrt (sum (B .^ 2));
[Xi, info] = dirsolve (Au, [], B, 500, tol, L, U, 2, []);
expect_bits (Xi, XLU, 'X beside info');
assert (isstruct (info) && isequal (size (info), [1 1]));
assert (fieldnames (info), {'passes'; 'relres'});
assert (size (info.passes), [1 5]);
assert (all (info.passes == info.passes(1)) && info.passes(1) > 5);
assert (all (info.relres < tol));
assert (info.relres, truerel (Xi, B), 1e-15);
[Xi, info] = dirsolve (Au, [], B, 500, tol, [], [], 1, [7 2]);
expect_bits (Xi, X([7 2], :), 'rows beside info');
assert (info.relres, truerel (X, B), 1e-15);
% Capped passes: the residual of the capped iterate.
[X3, info] = dirsolve (Au, [], B, 3, 0, L, U, 2, []);
assert (info.passes, 3 * ones (1, 5));
assert (info.relres, truerel (X3, B), -1e-10);
% Edges: b = 0 gives passes 0 and relres 0; a column never iterated (below
% the absolute level, or maxIter 0) keeps r = b, relres 1; a failing first
% step too.
Bt = B; Bt(:, 2) = 0; Bt(:, 4) = 1e-10;
[~, info] = dirsolve (Au, X0, Bt, 500, tol, L, U, 2, []);
assert (info.passes([2 4]), [0 0]);
assert (info.relres([2 4]), [0 1]);
[~, info] = dirsolve (Au, [], Bt, 0.9, tol, L, U, 2, []);
assert (info.passes, zeros (1, 5));
assert (info.relres, [1 0 1 1 1]);
[~, info] = dirsolve (speye (3) * 1e-320, [], ones (3, 1), 50, 1e-10, [], [], 1, []);
assert ([info.passes info.relres], [0 1]);
[~, info] = dirsolve (Au, [], zeros (n, 0), 10, tol, L, U, 2, []);
assert (size (info.passes), [1 0]);
assert (size (info.relres), [1 0]);
% A rejected call makes neither output.
try
  evalc ('[o1, o2] = dirsolve (Au, X0(:, 1:2), [1 2], 10, tol, L, U, 2, []);');
  error ('a rejected call with two outputs returned');
catch err
  assert (isempty (strfind (err.message, 'returned')));
end

% Inputs are never written, the factors above all (their data is compared
% bit for bit against copies taken before the calls).
Lv = nonzeros (L) + 0; Uv = nonzeros (U) + 0; Av = nonzeros (Au) + 0; X0c = X0 + 0;
dirsolve (Au, X0, B, 500, tol, L, U, 2, []);
dirsolve (Au, [], [1 2], 500, tol, L, [], 2, [3]);
expect_bits (nonzeros (L), Lv, 'L unchanged');
expect_bits (nonzeros (U), Uv, 'U unchanged');
expect_bits (nonzeros (Au), Av, 'A unchanged');
expect_bits (X0, X0c, 'x_in unchanged');

% A breakdown (zero curvature through an underflowing diagonal) keeps the
% last finite iterate instead of running into Inf or NaN.
Xb = dirsolve (speye (3) * 1e-320, [], ones (3, 1), 50, 1e-10, [], [], 1, []);
assert (all (isfinite (Xb)));

% Empty blocks.
assert (size (dirsolve (Au, [], zeros (n, 0), 10, tol, L, U, 2, [])), [n 0]);
assert (size (dirsolve (Au, [], B, 10, tol, L, U, 2, zeros (1, 0))), [n 5]);

% Rejections: one line, no output.
P = 'ERROR: dirsolve: ';
expect_reject ("ERROR: canonical + x_in not implemented\n", @dirsolve, Au, X0(:, 1:2), [1 2], 10, tol, L, U, 2, []);
expect_reject ([P "expected 9 arguments, found 8\n"], @dirsolve, Au, [], B, 10, tol, L, U, 2);
expect_reject ([P "argument 1 (A): expected a sparse real double array, found double\n"], @dirsolve, full (Au), [], B, 10, tol, L, U, 2, []);
expect_reject ([P "argument 1 (A): expected a sparse real double array, found sparse complex double\n"], @dirsolve, Au * 1i, [], B, 10, tol, L, U, 2, []);
expect_reject ([P sprintf("argument 1 (A): expected %d x %d, found %d x %d\n", n+1, n+1, n, n+1)], @dirsolve, [Au sparse(n, 1)], [], B, 10, tol, L, U, 2, []);
expect_reject ([P "argument 1 (A): column 1 stores row 13 where its diagonal must be (last entry)\n"], @dirsolve, A, [], B, 10, tol, L, U, 2, []);
expect_reject ([P sprintf("argument 3 (B): expected %d x 5, found %d x 5\n", n, n-1)], @dirsolve, Au, [], B(1:end-1, :), 10, tol, L, U, 2, []);
expect_reject ([P "argument 3 (B): expected a full real double array, found single\n"], @dirsolve, Au, [], single (B), 10, tol, L, U, 2, []);
expect_reject ([P sprintf("argument 2 (x_in): expected %d x 5, found %d x 4\n", n, n)], @dirsolve, Au, X0(:, 1:4), B, 10, tol, L, U, 2, []);
expect_reject ([P "argument 6 (L): column 2 stores row 1 where its diagonal must be (first entry)\n"], @dirsolve, Au, [], B, 10, tol, U, [], 2, []);
expect_reject ([P "argument 7 (U): column 1 stores row 13 where its diagonal must be (last entry)\n"], @dirsolve, Au, [], B, 10, tol, L, L, 2, []);
expect_reject ([P sprintf("argument 3 (B): element 2 is %d, outside 1..%d\n", n+1, n)], @dirsolve, Au, [], [1 n+1], 10, tol, L, U, 2, []);
expect_reject ([P sprintf("argument 3 (B): element 1 is NaN, outside 1..%d\n", n)], @dirsolve, Au, [], [NaN 1], 10, tol, L, U, 2, []);
expect_reject ([P sprintf("argument 9 (rowSubset): element 3 is 0.5, outside 1..%d\n", n)], @dirsolve, Au, [], B, 10, tol, L, U, 2, [1 2 0.5]);
expect_reject ([P "argument 4 (maxIter): expected a real number, found an empty array\n"], @dirsolve, Au, [], B, [], tol, L, U, 2, []);
expect_reject ([P "argument 5 (tol): expected a real number, found char\n"], @dirsolve, Au, [], B, 10, 'a', L, U, 2, []);
expect_reject ([P "argument 8 (numThreads): expected a real number, found cell\n"], @dirsolve, Au, [], B, 10, tol, L, U, {2}, []);
% A factor with a zero-free but missing diagonal column is named.
Lbad = L; Lbad(:, 4) = 0;
expect_reject ([P "argument 6 (L): column 4 stores no diagonal entry\n"], @dirsolve, Au, [], B, 10, tol, Lbad, [], 2, []);
disp ('dirsolve: all host tests passed');
