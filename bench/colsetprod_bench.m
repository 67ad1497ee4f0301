% colsetprod against Octave's A*X, the sparse A built beforehand.
1;


rand ('seed', 7);
n = 1e5; K = 2000; N = 64; per = 100;
b = sort (randperm (n, K))';
mask = zeros (n, 1); mask(b) = 1;
% Ordinary rows of each block column, and a symmetric block among block rows.
ri = floor (rand (K * per, 1) * n) + 1;
ci = repmat (1:K, per, 1)(:);
keep = ! mask(ri);
ri = ri(keep); ci = ci(keep);
[bi, bj] = find (triu (sprand (K, K, 2 / K)) + speye (K));
ri = [ri; b(bi); b(bj(bi != bj))];
ci = [ci; bj; bi(bi != bj)];
S = sparse (ri, ci, 1, n, K);
S = spfun (@(x) rand (size (x)) - 0.5, S);
S(b, :) = (S(b, :) + S(b, :)') / 2;
[i, j, v] = find (S);
pos = sub2ind ([n K], i, j);
o = ! mask(i);
A = sparse ([i; b(j(o))], [b(j); i(o)], [v; v(o)], n, n);
X = rand (n, N);

t_mex = best_time (@() colsetprod (v, X, pos, b, mask));
t_oct = best_time (@() A * X);
t_empty = best_time (@() colsetprod (zeros (0, 1), X, zeros (0, 1), b, mask));
err = norm (colsetprod (v, X, pos, b, mask) - A * X, 'fro') / norm (A * X, 'fro');
printf ('colsetprod  n %d, %d block columns, %d entries, X %d x %d: %7.2f ms; A*X %7.2f ms; speed-up %.2f (rel. diff %.1e)\n', ...
        n, K, numel (v), n, N, 1e3 * t_mex, 1e3 * t_oct, t_oct / t_mex, err);
printf ('  of which the host''s output handling (empty list): %.2f ms\n', 1e3 * t_empty);
printf ('membw: %.1f GB/s\n', membw (256));
