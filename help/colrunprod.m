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
