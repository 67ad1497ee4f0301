1;
% colrunprod beside Octave's S' * C, with S built by sparse () beforehand.
% Lists grouped by column, their rows ascending (sorted positions, as find
% gives them) or in random order within each column; outputs below and
% above 32 MiB.


function run_case (M, L, N, count)
  rand ('seed', 6);
  pos = unique (floor (rand (count * 1.05, 1) * M * L) + 1);
  pos = sort (pos(randperm (numel (pos), count)));
  v = rand (count, 1) - 0.5;
  [i, j] = ind2sub ([M L], pos);
  S = sparse (i, j, v, M, L);
  C = rand (M, N);
  work = sprintf ('%dx%d S, %.0e entries, C %dx%d, out %.0f MiB', M, L, count, M, N, ...
                  8 * L * N / 2^20);
  % Bytes that must move: values and positions, and C's rows that the list
  % reaches, once; flops: one multiply-add per entry per column of C.
  bytes = 16 * count + 8 * N * min (M, count);
  [t_floor, note] = bench_floor (bytes, 2 * count * N, L, N);
  want = S' * C;
  % Random order keeps the entries of each column together.
  [~, shuffle] = sort (j + 0.5 * rand (count, 1));
  for order = {'sorted', 'random'}
    if (strcmp (order{1}, 'random'))
      pos = pos(shuffle); v = v(shuffle);
    end
    ours = @() colrunprod (v, pos, L, C);
    d = norm (ours () - want, 'fro') / norm (want, 'fro');
    if (d > 1e-12)
      error ('colrunprod_bench: relative difference %g', d);
    end
    bench_line ('colrunprod', [work ' ' order{1}], best_time (ours, 5), ...
                'S''*C', best_time (@() S' * C, 5), t_floor, note);
  end
end

run_case (1e5, 2000, 64, 2e5);
run_case (2e4, 1e5, 64, 1e6);
