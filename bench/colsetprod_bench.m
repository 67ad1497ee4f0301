1;
% colsetprod beside Octave's A*X, the sparse symmetric A built beforehand
% (as a user holding the block columns would, once): n = 100,000 rows, a
% block of K = 2,000 columns with about 100 entries each, X with 32
% columns (output 26 MB, below 32 MiB: glibc recycles it) and with 128
% (102 MB: mapped fresh each call; the target's workload). The list is
% grouped by column as the module needs; within a column the rows come
% sorted (as find gives them) or in random order.
% Floor: X and the list read once, the products at the dgemm rate, plus
% zeros() of the output.

function [v, pos, b, mask, A] = block_columns (n, K, per)
  rand ('seed', 7);
  b = sort (randperm (n, K))';
  mask = zeros (n, 1); mask(b) = 1;
  % Ordinary rows of each block column, and a symmetric block among block rows.
  ri = floor (rand (K * per, 1) * n) + 1;
  ci = repmat (1:K, per, 1)(:);
  keep = ! mask(ri);
  ri = ri(keep); ci = ci(keep);
  [bi, bj] = find (triu (sprand (K, K, 2 / K)) + speye (K));
  ri = [ri; b(bi); b(bj(bi != bj))];
  ci = [ci; bj; bi(bi != bj)];
  S = sparse (ri, ci, 1, n, K);
  S = spfun (@(x) rand (size (x)) - 0.5, S);
  S(b, :) = (S(b, :) + S(b, :)') / 2;
  [i, j, v] = find (S);
  pos = sub2ind ([n K], i, j);
  o = ! mask(i);
  A = sparse ([i; b(j(o))], [b(j); i(o)], [v; v(o)], n, n);
end

n = 1e5; K = 2000;
[v, pos, b, mask, A] = block_columns (n, K, 100);
[~, i] = ind2sub ([n K], pos);
offBlock = sum (! mask(i));
% Rows shuffled within each column; the runs stay grouped.
[~, shuffle] = sortrows ([ceil(pos / n), rand(numel (pos), 1)]);
for N = [32 128]
  randn ('seed', N);
  X = randn (n, N);
  target = [];
  if (N == 128)
    target = 2.5;
  end
  ref = A * X;
  for order = {'sorted', 'random'}
    if (strcmp (order{1}, 'sorted'))
      vv = v; pp = pos;
    else
      vv = v(shuffle); pp = pos(shuffle);
    end
    err = norm (colsetprod (vv, X, pp, b, mask) - ref, 'fro') / norm (ref, 'fro');
    if (! (err < 1e-12))
      printf ('colsetprod   |   MISMATCH: relative difference %.1e from A*X\n', err);
    end
    t = best_time ({@() colsetprod(vv, X, pp, b, mask), @() A * X, ...
                    @() colsetprod(zeros (0, 1), X, zeros (0, 1), b, mask)}, 7);
    bytes = 8 * n * N + 16 * numel (v) + 8 * (n + K);
    flops = 2 * N * (numel (v) + offBlock);
    [fl, note, tz] = bench_floor (bytes, flops, n, N);
    work = sprintf ('X, out %dx%d (%.0f MB), %.0fk entr., %s', n, N, 8 * n * N / 1e6, ...
                    numel (v) / 1e3, order{1});
    bench_line ('colsetprod', work, t(1), 'A*X (A sparse, built)', t(2), fl, note, target);
    bench_split ('colsetprod', 'kernel (list less empty list)', t(1) - t(3), 'output zeros()', ...
                 tz, 'host copy (empty list less zeros)', t(3) - tz);
  end
end
