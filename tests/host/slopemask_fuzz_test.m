1;
% slopemask on malformed input (see fuzz_campaign). capacity may be huge:
% the list never starts above N*K entries.

function complaint = plausible (outs, args)
  complaint = fuzz_list_sizes (outs, numel (args{4}));
end

X = [1 2 -1 0 3; 0.5 -2 1 1 0; 2 0 1 -3 1];        % M = 3, N = 5
Q = [1 0; -1 2; 0.5 1];                              % K = 2
R = [0 1; 1 -2; 10 0; 0.5 0.5; -1 3];
pattern = sparse ([1 4], [1 2], [1 1], 5, 2);
bases = {{X, Q, pattern, R, 0.5, [2 4], 4, 0}, ...
         {X, Q, pattern, R, 0.5, [2 4], 16, 1}, ...
         {X, Q, sparse(5, 2), R, 100, [1; 1], 1, 0}};
kinds = {'array', 'array', 'sparse', 'array', 'scalar', 'list', 'scalar', 'scalar'};
opts = struct ('seed', 3, 'nout', 3, 'pairs', 60, 'check', @plausible);
opts.fixed = {"ERROR: Out of memory in gramsel\n"};
fuzz_campaign ('slopemask', bases, kinds, opts);
