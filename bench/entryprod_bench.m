1;
% entryprod's plain pass beside what an Octave user writes instead: the
% whole product A1(:, rowMap)' * B, then the listed entries picked into a
% zero output. 10^6 listed positions, random and sorted, with outputs below
% and above 32 MiB.


function out = pick_entries (A1, B, rm, list, L)
  P = A1(:, rm)' * B;
  out = zeros (L, columns (B));
  out(list) = P(list);
end

function run_case (m, cols, L, N, count)
  rand ('seed', 5);
  A1 = rand (m, cols) - 0.5; B = rand (m, N) - 0.5;
  rm = floor (rand (L, 1) * cols) + 1;
  cm = ones (N, 1);
  none = zeros (0, 1);
  list = randperm (L * N, count)';
  work = sprintf ('%dx%d out (%.0f MiB), m %d, %.0e', L, N, 8 * L * N / 2^20, m, count);
  % Bytes that must move: the list, B and the mapped A1 columns once, and
  % one value stored per entry; flops: one multiply-add per row per entry.
  bytes = 8 * count + 8 * m * (N + min (L, cols)) + 8 * count;
  [t_floor, note] = bench_floor (bytes, 2 * m * count, L, N);
  for order = {'random', 'sorted'}
    if (strcmp (order{1}, 'sorted'))
      list = sort (list);
    end
    ours = @() entryprod (A1, B, A1, list, rm, none, rm, L, cm);
    peer = @() pick_entries (A1, B, rm, list, L);
    d = ours () - peer ();
    if (max (abs (d(:))) > 1e-12)
      error ('entryprod_bench: results differ by %g', max (abs (d(:))));
    end
    bench_line ('entryprod', [work ' ' order{1}], best_time (ours, 5), ...
                'X''*Q, pick entries', best_time (peer, 3), t_floor, note);
  end
  % The output alone: what the host charges for an L x N result.
  bench_line ('entryprod', sprintf ('%dx%d out, both lists empty', L, N), ...
              best_time (@() entryprod (A1, B, A1, none, rm, none, rm, L, cm), 5), ...
              'zeros (L, N)', best_time (@() zeros (L, N), 5), [], '');
end

run_case (200, 20000, 1000, 4000, 1e6);
run_case (200, 20000, 1000, 20000, 1e6);
