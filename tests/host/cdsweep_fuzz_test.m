1;
% cdsweep on malformed input (see fuzz_campaign). sweeps is a size: a huge
% one would run 2^31 passes over the list.

function complaint = plausible (outs, args)
  complaint = '';
  want = {[numel(args{4}) 1], [1 1]};
  for o = 1:numel (outs)
    if (! isequal (size (outs{o}), want{o}))
      complaint = sprintf ('made output %d of size %s, expected %s', o, ...
                           mat2str (size (outs{o})), mat2str (want{o}));
      return;
    end
  end
end

Theta = full (gallery ('tridiag', 5, -1, 3, -1));
W = inv (Theta);
index = [2 4];
ei = [2 4 4]; ej = [2 2 4];
k = sub2ind ([5 5], ei, ej);
G = W + 0.1 * eye (5) - W;
bases = {{W(:, index), index, zeros(5, 2), ei, ej, G(k), Theta(k), [], 0.05, 10}, ...
         {W(:, index), index', zeros(5, 2), ei', ej', G(k)', Theta(k)', [0.1; 0; -0.2], 0, 3, 2}};
kinds = {'array', 'list', 'array', 'list', 'list', 'array', 'array', 'array', 'scalar', ...
         'size', 'scalar'};
opts = struct ('seed', 8, 'nout', 2, 'pairs', 60, 'check', @plausible);
fuzz_campaign ('cdsweep', bases, kinds, opts);
