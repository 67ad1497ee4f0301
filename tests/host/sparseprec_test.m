1;
% sparseprec from Octave: against an independent dense method, the
% optimality conditions, thread counts, warm starts, components, solvers
% and every rejected input.

function [X, Theta] = grid_samples (side, M, seed)
  % M samples of a Gaussian whose precision is a side x side grid.
  randn ('seed', seed);
  e = ones (side, 1);
  P = spdiags ([e e], [-1 1], side, side);
  I = speye (side);
  Theta = speye (side ^ 2) - 0.2 * (kron (I, P) + kron (P, I));
  X = (chol (Theta) \ randn (side ^ 2, M))';
  X = X - mean (X);
end

function [T, F] = admm_reference (S, lambda)
  % Dense ADMM with an eigendecomposition step, every entry penalised: a
  % method unlike the driver's, run to a tight residual.
  n = rows (S); Z = zeros (n); U = zeros (n); rho = 1;
  for k = 1:50000
    [Q, E] = eig (rho * (Z - U) - S);
    e = diag (E);
    T = Q * diag ((e + sqrt (e .^ 2 + 4 * rho)) / (2 * rho)) * Q';
    Zold = Z;
    A = T + U;
    Z = sign (A) .* max (abs (A) - lambda / rho, 0);
    U = U + T - Z;
    r = norm (T - Z, 'fro'); d = rho * norm (Z - Zold, 'fro');
    if (r < 1e-13 * n && d < 1e-13 * n)
      break;
    end
    if (r > 10 * d)
      rho *= 2; U /= 2;
    elseif (d > 10 * r)
      rho /= 2; U *= 2;
    end
  end
  T = Z;
  F = objective (S, T, lambda);
end

function F = objective (S, T, lambda)
  F = -2 * sum (log (diag (chol (T)))) + sum (sum (S .* T)) + lambda * sum (abs (T(:)));
end

function m = worst_subgradient (G, T, lambda)
  % The optimality measure over the given entries, relative to lambda.
  v = max (abs (G) - lambda, 0);
  on = T != 0;
  v(on) = abs (G(on) + lambda * sign (T(on)));
  m = max (v(:)) / lambda;
end

function expect_error (id, fn, varargin)
  try
    fn (varargin{:});
  catch err
    if (! strcmp (err.identifier, id))
      error ('expect_error:id', 'expected %s, raised %s: %s', id, err.identifier, err.message);
    end
    return;
  end
  error ('expect_error:none', 'expected the error %s, none was raised', id);
end

