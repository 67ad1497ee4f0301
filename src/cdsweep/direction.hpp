#pragma once
// The direction built so far, given as the lower triangle of a symmetric
// sparse matrix, and U = Delta W(:, index) formed from it, so that a caller
// keeps the direction instead of a product it would rebuild before every
// call.
#include <cstdint>

#include "cdsweep/cdsweep.hpp"
#include "common/scratch.hpp"

// Lower triangle (diagonal included) of the symmetric n x n direction in
// compressed columns with 0-based rows.
struct LowerColumns {
  const uint64_t* Ir;
  const uint64_t* Jc;
  const double* values;
  int32_t n;
};

// The layout the product and the pair search rely on: in every column c
// the rows ascend strictly and lie in c..n-1. Returns the storage position
// of the first entry that breaks it (column by column), or -1; *column
// receives that entry's column.
int64_t firstMisplacedEntry(const LowerColumns& D, int32_t* column);

// The first entry e of the list whose pair D stores, at (max(i, j),
// min(i, j)) with i = rows[li[e]], j = rows[lj[e]], or -1. D must have
// passed firstMisplacedEntry (each column is binary searched).
int32_t firstStoredPair(const LowerColumns& D, const int32_t* rows, const int32_t* li,
                        const int32_t* lj, int32_t count);

// U = (D + D' - diag(D)) W + the listed entries at delta0, U and W n x m
// column-major, U written whole. For each column q, independently:
//   U(:, q) starts at +0;
//   D's columns c ascending, in each its rows r ascending, an entry v:
//     U(r, q) += v*W(c, q), then, r != c, U(c, q) += v*W(r, q);
//   then entries e in list order (skipped when delta0 is null), with
//   i = rows[li[e]], j = rows[lj[e]], d = delta0[e]:
//     U(i, q) += d*W(j, q), then, i != j, U(j, q) += d*W(i, q).
// So D's part of U(x, q) adds Delta(x, j) W(j, q) over j ascending, as a
// product by the whole symmetric matrix in compressed columns would. A
// value of zero (either sign) adds nothing, so a stored zero is the same
// as none even where W holds Inf or NaN. Columns are split between
// `threads` threads (at least 1); the result does not depend on it. D must
// have passed firstMisplacedEntry; U must not alias W.
void directionProduct(const LowerColumns& D, const double* W, int32_t m, const int32_t* rows,
                      const SweepList& list, const double* delta0, int32_t threads, double* U);

// Room for the n x m product U (null when out of memory), faulted in as
// large pages where the system allows.
ScratchArray<double> allocateProduct(int32_t n, int32_t m);
