1;
% gramprod from Octave: against X'*X, across block borders, with growth,
% fewer outputs, and each rejection.

function check_gram (X, tau, what)
  % The listed triples plus their transpose rebuild G without its small
  % entries; integer X keeps G exact, so the comparison is bitwise.
  [r, c, v] = gramprod (X, tau, 1);
  N = columns (X);
  G = X' * X;
  G(abs (G) <= tau) = 0;
  S = sparse (r, c, v, N, N);
  expect_bits (full (S + S'), G, [what ' rebuilt']);
  % Pairs inside one block of 2048 columns are upper; across blocks lower.
  same = floor ((r - 1) / 2048) == floor ((c - 1) / 2048);
  assert (all (r(same) <= c(same)) && all (r(! same) > c(! same)), [what ' triangles']);
  assert (numel (unique ([r c], 'rows')) == 2 * numel (r), [what ' repeated pair']);
end

% Worked examples.
[r, c, v] = gramprod ([1 1], 0, 1);
expect_bits ([r c v], [1 1 0.5; 1 2 1; 2 2 0.5], 'worked example');
[r, c, v] = gramprod ([1 0; 0 2], 0.5, 1);
expect_bits ([r c v], [1 1 0.5; 2 2 2], 'diagonal example');

rand ('seed', 5);
for N = [1 300 2048 2049]
  X = round (4 * rand (3, N) - 2);
  check_gram (X, 4, sprintf ('N %d', N));
end
% N = 2049: the last column's pairs with block 0 follow block 0's triangle,
% and its own diagonal entry comes last.
[r, c, v] = gramprod (ones (1, 2049), 0, 1);
k = 2048 * 2049 / 2;
expect_bits ([r(k + 1) c(k + 1)], [2049 1], 'first cross-block entry');
expect_bits ([r(end) c(end) v(end)], [2049 2049 0.5], 'last entry');
% A negative tau lists the whole triangle, zeros included.
assert (numel (gramprod (zeros (2, 50), -1, 1)) == 50 * 51 / 2);

% Real-valued X against Octave's product, to rounding.
X = randn (20, 700);
[r, c, v] = gramprod (X, 6, 2);
G = X' * X;
want = triu (abs (G) > 6);
assert (isequal (sparse (r, c, true, 700, 700), want), 'real-valued pattern');
d = r == c;
assert (v(! d), G(sub2ind (size (G), r(! d), c(! d))), 1e-12);
assert (v(d), G(sub2ind (size (G), r(d), c(d))) / 2, 1e-12);

% The capacity factor only sizes the first list.
[r, c, v] = gramprod (X, 3, 100);
for f = [1 0 -4 0.5 1e9 NaN]
  [r2, c2, v2] = gramprod (X, 3, f);
  expect_bits ([r2 c2 v2], [r c v], sprintf ('factor %g', f));
end
X0 = X + 0;
gramprod (X, 3, 1);
expect_bits (X, X0, 'X unchanged');
expect_bits (gramprod (X, 3, 1), r, 'one output');
[r2, c2] = gramprod (X, 3, 1);
expect_bits ([r2 c2], [r c], 'two outputs');
[r0, c0, v0] = gramprod (zeros (4, 0), 0, 1);
expect_bits ({size(r0), size(c0), size(v0)}, {[0 1], [0 1], [0 1]}, 'N = 0');
% M = 0: every product is 0. Only a negative tau lists them, and otherwise
% the answer comes at once, however many columns.
[r0, c0, v0] = gramprod (zeros (0, 3), -1, 1);
expect_bits ([r0 c0 v0], [1 1 0; 1 2 0; 2 2 0; 1 3 0; 2 3 0; 3 3 0], 'M = 0, tau -1');
[r0, c0, v0] = gramprod (zeros (0, 2^31 - 1), 2^31 - 2, 0.5);
expect_bits ({r0, c0, v0}, {zeros(0, 1), zeros(0, 1), zeros(0, 1)}, 'M = 0, N = 2^31 - 1');
expect_bits (gramprod (zeros (0, 2^31 - 1), NaN, 1), zeros (0, 1), 'M = 0, tau NaN');

% Rejections: one line each, no output.
e = @(t) ['ERROR: gramprod: ' t "\n"];
expect_reject (e ('expected 3 arguments, found 2'), @gramprod, X, 1);
expect_reject (e ('argument 1 (X): expected a full real double array, found single'), ...
               @gramprod, single (X), 1, 1);
expect_reject (e ('argument 1 (X): expected a full real double array, found sparse double'), ...
               @gramprod, sparse (X), 1, 1);
expect_reject (e ('argument 1 (X): expected a full real double array, found complex double'), ...
               @gramprod, X + i, 1, 1);
expect_reject (e ('argument 2 (tau): expected a real number, found an empty array'), ...
               @gramprod, X, [], 1);
expect_reject (e ('argument 3 (capacity factor): expected a real number, found an empty array'), ...
               @gramprod, X, 1, []);
expect_reject (e ('argument 3 (capacity factor): expected a real number, found cell'), ...
               @gramprod, X, 1, {});
expect_reject (e ('argument 1 (X): 2147483648 columns, at most 2147483647 supported'), ...
               @gramprod, zeros (0, 2^31), 1, 1);
