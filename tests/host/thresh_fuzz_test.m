1;
% thresh on malformed input (see fuzz_campaign).

function complaint = plausible (outs, args)
  complaint = '';
  if (! isequal (size (outs{1}), size (args{2})))
    complaint = sprintf ('made a %s output for a %s X', mat2str (size (outs{1})), ...
                         mat2str (size (args{2})));
  end
end

X = [1 -2 0.5 0; 3 0.1 -1 2; 0 1 -0.25 4];
G = [0.5 1 -1 0; 0 2 1 -1; 1 0 0.5 3];
D = [1 0.5 2 1; 1 1 0 0.5; 2 1 1 1];
bases = {{0.5, X, 0.1, G, D, [1 2 5 12]}, ...
         {0.2, X, 0, G(:), 2 * D(:), (1:12)'}};
opts = struct ('seed', 7, 'nout', 1, 'pairs', 60, 'check', @plausible);
fuzz_campaign ('thresh', bases, {'scalar', 'array', 'scalar', 'array', 'array', 'list'}, opts);
