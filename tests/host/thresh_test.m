1;
% thresh from Octave: against the shrinkage formula, borders, NaN, list
% shapes, thread counts and rejections.

function out = shrink_ref (lambda, X, mu, G, D, p)
  out = zeros (size (X));
  u = X(p) - D(p) .* G(p);
  T = lambda * D(p);
  keep = abs (u) > mu + T;
  out(p) = keep .* (u - sign (u) .* T) - X(p);
end

rand ('seed', 6); randn ('seed', 6);
X = randn (30, 20); G = randn (30, 20); D = rand (30, 20);
p = randperm (600, 250);
out = thresh (0.2, X, 0.05, G, D, p);
assert (out, shrink_ref (0.2, X, 0.05, G, D, p), 1e-15);
unlisted = true (size (X)); unlisted(p) = false;
assert (all (out(unlisted) == 0));
% The same list as a column, or as the first column of a matrix.
expect_bits (thresh (0.2, X, 0.05, G, D, p'), out, 'column list');
expect_bits (thresh (0.2, X, 0.05, G, D, [p' p']), out, 'matrix list');
% Fractions truncate; a repeat stores the same value.
expect_bits (thresh (0.2, X, 0.05, G, D, [p + 0.5, p(1)]), out, 'fractions and repeats');
% An empty list leaves all zeros of X's shape.
expect_bits (thresh (0.2, X, 0.05, G, D, []), zeros (30, 20), 'empty list');
expect_bits (thresh (0.2, X, 0.05, G, D, zeros (0, 5)), zeros (30, 20), 'empty 0x5 list');

% Borders give 0 (the result is -X); NaN and infinite values reach the result.
Xb = [2 0 -2 1 NaN 1 Inf 4]; Gb = [2 -2 -2 -0.5 0 NaN 0 1]; Db = [0.5 0.5 0.5 1 1 1 1 1];
ob = thresh (0.5, Xb, 0.75, Gb, Db, 1:8);
expect_bits (ob(1:3), [-2 0 2], 'borders');
expect_bits (ob(4), 0, 'unchanged value');
assert (all (isnan (ob(5:7))));
expect_bits (thresh (0.5, 4, NaN, 1, 1, 1), -4, 'NaN margin');

% Same bits for one and two threads: the module runs on the default count,
% so each count runs in a fresh process.
Xl = randn (400); Gl = randn (400); Dl = rand (400); pl = randi (400 ^ 2, 1, 90000);
% Files of this run only: the two builds' tests may run at once.
work = tempname (); mkdir (work);
save ('-binary', [work '/in.bin'], 'Xl', 'Gl', 'Dl', 'pl');
octave = fullfile (OCTAVE_HOME, 'bin', 'octave-cli');
moddir = fileparts (which ('thresh'));
for T = [1 2]
  cmd = sprintf (['OMP_NUM_THREADS=%d "%s" --no-gui --norc --no-history --quiet --eval "addpath(''%s''); ' ...
                  'load(''%s''); o = thresh (0.1, Xl, 0.02, Gl, Dl, pl); save(''-binary'', ''%s'', ''o'')"'], ...
                 T, octave, moddir, [work '/in.bin'], sprintf ('%s/out_%d.bin', work, T));
  assert (system (cmd) == 0);
end
one = load ([work '/out_1.bin']); two = load ([work '/out_2.bin']);
expect_bits (two.o, one.o, 'one vs two threads');
expect_bits (thresh (0.1, Xl, 0.02, Gl, Dl, pl), one.o, 'in this process');
confirm_recursive_rmdir (false, 'local');
rmdir (work, 's');

% Rejections.
expect_reject (sprintf ('ERROR: thresh: expected 6 arguments, found 5\n'), @thresh, 1, X, 0, G, D);
expect_reject (sprintf ('ERROR: thresh: argument 6 (positions): element 2 is 601, outside 1..600\n'), ...
               @thresh, 0.2, X, 0.05, G, D, [1 601]);
expect_reject (sprintf ('ERROR: thresh: argument 6 (positions): element 1 is NaN, outside 1..600\n'), ...
               @thresh, 0.2, X, 0.05, G, D, NaN);
expect_reject (sprintf ('ERROR: thresh: argument 6 (positions): element 1 is 0, outside 1..600\n'), ...
               @thresh, 0.2, X, 0.05, G, D, 0);
expect_reject (sprintf ('ERROR: thresh: argument 4 (G): expected at least 600 elements (as X), found 599\n'), ...
               @thresh, 0.2, X, 0.05, G(1:599), D, 1);
expect_reject (sprintf ('ERROR: thresh: argument 5 (D): expected at least 600 elements (as X), found 1\n'), ...
               @thresh, 0.2, X, 0.05, G, 1, 1);
expect_reject (sprintf ('ERROR: thresh: argument 1 (lambda): expected a real number, found an empty array\n'), ...
               @thresh, [], X, 0.05, G, D, 1);
expect_reject ('^ERROR: thresh: argument 2 \(X\): expected a full real double array, found sparse double\n$', ...
               @thresh, 0.2, sparse (X), 0.05, G, D, 1);
expect_reject ('^ERROR: thresh: argument 3 \(mu\): expected a real number, found complex double\n$', ...
               @thresh, 0.2, X, 1i, G, D, 1);
