1;
% slopemask from Octave: against X'*Q - R and find, in every mode, with
% growth, fewer outputs, and each rejection.

function [pos, D, P] = octave_route (X, Q, pattern, R, lambda, colIndex, whole)
  % What an Octave user would write, put into the module's order: slices of
  % 8192 rows, then block columns, then rows.
  Pf = X' * Q;
  Df = Pf - R;
  N = rows (R);
  sel = abs (Df) > lambda | pattern;
  if (! whole)
    c = fix (colIndex(:)');
    c(! (c >= 1)) = Inf;
    sel = sel & ((1:N)' >= c);
  end
  idx = find (sel);
  r = mod (idx - 1, N);
  [~, order] = sortrows ([floor(r / 8192), floor((idx - 1) / N), r]);
  pos = idx(order);
  D = Df(pos);
  P = Pf(pos);
end

function check_block (X, Q, pattern, R, lambda, colIndex, whole, what)
  [wp, wd, wq] = octave_route (X, Q, pattern, R, lambda, colIndex, whole);
  [pos, D, P] = slopemask (X, Q, pattern, R, lambda, colIndex, 10, whole);
  expect_bits (pos, wp, [what ' positions']);
  expect_bits (D, wd, [what ' gradient']);
  expect_bits (P, wq, [what ' product']);
end

% The worked example, both modes.
X = [1 2 3]; Q = 2; R = [0; 1; 10]; pat = sparse (1, 1, 1, 3, 1);
[pos, D, P] = slopemask (X, Q, pat, R, 2.5, 2, 1, 1);
expect_bits ([pos D P], [1 2 2; 2 3 4; 3 -4 6], 'worked example, whole columns');
[pos, D, P] = slopemask (X, Q, pat, R, 2.5, 2, 1, 0);
expect_bits ([pos D P], [2 3 4; 3 -4 6], 'worked example, lower');
% Fractional flags truncate: 0.5 and -0.7 are the lower mode, 1.5 whole
% columns; -1 is no flag.
expect_bits (slopemask (X, Q, pat, R, 2.5, 2, 1, 0.5), [2; 3], 'wholeColumns 0.5');
expect_bits (slopemask (X, Q, pat, R, 2.5, 2, 1, -0.7), [2; 3], 'wholeColumns -0.7');
expect_bits (slopemask (X, Q, pat, R, 2.5, 2, 1, 1.5), [1; 2; 3], 'wholeColumns 1.5');
expect_reject (sprintf ('ERROR: slopemask: argument 8 (wholeColumns): expected 0 or 1, found -1\n'), ...
               @slopemask, X, Q, pat, R, 2.5, 2, 1, -1);
% colIndex 2.9 truncates to 2; below 1 or NaN leaves no candidate.
expect_bits (slopemask (X, Q, pat, R, -1, 2.9, 1, 0), [2; 3], 'colIndex 2.9');
for c = [0.5 0 -3 NaN]
  expect_bits (slopemask (X, Q, pat, R, -1, c, 1, 0), zeros (0, 1), sprintf ('colIndex %g', c));
end
% Whole columns take only K from colIndex, never its values.
expect_bits (slopemask (X, Q, pat, R, 2.5, NaN, 1, 1), [1; 2; 3], 'colIndex values unread');

% Random integer blocks: every product is exact, so bits must agree; two
% slices and their border, patterns both sparse double and logical.
rand ('seed', 3);
for N = [40 8192 8193]
  K = 5; M = 4;
  X = round (4 * rand (M, N) - 2);
  Q = round (4 * rand (M, K) - 2);
  R = round (6 * rand (N, K) - 3);
  pattern = sprand (N, K, 0.01) > 0;
  colIndex = [1, 7, N, 8192, 30];
  for whole = [0 1]
    what = sprintf ('N %d whole %d', N, whole);
    check_block (X, Q, pattern, R, 5, colIndex, whole, what);
    check_block (X, Q, double (pattern), R, 5, colIndex, whole, [what ' double pattern']);
  end
end

% Real-valued inputs against Octave's own product, to rounding.
X = randn (30, 500); Q = randn (30, 20); R = randn (500, 20);
pattern = sprand (500, 20, 0.02);
[pos, D, P] = slopemask (X, Q, pattern, R, 6, 1:20, 100, 1);
Pf = X' * Q;
[wp] = octave_route (X, Q, pattern, R, 6, 1:20, 1);
expect_bits (pos, wp, 'real-valued positions');
assert (P, Pf(pos), 1e-12);
assert (D, Pf(pos) - R(pos), 1e-12);

% Capacity is only a starting size: tiny, zero, negative, huge or NaN
% capacities give the same outputs.
[pos, D, P] = slopemask (X, Q, pattern, R, 2, 1:20, 1e6, 1);
for cap = [1 0 -5 2^40 NaN]
  [p2, d2, q2] = slopemask (X, Q, pattern, R, 2, 1:20, cap, 1);
  expect_bits ([p2 d2 q2], [pos D P], sprintf ('capacity %g', cap));
end
% Inputs are never written (compared bit for bit with copies taken first).
X0 = X + 0; Q0 = Q + 0; R0 = R + 0; pat0 = nonzeros (pattern) + 0;
slopemask (X, Q, pattern, R, 2, 1:20, 1, 0);
expect_bits ({X, Q, R, nonzeros(pattern)}, {X0, Q0, R0, pat0}, 'inputs unchanged');
% Fewer outputs asked for: the first ones, nothing else written.
expect_bits (slopemask (X, Q, pattern, R, 2, 1:20, 1, 1), pos, 'one output');
[p2, d2] = slopemask (X, Q, pattern, R, 2, 1:20, 1, 1);
expect_bits ([p2 d2], [pos D], 'two outputs');
% Empty blocks give 0 x 1 outputs.
[p0, d0, q0] = slopemask (zeros (3, 0), ones (3, 2), sparse (0, 2), zeros (0, 2), 0, [1 2], 1, 0);
expect_bits ({size(p0), size(d0), size(q0)}, {[0 1], [0 1], [0 1]}, 'N = 0');
expect_bits (size (slopemask (ones (3, 4), zeros (3, 0), sparse (4, 0), zeros (4, 0), 0, [], 1, 1)), ...
             [0 1], 'K = 0');

% Rejections: one line each, no output.
X = ones (2, 3); Q = ones (2, 2); P = sparse (3, 2); R = zeros (3, 2);
e = @(t) ['ERROR: slopemask: ' t "\n"];
expect_reject (e ('expected 8 arguments, found 7'), @slopemask, X, Q, P, R, 1, [1 2], 1);
expect_reject (e ('argument 1 (X): expected a full real double array, found single'), ...
               @slopemask, single (X), Q, P, R, 1, [1 2], 1, 1);
expect_reject (e ('argument 1 (X): expected a full real double array, found sparse double'), ...
               @slopemask, sparse (X), Q, P, R, 1, [1 2], 1, 1);
expect_reject (e ('argument 2 (Q): expected a full real double array, found complex double'), ...
               @slopemask, X, Q + i, P, R, 1, [1 2], 1, 1);
expect_reject (e ('argument 2 (Q): expected 2 x 2, found 3 x 2'), ...
               @slopemask, X, ones (3, 2), P, R, 1, [1 2], 1, 1);
expect_reject (e ('argument 3 (pattern): expected a sparse array, found double'), ...
               @slopemask, X, Q, full (P), R, 1, [1 2], 1, 1);
expect_reject (e ('argument 3 (pattern): expected 3 x 2, found 3 x 3'), ...
               @slopemask, X, Q, sparse (3, 3), R, 1, [1 2], 1, 1);
expect_reject (e ('argument 4 (R): expected 3 x 2, found 2 x 3'), ...
               @slopemask, X, Q, P, zeros (2, 3), 1, [1 2], 1, 1);
expect_reject (e ('argument 4 (R): expected a full real double array, found sparse double'), ...
               @slopemask, X, Q, P, sparse (R), 1, [1 2], 1, 1);
expect_reject (e ('argument 5 (lambda): expected a real number, found an empty array'), ...
               @slopemask, X, Q, P, R, [], [1 2], 1, 1);
expect_reject (e ('argument 7 (capacity): expected a real number, found an empty array'), ...
               @slopemask, X, Q, P, R, 1, [1 2], [], 1);
expect_reject (e ('argument 8 (wholeColumns): expected a real number, found an empty array'), ...
               @slopemask, X, Q, P, R, 1, [1 2], 1, []);
% K is colIndex's larger dimension, so Q, R and the pattern must agree with it.
expect_reject (e ('argument 2 (Q): expected 2 x 3, found 2 x 2'), ...
               @slopemask, X, Q, P, R, 1, [1 2 3], 1, 1);
expect_reject (e ('argument 6 (colIndex): expected a vector of 2 elements, found 2 x 2'), ...
               @slopemask, X, Q, P, R, 1, ones (2), 1, 0);
expect_reject (e ('argument 6 (colIndex): expected a vector of 2 elements, found 0 x 2'), ...
               @slopemask, X, Q, P, R, 1, zeros (0, 2), 1, 0);
expect_reject (e ('argument 6 (colIndex): expected a full real double array, found char'), ...
               @slopemask, X, Q, P, R, 1, 'ab', 1, 0);
% 2^31 rows times 2 columns would wrap the 32-bit positions.
expect_reject (e ('X and Q give a block of 2147483648 x 2, too large for 32-bit positions (N*K must stay below 2^32)'), ...
               @slopemask, zeros (0, 2^31), zeros (0, 2), sparse (2^31, 2), [], 1, [1 2], 1, 1);
