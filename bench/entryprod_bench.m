% entryprod against the vectorised Octave expression for the same entries.
1;


function out = octave_entries (A1, B, A2, l1, rm1, l2, rm2, L, cm)
  out = zeros (L, columns (B));
  [r, j] = ind2sub ([L columns(B)], l1);
  out(l1) = sum (A1(:, rm1(r)) .* B(:, j), 1);
  [r, j] = ind2sub ([L columns(B)], l2);
  p = rm2(r);
  k = p >= j;
  s = sum (A2(:, p(k)) .* B(:, j(k)), 1);
  out(cm(j(k)) + (p(k) - 1) * L) = s;
  out(l2(k)) = s;
end

function run_case (m, cols, L, count)
  rand ('seed', 5);
  N = cols;
  A1 = rand (m, cols) - 0.5; A2 = rand (m, cols) - 0.5; B = rand (m, N) - 0.5;
  rm1 = floor (rand (L, 1) * cols) + 1;
  l1 = sort (randperm (L * N, count))';
  % The symmetric pass covers the block of output columns rm2: row r stands
  % for column rm2(r), and the column map sends column rm2(r) back to row r.
  % Listed are entries on or below the block's diagonal (p >= j).
  rm2 = sort (randperm (cols, L))';
  cm = floor (rand (N, 1) * L) + 1;
  cm(rm2) = 1:L;
  [r, q] = ndgrid (1:L, 1:L);
  low = find (r >= q);
  pick = low(randperm (numel (low), min (count, numel (low))));
  l2 = sort (r(pick) + (rm2(q(pick)) - 1) * L);

  mexcall = @() entryprod (A1, B, A2, l1, rm1, l2, rm2, L, cm);
  octcall = @() octave_entries (A1, B, A2, l1, rm1, l2, rm2, L, cm);
  t_mex = best_time (mexcall);
  t_oct = best_time (octcall);
  t_empty = best_time (@() entryprod (A1, B, A2, zeros (0, 1), rm1, zeros (0, 1), rm2, L, cm));
  got = mexcall (); want = octcall ();
  err = max (abs (got(:) - want(:)));
  printf ('entryprod  factors %d x %d, output %d x %d, %d + %d entries: %7.2f ms; Octave %7.2f ms; speed-up %.2f (max diff %.1e)\n', ...
          m, cols, L, N, numel (l1), numel (l2), 1e3 * t_mex, 1e3 * t_oct, t_oct / t_mex, err);
  printf ('  of which the host''s output handling (both lists empty): %.2f ms\n', 1e3 * t_empty);
end

run_case (200, 20000, 1000, 1e5);
% L = m, the layout the symmetric pass was made for; its block's lower
% triangle holds 20100 entries.
run_case (200, 20000, 200, 1e5);
printf ('membw: %.1f GB/s\n', membw (256));
