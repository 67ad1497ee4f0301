function [X, Theta] = precdata(kind, N, M)
  % [X, THETA] = precdata (KIND, N, M): the data of one sparseprec benchmark
  % case, M samples (rows of X) of N variables, columns centred, from a fixed
  % seed per KIND, so every run and every peer sees the same numbers.
  %   'grid'       a 2-D grid as near square as N allows, 1 on the diagonal,
  %                -0.2 per link (for a square N, the demo's gridmodel)
  %   'chain'      1 on the diagonal, -0.4 between neighbours
  %   'random'     1.5*N links between random pairs, +-0.2 each, the
  %                diagonal raised where a variable's links sum past 0.8
  %   'factor'     three common factors plus noise, N = 452, M = 1257
  %   'duplicate'  30 independent columns, the last a near copy of the first
  %   'wide'       40 samples of 200 independent variables
  % The last three are standardised (S has a unit diagonal) and ignore N
  % and M; THETA, the true precision, is [] for them.
  switch (kind)
    case 'grid'
      r = max (find (mod (N, 1:floor (sqrt (N))) == 0));
      Theta = speye (N) - 0.2 * (kron (speye (N / r), link (r)) + kron (link (N / r), speye (r)));
      X = draw (Theta, M, 1);
    case 'chain'
      Theta = speye (N) - 0.4 * link (N);
      X = draw (Theta, M, 2);
    case 'random'
      rng (4);
      ij = randi (N, round (1.5 * N), 2);
      U = triu (spones (sparse (ij(:, 1), ij(:, 2), 1, N, N) + sparse (ij(:, 2), ij(:, 1), 1, N, N)), 1);
      [a, b] = find (U);
      w = 0.2 * (2 * (rand (numel (a), 1) < 0.5) - 1);
      A = sparse ([a; b], [b; a], [w; w], N, N);
      d = max (1, 1.25 * full (sum (abs (A), 2)));
      Theta = A + spdiags (d, 0, N, N);
      X = draw (Theta, M, 5);
    case 'factor'
      rng (3); M = 1257; N = 452;
      f = randn (M, 3);
      B = [0.6 + 0.1 * randn(1, N); 0.3 * randn(2, N)];
      X = standardise (f * B + randn (M, N));
      Theta = [];
    case 'duplicate'
      rng (6);
      X = randn (200, 30);
      X(:, 30) = X(:, 1) + 0.03 * randn (200, 1);
      X = standardise (X);
      Theta = [];
    case 'wide'
      rng (7);
      X = standardise (randn (40, 200));
      Theta = [];
    otherwise
      error ('precdata: no data kind ''%s''', kind);
  end
end

function P = link (n)
  % Each of n points in a row linked to the next.
  e = ones (n, 1);
  P = spdiags ([e e], [-1 1], n, n);
end

function X = draw (Theta, M, seed)
  % M samples of a Gaussian with precision Theta, never forming its inverse:
  % with Theta(p,p) = R'*R, each sample is R \ z for a standard normal z.
  rng (seed);
  N = columns (Theta);
  [R, ~, p] = chol (Theta, 'vector');
  X = zeros (M, N);
  X(:, p) = (R \ randn (N, M))';
  X = X - mean (X);
end

function X = standardise (X)
  % Centred, and scaled so that X'*X/M has a unit diagonal.
  X = X - mean (X);
  X = X ./ sqrt (mean (X .^ 2));
end
