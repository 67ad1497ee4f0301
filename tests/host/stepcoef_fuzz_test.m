1;
% stepcoef on malformed input (see fuzz_campaign).

% A list given as a matrix is read along its longer side.
function complaint = plausible (outs, args)
  complaint = '';
  c = listed (args{5}) + listed (args{6});
  want = {[1 1], [1 1], [c 1], [c 1]};
  for o = 1:numel (outs)
    if (! isequal (size (outs{o}), want{o}))
      complaint = sprintf ('made output %d of size %s, expected %s', o, ...
                           mat2str (size (outs{o})), mat2str (want{o}));
      return;
    end
  end
end

function c = listed (list)
  c = 0;
  if (! isempty (list))
    c = max (size (list));
  end
end

X = [1 2 0; 2 -1 3; 0 3 0.5]; V = [0 1 -1; 1 2 0.5; -1 0.5 1];
H = [2 0 1; 0 1 0; 1 0 3]; G = [0.5 -1 0; -1 0 2; 0 2 -0.5];
bases = {{X, V, H, G, [4; 7; 8], [1; 5; 9]}, ...
         {X(:)', V(:)', H(:)', G(:)', [2 3], []}};
opts = struct ('seed', 6, 'nout', 4, 'pairs', 60, 'check', @plausible);
fuzz_campaign ('stepcoef', bases, {'array', 'array', 'array', 'array', 'list', 'list'}, opts);
