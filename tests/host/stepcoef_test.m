1;
% stepcoef from Octave: the worked case, whole symmetric matrices feeding
% stepmin, output slots, orientations and rejections.

[quad, lin, xs, vs] = stepcoef ([1 2 3], [10 20 30], [1 0 0], [1 1 1], 2, [1 3]);
expect_bits (quad, 5, 'quad'); expect_bits (lin, 80, 'lin');
expect_bits (xs, [4; 1; 3], 'xs'); expect_bits (vs, [40; 10; 30], 'vs');

% Empty lists: 0 x 1 vectors and zero sums, whatever the empty shape.
[quad, lin, xs, vs] = stepcoef (1, 1, 1, 1, [], zeros (1, 0));
expect_bits (quad, 0, 'empty quad'); expect_bits (lin, 0, 'empty lin');
expect_bits (xs, zeros (0, 1), 'empty xs'); expect_bits (vs, zeros (0, 1), 'empty vs');
[~, ~, xs] = stepcoef (1, 1, 1, 1, zeros (3, 0), []);
expect_bits (xs, zeros (0, 1), 'empty 3x0 list');

% Symmetric matrices stored whole, P the strict upper triangle and Q the
% diagonal: the sums run over every entry, and stepmin on the outputs
% minimises A + lin t + quad t^2 + lambda sum |X + t V| over all entries.
randn ('seed', 4);
n = 7;
sym = @(M) M + M';
X = sym (randn (n)); V = sym (randn (n)); G = sym (randn (n)); H = V;
P = find (triu (ones (n), 1)); Q = find (eye (n));
[quad, lin, xs, vs] = stepcoef (X, V, H, G, P, Q);
assert (lin, sum (G(:) .* V(:)), 1e-12);
assert (2 * quad, sum (H(:) .* V(:)), 1e-12);
ts = linspace (-0.5, 1.5, 4001);
direct = arrayfun (@(t) 0.3 + lin * t + quad * t ^ 2 + 0.4 * sum (abs (X(:) + t * V(:))), ts);
stacked = arrayfun (@(t) 0.3 + lin * t + quad * t ^ 2 + 0.4 * sum (abs (xs + t * vs)), ts);
assert (stacked, direct, 1e-11);
[t, f] = stepmin (xs, vs, quad, lin, 0.3, -0.5, 1.5, 0.4);
assert (f, 0.3 + lin * t + quad * t ^ 2 + 0.4 * sum (abs (X(:) + t * V(:))), 1e-11);
assert (f <= min (direct) + 1e-11);

% An entry in both lists weighs three; row lists equal column lists.
[q1, l1] = stepcoef ([5 6], [2 3], [7 1], [0.5 1], 1, 1);
expect_bits ([q1 l1], [0.5 * (7 * 4 + 7 * 2), 0.5 * 4 + 0.5 * 2], 'entry in both lists');
[a1, b1, c1, d1] = stepcoef (X, V, H, G, P', Q');
expect_bits ({a1, b1, c1, d1}, {quad, lin, xs, vs}, 'row lists');

% Fewer outputs than four: only those slots are made.
q = stepcoef (X, V, H, G, P, Q);
expect_bits (q, quad, 'one output');
[q, l] = stepcoef (X, V, H, G, P, Q);
expect_bits ([q l], [quad lin], 'two outputs');
[q, l, x3] = stepcoef (X, V, H, G, P, Q);
expect_bits (x3, xs, 'three outputs');
stepcoef (X, V, H, G, P, Q);
expect_bits (ans, quad, 'no output named');

% Inputs unchanged.
Xc = X + 0; Pc = P + 0;
stepcoef (X, V, H, G, P, Q);
expect_bits (X, Xc, 'X unchanged'); expect_bits (P, Pc, 'P unchanged');

% Rejections. Positions must lie in the smallest of the four arrays.
expect_reject (sprintf ('ERROR: stepcoef: expected 6 arguments, found 5\n'), @stepcoef, 1, 1, 1, 1, 1);
expect_reject (sprintf ('ERROR: stepcoef: argument 6 (Q): element 2 is 3, outside 1..2\n'), ...
               @stepcoef, [1 2 3], [1 2 3], [1 2], [1 2 3], 1, [1 3]);
expect_reject (sprintf ('ERROR: stepcoef: argument 5 (P): element 1 is 0, outside 1..3\n'), ...
               @stepcoef, [1 2 3], [1 2 3], [1 2 3], [1 2 3], 0, 1);
expect_reject (sprintf ('ERROR: stepcoef: argument 5 (P): element 1 is Inf, outside 1..3\n'), ...
               @stepcoef, [1 2 3], [1 2 3], [1 2 3], [1 2 3], Inf, 1);
expect_reject ('^ERROR: stepcoef: argument 3 \(H\): expected a full real double array, found complex double\n$', ...
               @stepcoef, 1, 1, 1i, 1, 1, 1);
expect_reject ('^ERROR: stepcoef: argument 6 \(Q\): expected a full real double array, found logical\n$', ...
               @stepcoef, 1, 1, 1, 1, 1, true);