% Small problems against the dense reference: F and the support, held
% whole, and beyond a tiny memory budget in one block and in blocks of 7.
for c = [1 2 3]
  [X, ~] = grid_samples (5 + c, 60 * c, c);
  S = X' * X / rows (X);
  lambda = [0.12 0.06 0.03](c);
  opts = struct ('tol', 1e-9, 'blockSize', [256 256 7](c), 'maxIter', 100, ...
                 'memory', [2^30 1 1](c));
  [Theta, info] = sparseprec (X, lambda, opts);
  [Tref, Fref] = admm_reference (S, lambda);
  F = objective (S, full (Theta), lambda);
  assert (abs (F - Fref) <= 1e-8 * abs (Fref), 'case %d: F %.15g, reference %.15g', c, F, Fref);
  assert (isequal (Theta != 0, abs (Tref) > 1e-7), 'case %d: supports differ', c);
  assert (issparse (Theta) && isequal (Theta, Theta'));
  assert (info.converged && info.nnz == nnz (Theta));
  assert (abs (info.F(end) - F) <= 1e-10 * abs (F));
  assert (all (diff (info.F) <= 1e-12 * abs (F)), 'case %d: F increased', c);
  % The optimality conditions on every entry, with W = inv(Theta).
  G = S - inv (full (Theta));
  assert (worst_subgradient (G, full (Theta), lambda) < 1e-3);
end

% A larger problem: the conditions on sampled columns, with columns of W
% from a sparse Cholesky solve.
[X, Ttrue] = grid_samples (40, 800, 7);
lambda = 0.2;
[Theta, info] = sparseprec (X, lambda, struct ('blockSize', 200, 'memory', 1e6));
assert (info.converged && info.iterations < 20);
cols = [1 17 400 801 1600];
Wc = Theta \ full (sparse (cols, 1:5, 1, 1600, 5));
Sc = X' * X(:, cols) / rows (X);
assert (worst_subgradient (Sc - Wc, full (Theta(:, cols)), lambda) < 1e-3);
% The grid's edges are found.
truth = abs (Ttrue) > 0;
found = Theta != 0;
assert (nnz (found & truth) / nnz (truth) > 0.95);

% The same bits for one and two threads, each in a fresh process since
% some modules run on OpenMP's default count. The host BLAS keeps one
% thread count: its threads may move the last bits of a product.
[X, ~] = grid_samples (12, 300, 3);
% Files of this run only: the two builds' tests may run at once.
work = tempname (); mkdir (work);
input = [work '/in.bin'];
save ('-binary', input, 'X');
octave = fullfile (OCTAVE_HOME, 'bin', 'octave-cli');
moddir = fileparts (which ('sparseprec'));
for T = [1 2]
  cmd = sprintf (['OMP_NUM_THREADS=%d OPENBLAS_NUM_THREADS=1 "%s" --no-gui --norc --no-history --quiet --eval ' ...
                  '"addpath(''%s''); load(''%s''); o = sparseprec (X, 0.15, ' ...
                  'struct(''numThreads'', %d, ''blockSize'', 50, ''memory'', 1)); ' ...
                  'p = sparseprec (X, 0.15, struct(''numThreads'', %d)); ' ...
                  'save(''-binary'', ''%s'', ''o'', ''p'')"'], ...
                 T, octave, moddir, input, T, T, sprintf ('%s/out_%d.bin', work, T));
  assert (system (cmd) == 0);
end
one = load ([work '/out_1.bin']);
two = load ([work '/out_2.bin']);
assert (isequal (one.o, two.o) && isequal (one.p, two.p), 'one and two threads differ');
confirm_recursive_rmdir (false, 'local');
rmdir (work, 's');

% A warm start from a larger lambda needs fewer iterations.
[X, ~] = grid_samples (20, 400, 4);
[T1, i1] = sparseprec (X, 0.25);
[T2, i2] = sparseprec (X, 0.2);
[T3, i3] = sparseprec (X, 0.2, struct ('Theta0', T1));
assert (i3.iterations < i2.iterations);
assert (abs (i3.F(end) - i2.F(end)) <= 1e-7 * abs (i2.F(end)));

% Separate groups and single variables: the solution is block diagonal
% along the components of abs(S) > lambda, each as if solved alone, and a
% variable alone has Theta_ii = 1/(S_ii + lambda).
[Xa, ~] = grid_samples (4, 500, 5);
[Xb, ~] = grid_samples (3, 500, 6);
randn ('seed', 8);
Xs = randn (500, 2) * diag ([1 1.5]);
Xs = Xs - mean (Xs);
X = [Xa(:, 1:8) Xs(:, 1) Xb Xa(:, 9:16) Xs(:, 2)];
lambda = 0.2;
[Theta, info] = sparseprec (X, lambda, struct ('tol', 1e-8));
S = X' * X / 500;
label = 1:27;  % components of abs(S) > lambda, by repeated relabelling
adj = abs (S) > lambda;
do
  old = label;
  for i = 1:27
    label(i) = min (label(adj(i, :)));
  end
until (isequal (label, old))
groups = unique (label);
sizes = arrayfun (@(g) nnz (label == g), groups);
assert (info.components == nnz (sizes > 1));
assert (info.components == 2 && nnz (sizes == 1) == 2);
for g = groups
  in = label == g;
  assert (nnz (Theta(in, ! in)) == 0);
  if (nnz (in) == 1)
    assert (full (Theta(in, in)), 1 / (S(in, in) + lambda), 1e-15);
  else
    Tg = sparseprec (X(:, in), lambda, struct ('tol', 1e-8));
    assert (full (Theta(in, in)), full (Tg), 1e-7);
  end
end
% Nothing above the level: a diagonal answer at once, its record complete
% (a loop over lambda reads the last entries).
[Theta, info] = sparseprec (X, 100);
assert (isdiag (Theta) && info.iterations == 0 && info.converged);
assert (full (diag (Theta)), 1 ./ (diag (S) + 100), 1e-15);
d = full (diag (Theta));
assert (info.edges == 0 && info.optimality(end) == 0);
assert (info.logdet, sum (log (d)), 1e-12);
assert (info.loglik, info.logdet - d' * diag (S), 1e-12);
assert (info.F(end), -info.loglik + 100 * sum (d), 1e-12);

% Every solver reaches the same optimum.
[X, ~] = grid_samples (15, 300, 9);
[Tc, ic] = sparseprec (X, 0.15, struct ('tol', 1e-6));
for solver = {'ichol', 'blockgs'}
  [Ts, is] = sparseprec (X, 0.15, struct ('tol', 1e-6, 'solver', solver{1}));
  assert (is.converged, solver{1});
  assert (abs (is.F(end) - ic.F(end)) <= 1e-8 * abs (ic.F(end)), solver{1});
  assert (isequal (Ts != 0, Tc != 0), solver{1});
end

% Progress lines: a header and one line per assessment, the last of the
% returned estimate.
text = evalc ('[~, iv] = sparseprec (X, 0.15, struct (''verbose'', true));');
lines = strsplit (strtrim (text), "\n");
assert (numel (lines) == numel (iv.F) + 2 && numel (iv.F) == iv.iterations + 1);

% Hard data converge with default options: a strong common factor (every
% pair correlated), a near-duplicate column, more variables than samples.
% On the factor, the tail is superlinear: from 1e-2 to below 1e-6 in a few
% steps. Beyond the memory budget the sweeps alone get there on the
% latter two.
rng (3);
f = randn (300, 3);
factor = f * [0.6 + 0.1 * randn(1, 120); 0.3 * randn(2, 120)] + randn (300, 120);
dup = randn (200, 30);
dup(:, 30) = dup(:, 1) + 0.03 * randn (200, 1);
wide = randn (40, 200);
for c = {{factor, 0.1, 2^30}, {dup, 0.05, 2^30}, {wide, 0.03, 2^30}, {dup, 0.05, 1}, {wide, 0.03, 1}}
  [X, lambda, memory] = c{1}{:};
  [T, info] = sparseprec (X, lambda, struct ('standardize', true, 'memory', memory));
  assert (info.converged && info.optimality(end) < 1e-4, 'N %d lambda %g memory %g', ...
          columns (X), lambda, memory);
end
[~, info] = sparseprec (factor, 0.1, struct ('standardize', true, 'tol', 1e-8));
first = find (info.optimality < 1e-2, 1);
last = find (info.optimality < 1e-6, 1);
assert (last - first <= 4, 'tail of %d steps: %s', last - first, mat2str (info.optimality, 2));
% A tol below F's rounding ends in a stall, apart from running out of
% iterations, with the estimate at its best.
lastwarn ('', '');
evalc ('[T, info] = sparseprec (dup, 0.05, struct (''standardize'', true, ''tol'', 1e-15));');
[~, id] = lastwarn ();
assert (info.stalled && ! info.converged && info.iterations < 50 && strcmp (id, 'sparseprec:stalled'));
assert (info.optimality(end) < 1e-9);

% Numbers of any class are their values: lambda, data and options.
randn ('seed', 12);
X = randn (50, 4);
X = X - mean (X);
[Td, id] = sparseprec (X, 1);
assert (isequal (sparseprec (X, int32 (1)), Td));
assert (isequal (sparseprec (X, single (0.25)), sparseprec (X, 0.25)));
assert (isequal (sparseprec (int16 (round (100 * X)), 0.25), sparseprec (round (100 * X), 0.25)));
% Data as users have them: raw measurements (mean 50, scales 1 to 1000)
% give the estimate of their centred values; standardize is the estimate
% of z-scores; integers are centred as doubles, not in their class
% (uint8 would saturate); a covariance matrix, dense or sparse, of full
% rank or not, gives what its data give.
randn ('seed', 21);
Z = randn (120, 60);
Xc = (Z - mean (Z)) .* logspace (0, 3, 60);
close_to = @(A, B) norm (A - B, 'fro') <= 1e-10 * norm (B, 'fro');
assert (close_to (sparseprec (Xc + 50, 0.1), sparseprec (Xc, 0.1, struct ('center', false))));
assert (close_to (sparseprec (Xc + 50, 0.1, struct ('standardize', true)), ...
                  sparseprec (zscore (Xc + 50, 1), 0.1)));
U = uint8 (randi ([0 255], 50, 6));
assert (isequal (sparseprec (U, 50), sparseprec (double (U), 50)));
assert (isequal (sparseprec (single (Z(:, 1:6)), 0.1), sparseprec (double (single (Z(:, 1:6))), 0.1)));
for m = [120 30]
  [Td, id] = sparseprec (Z(1:m, :), 0.2);
  for S = {cov(Z(1:m, :), 1), sparse(cov (Z(1:m, :), 1))}
    [Ts, is] = sparseprec (S{1}, 0.2, struct ('input', 'covariance'));
    assert (close_to (Ts, Td) && is.edges == id.edges, 'covariance input, %d samples', m);
  end
end
% Any block size from 1 up reaches the same optimum, of any class.
ref = sparseprec (X, 0.05, struct ('tol', 1e-9));
for opts = {struct('blockSize', 1, 'memory', 1), struct('blockSize', int32 (2), 'memory', 1)}
  T = sparseprec (X, 0.05, setfield (opts{1}, 'tol', 1e-9));
  assert (max (max (abs (T - ref))) < 1e-7);
end
% One variable, warm-started.
T = sparseprec (randn (10, 1), 0.1, struct ('Theta0', speye (1)));
assert (isscalar (T) && T > 0);
% A module's refusal becomes sparseprec:kernel in both builds, whatever
% the outputs asked for.
here = pwd ();
cd (fullfile (fileparts (which ('sparseprec')), 'private'));
try
  [a, b] = callkernel ('gramprod', 'x', 1, 1);
  error ('expected sparseprec:kernel');
catch err
  cd (here);
  assert (err.identifier, 'sparseprec:kernel');
  assert (! isempty (strfind (err.message, 'ERROR: gramprod: argument 1 (X)')), err.message);
end

% Rejected input.
X = randn (20, 4);
expect_error ('sparseprec:nargin', @sparseprec, X);
expect_error ('sparseprec:nargin', @sparseprec, X, 0.1, struct (), 5);
expect_error ('sparseprec:nonfinite', @sparseprec, 1e160 * X, 0.1);
expect_error ('sparseprec:options', @sparseprec, X, 0.1, struct ('verbose', NaN));
expect_error ('sparseprec:data', @sparseprec, {X}, 0.1);
expect_error ('sparseprec:data', @sparseprec, X + 1i, 0.1);
expect_error ('sparseprec:data', @sparseprec, ones (3, 3, 3), 0.1);
expect_error ('sparseprec:data', @sparseprec, 'text', 0.1);
expect_error ('sparseprec:nonfinite', @sparseprec, [X; NaN(1, 4)], 0.1);
expect_error ('sparseprec:nonfinite', @sparseprec, [X; Inf(1, 4)], 0.1);
expect_error ('sparseprec:samples', @sparseprec, X(1, :), 0.1);
for bad = {0, -1, NaN, Inf, [1 2], 'a', 1i, []}
  expect_error ('sparseprec:lambda', @sparseprec, X, bad{1});
end
expect_error ('sparseprec:options', @sparseprec, X, 0.1, 5);
expect_error ('sparseprec:options', @sparseprec, X, 0.1, struct ('tolerance', 1));
expect_error ('sparseprec:options', @sparseprec, X, 0.1, struct ('tol', -1));
expect_error ('sparseprec:options', @sparseprec, X, 0.1, struct ('maxIter', 2.5));
expect_error ('sparseprec:options', @sparseprec, X, 0.1, struct ('blockSize', 0));
expect_error ('sparseprec:options', @sparseprec, X, 0.1, struct ('numThreads', NaN));
expect_error ('sparseprec:options', @sparseprec, X, 0.1, struct ('verbose', 'yes'));
expect_error ('sparseprec:options', @sparseprec, X, 0.1, struct ('solver', 'lu'));
expect_error ('sparseprec:options', @sparseprec, X, 0.1, struct ('sweeps', [2 0]));
expect_error ('sparseprec:theta0', @sparseprec, X, 0.1, struct ('Theta0', eye (4)));
expect_error ('sparseprec:theta0', @sparseprec, X, 0.1, struct ('Theta0', speye (3)));
expect_error ('sparseprec:theta0', @sparseprec, X, 0.1, struct ('Theta0', sparse ([1 1 0 0; 0 1 0 0; 0 0 1 0; 0 0 0 1])));
expect_error ('sparseprec:theta0', @sparseprec, X, 0.1, struct ('Theta0', -speye (4)));
% A compiled module that refuses a call: its line becomes the error.
fake = tempname ();
mkdir (fake);
fid = fopen ([fake '/gramprod.m'], 'w');
fprintf (fid, 'function varargout = gramprod (varargin)\n  printf (''ERROR: gramprod: refused\\n'');\nend\n');
fclose (fid);
addpath (fake);
try
  sparseprec (X, 0.1);
  error ('expected sparseprec:kernel');
catch err
  assert (err.identifier, 'sparseprec:kernel');
  assert (! isempty (strfind (err.message, 'ERROR: gramprod: refused')), err.message);
end
rmpath (fake);
confirm_recursive_rmdir (false, 'local');
rmdir (fake, 's');
