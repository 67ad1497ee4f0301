1;
% dirsolve on malformed input (see fuzz_campaign). maxIter is a size: with
% a tol no residual meets (NaN, 0) a huge one would iterate 2^31 passes.

function complaint = plausible (outs, args)
  complaint = fuzz_solver_sizes (outs, args{1}, args{3}, args{9});
end

A = gallery ('poisson', 3);                        % 9 x 9: 4 on the diagonal, -1 beside
Au = triu (A);
L = spdiags (2 * ones (9, 1), 0, 9, 9) + tril (A, -1) / 2;   % nonsingular, diagonal first
B = [1 0; 0 2; -1 1; 0.5 0; 0 0; 3 -1; 0 1; 1 1; -2 0.25];
bases = {{Au, [], B, 50, 1e-10, L, L', 2, []}, ...
         {Au, B / 2, B, 30, 1e-8, [], [], 1, [3 1 3]}, ...
         {Au, [], [2 5], 40, 1e-10, L, [], 1, (1:4)'}};
kinds = {'sparse', 'array', 'array', 'size', 'scalar', 'sparse', 'sparse', 'scalar', 'list'};
opts = struct ('seed', 1, 'nout', 2, 'pairs', 60, 'check', @plausible);
opts.fixed = {"ERROR: canonical + x_in not implemented\n"};
fuzz_campaign ('dirsolve', bases, kinds, opts);
