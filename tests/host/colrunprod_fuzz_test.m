1;
% colrunprod on malformed input (see fuzz_campaign). L is a size: huge
% values come only with a C of no columns, so the output stays empty.

function complaint = plausible (outs, args)
  complaint = '';
  want = [fuzz_trunc32(args{3}), columns(args{4})];
  if (! isequal (size (outs{1}), want))
    complaint = sprintf ('made a %s output, expected %s', mat2str (size (outs{1})), mat2str (want));
  end
end

S = sparse ([1 3 2 4 4], [1 1 3 4 5], [2 -1 4 0.5 3], 4, 5);
[i, j, v] = find (S);
C = [1 -2 0.5; 3 0 -1; -4 2 1; 0.25 1 -3];
bases = {{v, sub2ind(size (S), i, j), 5, C}, ...
         {[2; 3], [1.2; 7.5], 2.9, [C; C(1:2, :)]}, ...
         {[], zeros(0, 1), 3, C}, ...
         {v, sub2ind(size (S), i, j), 2^31, zeros(4, 0)}};
opts = struct ('seed', 11, 'nout', 1, 'pairs', 60, 'check', @plausible, ...
               'skip', @(a) numel (a) >= 4 && isnumeric (a{3}) && ! isempty (a{3}) ...
                            && fuzz_trunc32 (a{3}) > 1000 && columns (a{4}) > 0);
fuzz_campaign ('colrunprod', bases, {'array', 'list', 'size', 'array'}, opts);
