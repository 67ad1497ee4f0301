#pragma once
// S^T C for a sparse M x L matrix S given as a value list and a list of
// 1-based column-major positions (doubles, truncated toward zero).
#include <cstdint>

// out (L x N, zero-filled by the caller) = S^T C, C being M x N. Each output
// column walks the list: a run of consecutive entries in one column q of S
// is summed in list order and assigned to out(q, j), so a column whose
// entries form two runs keeps only the later run's sum. Rows of columns
// without entries are not written. Positions must lie in 1..M*L (M > 0
// when any are listed); out must not alias an input.
void sparseTransposeDenseColumns(double* out, const double* values, const double* positions,
                                 int32_t count, int32_t L, const double* C, int32_t N, int32_t M);
