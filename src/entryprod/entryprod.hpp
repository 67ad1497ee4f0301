#pragma once
// Listed entries of a dense product: element (r, j) of an L x N output is
// column p of a left factor dotted with column j of the right factor B,
// where p comes from a row map. Both factors have m rows; positions and map
// values are 1-based doubles, truncated toward zero.
#include <cstdint>

// For each listed position k (0-based r + j*L) of an L x N output:
// p = rowMap[r] - 1 and out[k] = a(:, p) . b(:, j), summed in ascending
// row order. When symmetric, entries with p < j are skipped and each
// computed value is stored first at (columnMap[j] - 1) + p*L, the mirrored
// element. Writes only those elements of out, which must not alias an
// input; positions must lie in 1..L*N and the checks below must have
// passed. Long plain lists in any but ascending order take the tiled pass
// below; other lists, and calls whose scratch is not available, the
// list-order pass. Both give the same bits.
void productEntriesPass(double* out, const double* a, const double* b, int32_t m,
                        const double* positions, int32_t count, const double* rowMap,
                        const double* columnMap, int32_t L, int32_t N, bool symmetric);

// The pass in list order, four entries at a time; needs no scratch.
void productEntriesPassInListOrder(double* out, const double* a, const double* b, int32_t m,
                                   const double* positions, int32_t count, const double* rowMap,
                                   const double* columnMap, int32_t L, bool symmetric);

// The plain pass by tiles of the output (a block of rows by a block of
// columns): entries filed by tile and, within a tile, by column, list order
// kept, so that each left-factor column is fetched once per tile and each
// right-factor column once per eight entries. Needs about 16 bytes per entry
// plus 12 per entry of the largest tile per thread; returns false, having
// written nothing, when that scratch is not available.
bool productEntriesPassTiled(double* out, const double* a, const double* b, int32_t m,
                             const double* positions, int32_t count, const double* rowMap,
                             int32_t L, int32_t N);

// Checks on lists whose positions all lie in 1..L*N (L > 0). Each returns the
// first list index that breaks its rule, or -1.
// The row map's value at the entry's row lies in 1..columns.
int64_t firstBadRowMapEntry(const double* positions, int32_t count, const double* rowMap, int32_t L,
                            int64_t columns);
// Symmetric pass: every entry it computes has p < N and columnMap[j] in 1..L,
// so its mirrored store stays in the output. Skipped entries are not checked.
int64_t firstBadMirrorEntry(const double* positions, int32_t count, const double* rowMap,
                            const double* columnMap, int32_t L, int64_t N);
