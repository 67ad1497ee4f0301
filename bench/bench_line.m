function bench_line (module, workload, t_ours, peer, t_peer, t_floor, floor_note)
  % bench_line (MODULE, WORKLOAD, T_OURS, PEER, T_PEER, T_FLOOR, FLOOR_NOTE)
  % prints one comparison in the one format every benchmark uses: our time,
  % the alternative's (what an Octave user would write instead), the ratio,
  % the floor on this workload and how far we are from it. Times in
  % seconds; pass [] for a peer or a floor that does not apply.
  %   module | workload | ours ms | peer ms | speed-up | floor ms (what) | ours/floor
  if (isempty (t_peer))
    vs = sprintf ('%-30s %10s | %7s', '-', '', '');
  else
    vs = sprintf ('%-30s %10.2f | %6.2fx', peer, 1e3 * t_peer, t_peer / t_ours);
  end
  if (isempty (t_floor))
    fl = sprintf ('%10s %-40s | %6s', '', '(no floor)', '');
  else
    fl = sprintf ('%10.2f %-40s | %5.2fx', 1e3 * t_floor, ['(' floor_note ')'], t_ours / t_floor);
  end
  printf ('%-12s | %-46s | %10.2f | %s | floor %s\n', module, workload, 1e3 * t_ours, vs, fl);
end
