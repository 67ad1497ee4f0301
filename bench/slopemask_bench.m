1;
% slopemask on a 200 x 50,000 X with a block of K = 256 columns, lambda set
% so that about 1% of the entries are free, beside the bare X'*Q it contains
% and beside the Octave route. Best of several runs: the machine is shared.


M = 200; N = 50000; K = 256; reps = 7;
randn ('seed', 11); rand ('seed', 11);
X = randn (M, N);
Q = randn (M, K);
R = randn (N, K);
pattern = sprand (N, K, 0.002) > 0;
colIndex = 1:K;
D = X' * Q - R;
lambda = quantile (abs (D(:)), 0.99);
clear D;

[pos, D, P] = slopemask (X, Q, pattern, R, lambda, colIndex, 1, 1);
printf ('slopemask %d x %d, K = %d: %d free entries (%.2f%%)\n', M, N, K, numel (pos), ...
        100 * numel (pos) / (N * K));

t_mod = best_time (@() slopemask (X, Q, pattern, R, lambda, colIndex, 1.1 * numel (pos), 1), reps);
t_grow = best_time (@() slopemask (X, Q, pattern, R, lambda, colIndex, 1, 1), reps);
t_low = best_time (@() slopemask (X, Q, pattern, R, lambda, colIndex, 1.1 * numel (pos), 0), reps);
t_gemm = best_time (@() X' * Q, reps);
t_oct = best_time (@() find (abs (X' * Q - R) > lambda | pattern), reps);

printf ('  memory bandwidth (membw):                 %6.1f GB/s\n', membw (768));
printf ('  bare X''*Q:                               %8.1f ms\n', 1e3 * t_gemm);
printf ('  slopemask, whole columns:                 %8.1f ms  (%.2f x bare product)\n', ...
        1e3 * t_mod, t_mod / t_gemm);
printf ('  slopemask, whole columns, capacity 1:     %8.1f ms  (%.2f x bare product)\n', ...
        1e3 * t_grow, t_grow / t_gemm);
printf ('  slopemask, on and below the diagonal:     %8.1f ms  (%.2f x bare product)\n', ...
        1e3 * t_low, t_low / t_gemm);
printf ('  Octave: D = X''*Q - R; find(abs(D) > lambda | pattern):\n');
printf ('                                            %8.1f ms  (slopemask %.2f x faster)\n', ...
        1e3 * t_oct, t_oct / t_mod);
