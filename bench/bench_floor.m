function [t, note, tz] = bench_floor (bytes, flops, out_rows, out_cols)
  % [T, NOTE, TZ] = bench_floor (BYTES, FLOPS, OUT_ROWS, OUT_COLS): the least
  % time a module can take on a workload: BYTES that must move at the
  % measured memory bandwidth, plus FLOPS at the measured dgemm rate (both
  % the best measured so far in the process, see bench_rates), plus
  % creating its OUT_ROWS x OUT_COLS output, measured as zeros() of that
  % size (omit or pass 0 when there is none). For several outputs pass one
  % size per output: each is timed on its own, since glibc serves sizes
  % below and above 32 MiB differently. Count in BYTES what the output's
  % zero fill does not already write. NOTE says what the floor holds, TZ
  % is the share of the outputs' creation.
  [bw, gf] = bench_rates (true);
  if (nargin < 3)
    out_rows = 0; out_cols = 0;
  end
  tz = 0;
  for k = 1:numel (out_rows)
    if (out_rows(k) * out_cols(k) > 0)
      r = out_rows(k); c = out_cols(k);
      tz = tz + best_time (@() zeros (r, c), 5);
    end
  end
  t = bytes / bw + flops / gf + tz;
  note = sprintf ('%.0f MB at %.1f GB/s', bytes / 1e6, bw / 1e9);
  if (flops > 0)
    note = [note sprintf(' + %.2g flop at %.0f GF/s', flops, gf / 1e9)];
  end
  if (tz > 0)
    note = [note sprintf(' + zeros %.1f ms', 1e3 * tz)];
  end
end
