% A short tour: solve a sparse SPD system with dirsolve, with and without an
% incomplete-Cholesky factor, beside Octave's own pcg.
g = 200;                                   % 40,000 unknowns
e = ones (g, 1);
T = spdiags ([-e 2*e -e], -1:1, g, g);
A = kron (speye (g), T) + kron (T, speye (g)) + 1e-2 * speye (g * g);
n = size (A, 1);
k = 8;
B = rand (n, k);
tol = 1e-8;
maxit = 2000;
L = ichol (A);

fprintf ('A: %d x %d 2-D Laplacian plus 0.01*I, %d nonzeros; %d right-hand sides, tol %g\n\n', ...
        n, n, nnz (A), k, tol);
fprintf ('%-36s %10s %14s\n', 'method', 'time [s]', 'max residual');

tic; X = dirsolve (triu (A), [], B, maxit, tol, [], [], 2, []); t = toc;
fprintf ('%-36s %10.3f %14.2e\n', 'dirsolve, no factor', t, max (sqrt (sum ((A*X - B).^2)) ./ sqrt (sum (B.^2))));

tic; X = dirsolve (triu (A), [], B, maxit, tol, L, L', 2, []); t = toc;
fprintf ('%-36s %10.3f %14.2e\n', 'dirsolve, L = ichol(A), U = L''', t, max (sqrt (sum ((A*X - B).^2)) ./ sqrt (sum (B.^2))));

tic;
Y = zeros (n, k);
for j = 1:k
  [Y(:, j), ~] = pcg (A, B(:, j), tol, maxit, L, L');
end
t = toc;
fprintf ('%-36s %10.3f %14.2e\n', 'pcg column by column, same factor', t, max (sqrt (sum ((A*Y - B).^2)) ./ sqrt (sum (B.^2))));

% Canonical mode: columns 1 and 7 of inv(A), only rows 1..3 returned.
Z = dirsolve (triu (A), [], [1 7], maxit, 1e-12, L, L', 2, [1 2 3]);
Ainv = A \ full (sparse ([1 7], 1:2, 1, n, 2));
fprintf ('\ncanonical mode, rows 1..3 of inv(A)(:, [1 7]): max difference to A\\I %.1e\n', ...
        max (max (abs (Z - Ainv(1:3, :)))));
