function complaint = fuzz_list_sizes (outs, most)
  % fuzz_list_sizes (OUTS, MOST) is '' when OUTS are columns of one length,
  % at most MOST: the result lists of slopemask and gramprod.
  complaint = '';
  n = rows (outs{1});
  for o = 1:numel (outs)
    if (! isequal (size (outs{o}), [n 1]) || n > most)
      complaint = sprintf ('made outputs of sizes %s, expected n x 1 with n <= %d', ...
                           strjoin (cellfun (@(x) mat2str (size (x)), outs, 'UniformOutput', false), ', '), most);
      return;
    end
  end
end
