%CDSWEEP  Coordinate-descent sweeps for the Newton direction of a column block.
%   [delta, quad] = cdsweep(W, index, U, ei, ej, g, theta, delta0, lambda, sweeps)
%   [delta, quad] = cdsweep(W, index, U, ei, ej, g, theta, delta0, lambda,
%                           sweeps, numThreads)
%   [delta, quad] = cdsweep(W, index, D, ei, ej, g, theta, delta0, lambda,
%                           sweeps, numThreads)
%   [delta, quad, made, worst] = cdsweep(W, index, U or D, ei, ej, g,
%                           theta, delta0, lambda, sweeps, numThreads, tol)
%
%   Runs coordinate-descent sweeps for the Newton direction Delta of one
%   block of columns: over listed symmetric entries, each in turn takes the
%   exact minimiser of the model
%
%      q(Delta) = trace(G*Delta) + 1/2*trace(W*Delta*W*Delta)
%                 + lambda*sum(abs(Theta(:) + Delta(:)))
%
%   along Delta(i,j) = Delta(j,i), while U = Delta*W(:, index) is kept
%   current. Only the rows of U at index ever change, so U is never copied
%   whole: those rows and the same rows of W are held in two m x m scratch
%   matrices (2 MB each for m = 512).
%
%   W           n x m; column c is column index(c) of the symmetric
%               positive-definite inverse W = inv(Theta).
%   index       m distinct column numbers in 1..n, any shape (fractions
%               truncate).
%   U           n x m, Delta*W(:, index) for the direction at the call,
%               the listed entries at their starting values included. That
%               is the caller's to keep consistent; it is not checked.
%   D           (instead of U, told apart by being sparse) n x n sparse
%               real double, the LOWER TRIANGLE (diagonal included) of the
%               direction built so far outside the listed entries; the
%               module forms U itself (below). Any pattern, empty included;
%               it must not store a listed pair, in either orientation, nor
%               anything above the diagonal.
%   ei, ej      L row and column numbers, any shape, each one of index. An
%               entry stands for both (i, j) and (j, i); i = j is a
%               diagonal entry. No pair may be listed twice, in either
%               order.
%   g, theta    L values of G = S - W and of Theta at the entries.
%   delta0      L starting values of Delta there, or [] for zeros.
%   lambda      finite and >= 0.
%   sweeps      passes over the list (truncated; below 1, none: delta is
%               delta0 and quad 0).
%   numThreads  (optional, default 1) threads for the dot products and for
%               forming U from D; below 1 counts as 1, and at most one
%               per processor and one per 8,192 rows of W are used.
%   tol         (optional, [] for none) stop after the first sweep whose
%               largest violation (below) is at most tol; sweeps stays
%               the limit. NaN or a negative tol never stops early.
%
%   delta       L x 1, the entries' final values.
%   quad        the increase of 1/2*trace(W*Delta*W*Delta) over the call.
%   made        the sweeps made.
%   worst       the largest violation over the last sweep (0 when none was
%               made). The violation of an entry is the size of the model's
%               minimum-norm subgradient along it just before its update,
%               b = g(e) + dot (below): abs(b + lambda*sign(c)) where
%               c ~= 0, else max(abs(b) - lambda, 0). Divided by lambda it
%               is comparable with the driver's optimality measure.
%
%   Per entry e = (i, j), in list order, with li, lj the positions of i and
%   j in index: dot = W(:, li)'*U(:, lj) (= (W*Delta*W)(i,j)),
%   a = W(i,j)^2 + W(i,i)*W(j,j) (W(i,i)^2 on the diagonal),
%   c = theta(e) + delta(e), u = c - (g(e) + dot)/a and
%   mu = -c + sign(u)*max(abs(u) - lambda/a, 0); mu = 0 unless a is finite
%   and above 0. A zero step (of either sign) changes nothing. Otherwise
%   mu is added to delta(e), mu*W(j, :) to U(i, :) and, off the diagonal,
%   mu*W(i, :) to U(j, :); quad gains (2*mu)*dot + (a*mu)*mu off the
%   diagonal, mu*dot + (1/2*(a*mu))*mu on it. The rows of W are the given
%   W's own, so U stays Delta*W(:, index) for the W passed. The dot sums
%   rows in chunks of 1024, each with 8 partial sums (row k into sum
%   k mod 8, from 0 upwards) combined as
%   ((s0+s1)+(s2+s3))+((s4+s5)+(s6+s7)), and adds the chunk sums in
%   ascending order: results are bit for bit the same for any thread
%   count. NaN in the data reaches the result.
%
%   More threads split every dot by chunks, with a barrier per update: on
%   a machine where another process holds a core that barrier stalls
%   (several times slower than one thread), so the default is one thread,
%   and shorter columns than 8,192 rows a thread never take more.
%   When index holds every row (m = n), U's rows are all held in scratch
%   and the dots read them there alone. When index is 1:n in order and
%   the direction comes as D, W must be the whole symmetric inverse: its
%   columns are read for its rows, and U is formed straight into that
%   scratch (n^2 doubles in all, not 3*n^2), with the same bits as below.
%
%   With D, Delta = D + D' - diag(diag(D)) plus the listed entries at
%   delta0, and U = Delta*W(:, index) is formed once, before the sweeps,
%   into an n x m array of the module's own (the caller's arrays are never
%   written). Its order is part of the result: for each column q of W,
%   U(:, q) starts at +0; D's columns c ascending, in each its rows r
%   ascending, every entry v adds v*W(c, q) to U(r, q) and then, r ~= c,
%   v*W(r, q) to U(c, q); then every listed entry e in list order, with
%   d = delta0(e), adds d*W(j, q) to U(i, q) and then, i ~= j, d*W(i, q)
%   to U(j, q). D's part of each U(x, q) thus adds
%   Delta(x, j)*W(j, q) over j ascending, the order of a product by the
%   whole symmetric matrix column by column. A zero value (stored in D or
%   in delta0) adds nothing, so it is the same as none even where W holds
%   Inf or NaN. The columns of U are split between the threads, each
%   column summed by one: results are bit for bit those of the dense form
%   called with that U, for any thread count. Each pass over D carries 8
%   columns of W and U, so D is read about m/8 times; U needs n*m*8 more
%   bytes (400 MB for n = 100,000 and m = 512).
%
%   Rejected with one line ERROR: cdsweep: ... and no output: fewer than
%   10 arguments; an array that is not full real double, or a scalar that
%   is not a real number; index without m elements, U not n x m, ej, g,
%   theta without L elements, delta0 neither empty nor of L elements; n, m
%   or L above 2^31 - 1; lambda negative, NaN or infinite; an index value
%   outside 1..n or repeated; an ei or ej value outside 1..n or not in
%   index; a pair listed twice. With D: not sparse real double or not
%   n x n; an entry above the diagonal (the first column by column is
%   named), rows of a column not ascending or outside 1..n; a listed pair
%   that D stores (the first in list order is named). Out of memory prints
%   ERROR: cdsweep: out of memory
%
%   Example:
%      Theta = full(gallery('tridiag', 5, -1, 3, -1));  % positive definite
%      W = inv(Theta);
%      S = W + 0.1 * eye(5);                  % a sample covariance, say
%      index = [2 4];                         % the block's columns
%      ei = [2 4 4]; ej = [2 2 4];            % entries (2,2), (4,2), (4,4)
%      k = sub2ind([5 5], ei, ej);
%      G = S - W;
%      [delta, quad] = cdsweep(W(:, index), index, zeros(5, 2), ei, ej, ...
%                              G(k), Theta(k), [], 0.05, 10)
%      % (4,2) stays at 0; quad is 1/2*trace(W*Delta*W*Delta):
%      Delta = zeros(5); Delta(k) = delta; Delta(ej + 5*(ei - 1)) = delta;
%      fprintf('quad difference: %.1e\n', quad - trace(W*Delta*W*Delta) / 2)
%      D = sparse([3 5], [1 3], [0.2 -0.1], 5, 5);  % the direction so far
%      [delta, quad] = cdsweep(W(:, index), index, D, ei, ej, G(k), ...
%                              Theta(k), [], 0.05, 10)
%      U = (D + D' - diag(diag(D))) * W(:, index);   % the same, given U
%      d2 = cdsweep(W(:, index), index, U, ei, ej, G(k), Theta(k), [], 0.05, 10);
%      fprintf('difference from the dense form: %.1e\n', norm(delta - d2))
%
%   See also sparseprec.
%
%   sparsekernels @PROJECT_VERSION@
