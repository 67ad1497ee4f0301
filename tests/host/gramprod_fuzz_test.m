1;
% gramprod on malformed input (see fuzz_campaign). A negative tau lists all
% N(N+1)/2 pairs: skipped for the wide X, which has 0 rows and so must come
% back at once with no entries for any other tau.

function complaint = plausible (outs, args)
  N = columns (args{1});
  complaint = fuzz_list_sizes (outs, N * (N + 1) / 2);
  if (isempty (complaint) && rows (args{1}) == 0 && double (args{2}(1)) >= 0 && rows (outs{1}) > 0)
    complaint = sprintf ('listed %d entries of a zero product', rows (outs{1}));
  end
end

function skip = costly (args)
  skip = numel (args) >= 2 && columns (args{1}) > 100 && isnumeric (args{2}) ...
         && ! isempty (args{2}) && ! (double (args{2}(1)) >= 0);
end

X = [1 0 2 -1 0.5 3; 0 1 1 2 -2 0; -1 2 0 1 1 1; 2 0.5 -1 0 1 -2];
bases = {{X, 0.5, 1}, {X, -1, 2}, {zeros(0, 2100), 0.5, 1}};   % 2100: two column blocks
opts = struct ('seed', 4, 'nout', 3, 'pairs', 40, 'check', @plausible, 'skip', @costly);
opts.fixed = {"ERROR: Out of memory in gramsel\n"};
fuzz_campaign ('gramprod', bases, {'array', 'scalar', 'scalar'}, opts);
