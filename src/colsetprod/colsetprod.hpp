#pragma once
// A X for a symmetric n x n matrix A given by K of its columns: a value list
// with 1-based column-major positions in an n x K matrix S, where column q
// of S is column (and, by symmetry, row) map[q] - 1 of A. mask[r] is nonzero
// (after truncation) exactly at those block rows. Doubles that carry
// positions, map and mask values are truncated toward zero.
#include <cstdint>

// out (n x N, zero-filled by the caller) = A X, X being n x N. Each output
// column walks the list once: an entry in an unmasked row r adds
// value * X(map[q] - 1, j) into out(r, j); the g-th run of consecutive
// entries in one column (runs counted from column 0, so a list that starts
// at a later column begins with an empty run) is summed as
// value * X(r, j) in list order and assigned to out(map[g] - 1, j).
// Requires positions in 1..n*K, map values in 1..n, n mask values and
// columnChanges below K; out must not alias an input.
void symBlockTimesDense(double* out, const double* values, const double* X, const double* positions,
                        int32_t count, const double* map, const double* mask, int32_t n, int32_t N);

// The run counter at the end of the walk: how many times the column changes
// from the starting column 0. The map needs more entries than this.
// Positions must lie in 1..n*K (n > 0).
int64_t columnChanges(const double* positions, int32_t count, int32_t n);
