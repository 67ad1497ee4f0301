#pragma once
// The block's columns of row numbers, and the checks of an entry list
// against them, for the coordinate sweeps.
#include <cstdint>

// rows[c] = index[c] - 1 (index values 1-based, already checked to lie in
// 1..n, fractions truncated) and local[rows[c]] = c; every other element of
// local[0..n) is -1. Returns the first c whose row an earlier column
// *earlier already holds, or -1 when the rows are distinct.
int32_t mapIndexColumns(const double* index, int32_t m, int32_t n, int32_t* local, int32_t* rows,
                        int32_t* earlier);

// out[e] = local[values[e] - 1] for row numbers already checked to lie in
// 1..n. Returns the first e whose row is not a column of the block, or -1.
int32_t entryColumns(const double* values, int32_t count, const int32_t* local, int32_t* out);

// The first entry e whose unordered pair {li[e], lj[e]} (local columns in
// 0..m-1) an earlier entry *earlier names too, or -1. When its table
// cannot be had it sets *outOfMemory and returns -1.
int32_t firstRepeatedPair(const int32_t* li, const int32_t* lj, int32_t count, int32_t m,
                          int32_t* earlier, bool* outOfMemory);
