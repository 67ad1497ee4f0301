%COLRUNPROD  S'*C for a sparse S given as value and position lists.
%   out = colrunprod(values, positions, L, C)
%
%   Computes S'*C for a sparse M x L matrix S given as lists (M = rows of
%   C): entry i has value values(i) at the 1-based column-major position
%   positions(i). The output is L x N (N = columns of C). Each column of
%   the output walks the list; a run of consecutive entries in one column
%   q of S is summed in list order and assigned to out(q, :). So the
%   entries of each column must be listed together: if a column's entries
%   form two separate runs, only the later run counts. Rows of S's empty
%   columns stay 0. find on a sparse matrix lists its entries in the right
%   order.
%
%   values     real double, at least as many as the positions.
%   positions  real double, 1-based positions in the M x L matrix S. The
%              list is read by its ROW COUNT: pass a column. A row is a
%              list of one position.
%   L          the number of columns of S (rows of out).
%   C          M x N real double.
%
%   out        L x N, S'*C.
%
%   How it runs (the same bits every way, for any thread count): when the
%   list holds at least half as many entries as C has rows, C is copied
%   into row-major panels, so that an entry reads one cache line for a
%   block of columns. A list whose columns list their rows in ascending
%   order (sorted positions, find), with runs of four entries or more on
%   average, is filed by chunks of 4,096 rows and C is read once, chunk by
%   chunk, 16 columns at a time, each run's sums carried from chunk to
%   chunk (scratch: 16 bytes per entry and, per thread, a 512 KB panel and
%   16 sums per run). Any other list walks panels of 8 whole columns (M x 8
%   values per thread). Shorter lists, or a call without that scratch, read
%   C in place.
%
%   Rejected with one line ERROR: colrunprod: ... and no output: fewer
%   than 4 arguments; sparse, complex or non-double arrays; an empty or
%   negative L; fewer values than positions; a non-empty list with a C of
%   0 rows; positions outside 1..M*L (a column of S at L or beyond, 0,
%   negatives, NaN, Inf).
%
%   Example:
%      S = sparse([1 3 2], [1 1 3], [2 -1 4], 3, 3);
%      [i, j, v] = find(S);
%      out = colrunprod(v, sub2ind(size(S), i, j), 3, magic(3))
%      fprintf('difference from S''*C: %g\n', norm(out - S' * magic(3)))
%
%   See also colsetprod, entryprod, sparseprec.
%
%   sparsekernels @PROJECT_VERSION@
