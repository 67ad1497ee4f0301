% colrunprod against Octave's S'*C, S built by sparse() beforehand.
1;


rand ('seed', 6);
M = 1e5; L = 2000; N = 64; count = 2e5;
pos = unique (floor (rand (count * 1.05, 1) * M * L) + 1);
pos = pos(randperm (numel (pos), count));
pos = sort (pos);
v = rand (count, 1) - 0.5;
[i, j] = ind2sub ([M L], pos);
S = sparse (i, j, v, M, L);
C = rand (M, N);

t_mex = best_time (@() colrunprod (v, pos, L, C));
t_oct = best_time (@() S' * C);
err = norm (colrunprod (v, pos, L, C) - S' * C, 'fro') / norm (S' * C, 'fro');
printf ('colrunprod  %d x %d, %d entries, C %d x %d: %7.2f ms; S''*C %7.2f ms; speed-up %.2f (rel. diff %.1e)\n', ...
        M, L, count, M, N, 1e3 * t_mex, 1e3 * t_oct, t_oct / t_mex, err);
printf ('membw: %.1f GB/s\n', membw (256));
