function [t, note] = bench_floor (bytes, flops, out_rows, out_cols)
  % [T, NOTE] = bench_floor (BYTES, FLOPS, OUT_ROWS, OUT_COLS): the least
  % time a module can take on a workload: BYTES that must move at the
  % measured memory bandwidth, plus FLOPS at the measured dgemm rate, plus
  % creating its OUT_ROWS x OUT_COLS output, measured as zeros() of that
  % size (omit or pass 0 when there is none). Rates are measured once per
  % process; NOTE says what the floor holds.
  persistent bw gf
  if (isempty (bw))
    bw = membw (768) * 1e9;
    A = randn (2000); B = randn (2000);
    t0 = inf;
    for r = 1:3
      tic; C = A * B; t0 = min (t0, toc);
    end
    gf = 2 * 2000 ^ 3 / t0;
  end
  if (nargin < 3)
    out_rows = 0; out_cols = 0;
  end
  tz = 0;
  if (out_rows * out_cols > 0)
    tz = best_time (@() zeros (out_rows, out_cols), 5);
  end
  t = bytes / bw + flops / gf + tz;
  note = sprintf ('%.0f MB at %.0f GB/s', bytes / 1e6, bw / 1e9);
  if (flops > 0)
    note = [note sprintf(' + %.2g flop at %.0f GF/s', flops, gf / 1e9)];
  end
  if (tz > 0)
    note = [note sprintf(' + zeros %.1f ms', 1e3 * tz)];
  end
end
