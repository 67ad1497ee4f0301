1;
% entryprod on malformed input (see fuzz_campaign). L is a size: huge
% values come only with a B of no columns, so the output stays empty.

function complaint = plausible (outs, args)
  complaint = '';
  want = [fuzz_trunc32(args{8}), columns(args{2})];
  if (! isequal (size (outs{1}), want))
    complaint = sprintf ('made a %s output, expected %s', mat2str (size (outs{1})), mat2str (want));
  end
end

A1 = [1 -2 0 3 1 0.5 -1 2; 0 1 4 -1 2 1 0 -3; 2 0 1 1 -2 0 3 1; -1 3 0 2 1 -1 0.5 0; 1 1 -1 0 0 2 1 1];
B = [1 0 -1 2; 0.5 2 1 0; -2 1 0 1; 0 -1 3 1; 1 1 1 -0.5];
G = A1(:, 1:3);
% Both passes: rows 1 and 2 stand for block columns 2 and 3, the column
% map sends each back to its row.
[r, j] = ndgrid (1:2, [2 3]);
both = {A1, B, A1(:, 1:4), [1; 8; 16], [3 1 8 2], sub2ind([4 4], r(:), j(:)), [2 3 1 1], 4, [1 1 2 1]};
bases = {{A1, B, [], [1; 5; 12], [3 1 8], [], [], 3, []}, ...
         {G, G, G, [], [], [1; 2; 3; 5; 6; 9], 1:3, 3, 1:3}, ...
         both, ...
         {A1, zeros(5, 0), [], zeros(0, 1), [], [], [], 2^31, []}};
kinds = {'array', 'array', 'array', 'list', 'list', 'list', 'list', 'size', 'list'};
opts = struct ('seed', 12, 'nout', 1, 'pairs', 60, 'check', @plausible, ...
               'skip', @(a) numel (a) >= 8 && isnumeric (a{8}) && ! isempty (a{8}) ...
                            && fuzz_trunc32 (a{8}) > 1000 && columns (a{2}) > 0);
opts.fixed = {"Error: Input matrices should have the number of rows\n"};
fuzz_campaign ('entryprod', bases, kinds, opts);
