1;
% stepmin on malformed input (see fuzz_campaign).

function complaint = plausible (outs, args)
  complaint = '';
  if (! all (cellfun (@(x) isequal (size (x), [1 1]), outs)))
    complaint = 'made an output that is not 1 x 1';
  end
end

x = [0.5 -1 2 0.25]; v = [-1 0.5 -3 1];
bases = {{x, v, 1, -0.3, 0.25, -1, 2, 0.7}, ...
         {x, v, 1, -0.3, 0, -1, 2, 0.7, [4 1 1 3]}, ...
         {reshape([x 1 -2], 2, 3), reshape([v 2 0], 2, 3), 2, 0.5, 0, 0, 1, 0.1, [1; 6]}};
kinds = {'array', 'array', 'scalar', 'scalar', 'scalar', 'scalar', 'scalar', 'scalar', 'list'};
opts = struct ('seed', 5, 'nout', 2, 'pairs', 60, 'check', @plausible);
opts.fixed = {"error: x and v are not from the same size! Aborting!\n"};
fuzz_campaign ('stepmin', bases, kinds, opts);
