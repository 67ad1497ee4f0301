1;
% dirsolve_duo on malformed input (see fuzz_campaign). maxIter is a size:
% with a tol no residual meets (NaN, 0) a huge one would iterate 2^31
% passes. Block numbers stay small or above the limit: a number b takes a
% (b + 1)^2 pair table.

function complaint = plausible (outs, args)
  complaint = fuzz_solver_sizes (outs, args{1}, args{3}, args{7});
end

A = gallery ('poisson', 3);                        % 9 x 9, both triangles
blk = uint64 ([0 0 0 1 1 1 2 2 2]');
B = [1 0; 0 2; -1 1; 0.5 0; 0 0; 3 -1; 0 1; 1 1; -2 0.25];
bases = {{A, [], B, 50, 1e-8, 2, [], blk, 1, 1}, ...
         {A, B / 2, B, 30, 1e-8, 1, [2 9], blk, 0, 1}, ...
         {A, [], [1 9], 40, 1e-8, 1, [], blk', 1, 0}};
kinds = {'sparse', 'array', 'array', 'size', 'scalar', 'scalar', 'list', 'blocks', ...
         'scalar', 'scalar'};
opts = struct ('seed', 2, 'nout', 2, 'pairs', 60, 'check', @plausible);
opts.fixed = {"ERROR: canonical + x_in not implemented\n"};
fuzz_campaign ('dirsolve_duo', bases, kinds, opts);
