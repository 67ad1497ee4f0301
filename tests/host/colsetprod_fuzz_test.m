1;
% colsetprod on malformed input (see fuzz_campaign).

function complaint = plausible (outs, args)
  complaint = '';
  want = size (args{2});
  if (! isequal (size (outs{1}), want))
    complaint = sprintf ('made a %s output, expected %s', mat2str (size (outs{1})), mat2str (want));
  end
end

n = 6; b = [2 5];
Sb = zeros (n, 2); Sb([1 2 5], 1) = [1 4 3]; Sb([2 4 5], 2) = [3 -2 7];
[i, j, v] = find (sparse (Sb));
pos = sub2ind ([n 2], i, j);
mask = zeros (n, 1); mask(b) = 1;
X = [1 0 -1; 2 1 0; 0.5 -2 1; 0 3 1; -1 1 2; 1 0.25 0];
bases = {{v, X, pos, b, mask}, ...
         {v(4:end), X(:, 1), pos(4:end), b, 2.5 * mask'}, ...  % column 1 empty
         {[], X, zeros(0, 1), b, mask}};
opts = struct ('seed', 13, 'nout', 1, 'pairs', 60, 'check', @plausible);
fuzz_campaign ('colsetprod', bases, {'array', 'array', 'list', 'list', 'list'}, opts);
