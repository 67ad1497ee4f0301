#pragma once
// Exact minimising step of a quadratic plus a weighted L1 term along a line.
#include <cstdint>

// Minimises f(t) = A + B t + C t^2 + lambda * sum_e |x_e + t v_e| over
// [lo, hi] piece by piece between the kinks of the L1 term. The terms are
// the entries index[0..termCount) (1-based, already checked against x and
// v; a repeated entry counts twice), or entries 0..termCount-1 when index is
// null. Returns t and writes f(t) to *minValue. When scratch cannot be had
// it sets *outOfMemory, writes nothing and returns 0. wideVectors: classify
// in the AVX2 build where the processor has it (the bits are the same).
double stepMinimize(double A, double B, double C, double lambda, double lo, double hi,
                    const double* x, const double* v, const double* index, int32_t termCount,
                    double* minValue, bool* outOfMemory, bool wideVectors = true);

// The same, as it was computed before the classification went by chunks
// and the sort only as far as the scan reads: one term at a time, then
// every breakpoint sorted. For tests, which hold stepMinimize to its bits.
double stepMinimizeReference(double A, double B, double C, double lambda, double lo, double hi,
                             const double* x, const double* v, const double* index,
                             int32_t termCount, double* minValue, bool* outOfMemory);

// Sorts values[first..last] ascending by a top-down merge sort, moving each
// entry with its value; equal values keep their order. The scratch arrays
// cover at least positions first..last.
void sortBreakpoints(double* values, int32_t* entries, int32_t first, int32_t last,
                     double* scratchValues, int32_t* scratchEntries);

// Merges the adjacent sorted runs [first, mid] and [mid + 1, last] through
// the scratch arrays (same positions) and copies the result back; the left
// element goes first unless the right one's value is smaller.
void mergeBreakpointRuns(double* values, int32_t* entries, int32_t first, int32_t mid, int32_t last,
                         double* scratchValues, int32_t* scratchEntries);

// Same result as sortBreakpoints on [0, count) when no value is NaN, in a few
// linear passes: a stable radix sort on the ordered bit patterns. -0 and +0
// count as equal and both come out as +0.
void radixSortBreakpoints(double* values, int32_t* entries, int32_t count, double* scratchValues,
                          int32_t* scratchEntries);
