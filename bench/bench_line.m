function bench_line (module, workload, t_ours, peer, t_peer, t_floor, floor_note, target)
  % bench_line (MODULE, WORKLOAD, T_OURS, PEER, T_PEER, T_FLOOR, FLOOR_NOTE)
  % prints one comparison in the one format every benchmark uses: our time,
  % the alternative's (what an Octave user would write instead), the ratio,
  % the floor on this workload and how far we are from it. Times in
  % seconds; pass [] for a peer or a floor that does not apply.
  % bench_line (..., TARGET) adds whether the ratio reaches TARGET, the
  % speed-up over PEER asked of the module on this workload.
  %   module | workload | ours | peer time | ratio | floor | ours/floor | target | what the floor holds
  if (isempty (t_peer))
    vs = sprintf ('%-24s %11s | %7s', '-', '', '');
  else
    vs = sprintf ('%-24s %11s | %6.2fx', peer, duration (t_peer), t_peer / t_ours);
  end
  if (isempty (t_floor))
    fl = sprintf ('floor %11s | %8s', '-', '');
  else
    fl = sprintf ('floor %11s | %5.2fx fl', duration (t_floor), t_ours / t_floor);
  end
  if (nargin < 8 || isempty (target) || isempty (t_peer))
    tg = '';
  elseif (t_peer / t_ours >= target)
    tg = sprintf ('target >= %gx: met', target);
  else
    tg = sprintf ('target >= %gx: MISSED', target);
  end
  note = '';
  if (! isempty (t_floor) && ! isempty (floor_note))
    note = [' | ' floor_note];
  end
  line = sprintf ('%-12s | %-44s | %11s | %s | %s | %-21s%s', module, workload, ...
                  duration (t_ours), vs, fl, tg, note);
  printf ('%s\n', deblank (line));
end

function s = duration (t)
  % Milliseconds up to 10 s, then seconds: every figure keeps 3-4 digits.
  if (t < 10)
    s = sprintf ('%.2f ms', 1e3 * t);
  else
    s = sprintf ('%.2f s', t);
  end
end
