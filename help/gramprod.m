%GRAMPROD  Entries of X'*X above a threshold, as (row, column, value) triples.
%   [rows, cols, values] = gramprod(X, tau, capacityFactor)
%
%   Lists the entries of G = X'*X with abs(G) > tau (strictly), as 1-based
%   triples. Each unordered index pair appears at most once and diagonal
%   values are halved, so S = sparse(rows, cols, values, N, N) gives S + S'
%   equal to G with the small entries removed. The N x N product is never
%   held: it is formed in blocks of 2048 columns, pair by pair on and
%   below the block diagonal, in one 2048 x 2048 scratch (32 MiB).
%
%   X               M x N full real double.
%   tau             real scalar; a negative one lists the whole upper
%                   triangle, zeros included.
%   capacityFactor  the list starts at capacityFactor*N entries and grows
%                   as needed.
%
%   rows, cols, values
%                   n x 1 each. Pairs within one 2048-column block come as
%                   (smaller, larger), pairs across blocks as (larger,
%                   smaller); the order is block pair by block pair, then
%                   column, then row. Only the outputs asked for are made.
%                   An X without rows has G = 0: the empty list comes at
%                   once for any tau >= 0, however many columns.
%
%   Rejected with one line ERROR: gramprod: ... and no output: fewer than
%   3 arguments; X not full real double; empty or non-numeric scalars;
%   more than 2^31 - 1 columns. Out of memory prints
%   ERROR: Out of memory in gramsel
%
%   Example:
%      [r, c, v] = gramprod([1 1], 0, 1);
%      disp([r c v])                        % (1,1,0.5) (1,2,1) (2,2,0.5)
%      X = randn(5, 40);
%      [r, c, v] = gramprod(X, 2, 1);
%      S = sparse(r, c, v, 40, 40);
%      G = X' * X;  G(abs(G) <= 2) = 0;
%      fprintf('difference from X''*X: %.1e\n', norm(full(S + S') - G, 'fro'))
%
%   See also slopemask, sparseprec.
%
%   sparsekernels @PROJECT_VERSION@
