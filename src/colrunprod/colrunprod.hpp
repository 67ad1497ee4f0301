#pragma once
// S^T C for a sparse M x L matrix S given as a value list and a list of
// 1-based column-major positions (doubles, truncated toward zero).
#include <cstdint>

// out (L x N, zero-filled by the caller) = S^T C, C being M x N. Each output
// column walks the list: a run of consecutive entries in one column q of S
// is summed in list order and assigned to out(q, j), so a column whose
// entries form two runs keeps only the later run's sum. Rows of columns
// without entries are not written. Positions must lie in 1..M*L (M > 0
// when any are listed); out must not alias an input. Serves the call by
// one of the three paths below, which give the same bits: the sweep or,
// for lists it declines, the panels when the list is long enough to repay
// copying C; the in-place walk otherwise.
void sparseTransposeDenseColumns(double* out, const double* values, const double* positions,
                                 int32_t count, int32_t L, const double* C, int32_t N, int32_t M);

// Copies of C are made when count * kPanelListShare >= M.
constexpr int64_t kPanelListShare = 2;

// The same product with C read once, in chunks of rows that every run of
// the list visits in turn; each run must list its rows ascending (as
// sorted positions and `find` do) and runs must average four entries or
// more. Needs 16 bytes per entry and, per thread, a panel of up to 512 KB
// and up to 16 sums per run. Returns false, having written nothing, when the list does
// not qualify or that scratch is not available.
bool sparseTransposeDenseColumnsSweep(double* out, const double* values, const double* positions,
                                      int32_t count, int32_t L, const double* C, int32_t N,
                                      int32_t M);

// The same product, each block of output columns walking C's columns in
// place (J scattered reads per entry). Needs no scratch.
void sparseTransposeDenseColumnsInPlace(double* out, const double* values, const double* positions,
                                        int32_t count, int32_t L, const double* C, int32_t N,
                                        int32_t M);

// The same product, each block of columns first copied into a row-major
// panel so that an entry reads one cache line for the block. Needs one
// panel of M rows of up to 8 values per thread; returns false, having written nothing, when that
// scratch is not available.
bool sparseTransposeDenseColumnsPanels(double* out, const double* values, const double* positions,
                                       int32_t count, int32_t L, const double* C, int32_t N,
                                       int32_t M);
