1;
% stepcoef beside the gathers and BLAS dot products an Octave user writes.
% The driver's call: X, V, H, G hold the free set's F values and P, Q split
% 1..F into off-diagonal and diagonal entries (one in ten), both sorted;
% at F = 3*10^6 (four arrays of 24 MB, beyond the 32 MiB cache; outputs
% xs, vs of 24 MB, below 32 MiB) and at F = 10^7 (80 MB each; outputs
% above 32 MiB). Then 10^6 positions spread over arrays of 10^7. Each also
% with P and Q in random order. Timed asking for all four outputs (a call
% as a statement would make quad alone).
% Floor: the distinct cache lines of the four arrays the positions fall
% in and the positions themselves, plus zeros() of xs and vs.

function [quad, lin, xs, vs] = coef_blas (X, V, H, G, P, Q)
  xs = [2 * X(P); X(Q)];
  vs = [2 * V(P); V(Q)];
  e = [P; Q];
  lin = G(e)' * vs;
  quad = 0.5 * (H(e)' * vs);
end

function run_case (F, P, Q, what, target)
  randn ('seed', 7);
  X = randn (F, 1); V = randn (F, 1); H = randn (F, 1); G = randn (F, 1);
  [q1, l1, x1, v1] = stepcoef (X, V, H, G, P, Q);
  [q2, l2, x2, v2] = coef_blas (X, V, H, G, P, Q);
  if (! (isequal (x1, x2) && isequal (v1, v2) && abs (l1 - l2) <= 1e-9 * abs (l2) ...
         && abs (q1 - q2) <= 1e-9 * abs (q2)))
    printf ('stepcoef     |   MISMATCH: stepcoef and the gathers differ\n');
  end
  t = best_time ({@() stepcoef(X, V, H, G, P, Q), @() coef_blas(X, V, H, G, P, Q), ...
                  @() stepcoef(X, V, H, G, P, Q)}, 9, [4 4 2]);
  e = [P; Q]; m = numel (e);
  [fl, note, tz] = bench_floor (4 * line_bytes (e) + 8 * m, 0, [m m], [1 1]);
  work = sprintf ('%s of %s (%.0f MB each)', what, regexprep (sprintf ('%.0e', F), 'e\+0*', 'e'), ...
                  8 * F / 1e6);
  bench_line ('stepcoef', work, t(1), 'gathers + BLAS dots', t(2), fl, note, target);
  bench_split ('stepcoef', 'sums alone (nargout 2)', t(3), 'xs, vs (4 outputs less 2)', ...
               t(1) - t(3), 'of which zeros() of both', tz);
end

for F = [3e6 1e7]
  rand ('seed', F);
  diagonal = rand (F, 1) < 0.1;
  P = find (! diagonal); Q = find (diagonal);
  run_case (F, P, Q, 'all, sorted', 2.5);
  run_case (F, P(randperm (numel (P))), Q(randperm (numel (Q))), 'all, random', []);
end
F = 1e7;
rand ('seed', 1);
e = randperm (F, 1e6)';
P = e(1:9e5); Q = e(9e5 + 1:end);
run_case (F, sort (P), sort (Q), '1e6 sorted', 2.5);
run_case (F, P, Q, '1e6 random', []);
