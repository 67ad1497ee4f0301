1;
% stepmin from Octave: worked cases, direct minimisation, the optional
% index, output slots and every rejection.

function f = objective (x, v, C, B, A, lam, t, idx)
  f = A + B * t + C * t ^ 2 + lam * sum (abs (x(idx) + t * v(idx)));
end

% Worked cases, exact.
[t, f] = stepmin ([1 2], [-2 -1], 1, 0, 0, 0, 3, 1);
expect_bits ([t f], [0.5 1.75], 'two kinks, tie moves on');
[t, f] = stepmin (1, -1, 1, -4, 0, 0, 10, 1);
expect_bits ([t f], [1.5 -3.25], 'last piece improves');
[t, f] = stepmin ([1 -2], [0 0], 2, 1, 0.5, 0, 1, 1);
expect_bits ([t f], [0 3.5], 'no direction');

% Random convex cases against a fine grid and the kinks; x and v as
% matrices are read column-major.
rand ('seed', 2); randn ('seed', 2);
for rep = 1:20
  x = randn (4, 6); v = randn (4, 6); v(rand (4, 6) < 0.2) = 0;
  C = 0.1 + 2 * rand; B = 3 * randn; A = randn; lam = 2 * rand;
  lo = -rand; hi = rand;
  if (mod (rep, 2))
    idx = 1:numel (x);
    [t, f] = stepmin (x, v, C, B, A, lo, hi, lam);
  else
    idx = randi (numel (x), 1, 15);
    [t, f] = stepmin (x, v, C, B, A, lo, hi, lam, idx);
  end
  assert (t >= lo && t <= hi);
  assert (f, objective (x, v, C, B, A, lam, t, idx), 1e-12 * (1 + abs (f)));
  kinks = -x(idx) ./ v(idx);
  cand = [linspace(lo, hi, 20001), kinks(kinks >= lo & kinks <= hi & v(idx) != 0)];
  best = min (arrayfun (@(s) objective (x, v, C, B, A, lam, s, idx), cand));
  assert (f <= best + 1e-9 * (1 + abs (best)), sprintf ('rep %d: %g above %g', rep, f, best));
end

% Index: a row and a column agree, of a matrix the first column counts,
% fractions truncate, an empty one means no L1 term at all.
x = [0.5 -1 2 0.25]; v = [-1 0.5 -3 1];
[t1, f1] = stepmin (x, v, 1, -0.3, 0, -1, 2, 0.7, [4 1 1 3]);
[t2, f2] = stepmin (x, v, 1, -0.3, 0, -1, 2, 0.7, [4; 1; 1; 3]);
expect_bits ([t2 f2], [t1 f1], 'index column');
[t2, f2] = stepmin (x, v, 1, -0.3, 0, -1, 2, 0.7, [4.9 1 1.2 3.5]);
expect_bits ([t2 f2], [t1 f1], 'fractional index');
[t2, f2] = stepmin (x, v, 1, -0.3, 0, -1, 2, 0.7, [4 2; 1 2; 1 2; 3 2]);
expect_bits ([t2 f2], [t1 f1], 'index matrix');
[t, f] = stepmin (x, v, 1, -0.3, 0.25, -1, 2, 0.7, []);
expect_bits ([t f], [0.15, 0.15 * 0.15 + -0.3 * 0.15 + 0.25], 'empty index');
[t, f] = stepmin (x, v, 1, -0.3, 0.25, -1, 2, 0.7, zeros (3, 0));
expect_bits ([t f], [0.15, 0.15 * 0.15 + -0.3 * 0.15 + 0.25], 'empty 3x0 index');
[t1, f1] = stepmin (x, v, 1, -0.3, 0.25, -1, 2, 0.7);
[t2, f2] = stepmin (x, v, 1, -0.3, 0.25, -1, 2, 0.7, 1:4);
expect_bits ([t2 f2], [t1 f1], 'eight inputs select every entry');

% Outputs only in the slots asked for; scalars of other numeric classes.
t = stepmin (x, v, 1, -0.3, 0.25, -1, 2, 0.7);
expect_bits (t, t1, 'one output');
[t2, f2] = stepmin (x, v, single (1), -0.3, 0.25, int8 (-1), 2, true);
[t3, f3] = stepmin (x, v, 1, -0.3, 0.25, -1, 2, 1);
expect_bits ([t2 f2], [t3 f3], 'scalar classes');
% Inputs unchanged.
xc = x + 0; vc = v + 0;
stepmin (x, v, 1, -0.3, 0.25, -1, 2, 0.7, [1 2]);
expect_bits (x, xc, 'x unchanged'); expect_bits (v, vc, 'v unchanged');

% Rejections: the historical size message (its words, ended by a line
% feed), then ours.
expect_reject (sprintf ('error: x and v are not from the same size! Aborting!\n'), @stepmin, ...
               ones (3, 2), ones (2, 3), 1, 0, 0, 0, 1, 1);
expect_reject (sprintf ('error: x and v are not from the same size! Aborting!\n'), @stepmin, ...
               ones (3, 2), ones (3, 1), 1, 0, 0, 0, 1, 1);
expect_reject (sprintf ('ERROR: stepmin: expected 8 arguments, found 7\n'), @stepmin, ...
               x, v, 1, 0, 0, 0, 1);
expect_reject ('^ERROR: stepmin: argument 1 \(x\): expected a full real double array, found single\n$', ...
               @stepmin, single (x), v, 1, 0, 0, 0, 1, 1);
expect_reject ('^ERROR: stepmin: argument 2 \(v\): expected a full real double array, found complex double\n$', ...
               @stepmin, x, v + 1i, 1, 0, 0, 0, 1, 1);
expect_reject ('^ERROR: stepmin: argument 1 \(x\): expected a full real double array, found sparse double\n$', ...
               @stepmin, sparse (x), v, 1, 0, 0, 0, 1, 1);
expect_reject (sprintf ('ERROR: stepmin: argument 7 (hi): expected a real number, found an empty array\n'), ...
               @stepmin, x, v, 1, 0, 0, 0, [], 1);
expect_reject ('^ERROR: stepmin: argument 3 \(C\): expected a real number, found complex double\n$', ...
               @stepmin, x, v, 1i, 0, 0, 0, 1, 1);
expect_reject ('^ERROR: stepmin: argument 8 \(lambda\): expected a real number, found char\n$', ...
               @stepmin, x, v, 1, 0, 0, 0, 1, 'a');
expect_reject (sprintf ('ERROR: stepmin: argument 9 (index): element 2 is 5, outside 1..4\n'), ...
               @stepmin, x, v, 1, 0, 0, 0, 1, 1, [1 5]);
expect_reject (sprintf ('ERROR: stepmin: argument 9 (index): element 1 is 0.5, outside 1..4\n'), ...
               @stepmin, x, v, 1, 0, 0, 0, 1, 1, [0.5 1]);
expect_reject (sprintf ('ERROR: stepmin: argument 9 (index): element 3 is NaN, outside 1..4\n'), ...
               @stepmin, x, v, 1, 0, 0, 0, 1, 1, [1 2 NaN]);
expect_reject (sprintf ('ERROR: stepmin: argument 9 (index): element 1 is -Inf, outside 1..4\n'), ...
               @stepmin, x, v, 1, 0, 0, 0, 1, 1, -Inf);
expect_reject ('^ERROR: stepmin: argument 9 \(index\): expected a full real double array, found int32\n$', ...
               @stepmin, x, v, 1, 0, 0, 0, 1, 1, int32 (1));
