#pragma once
// Conversions of host doubles to the integers kernels use; free of the host
// interface so that kernel tests cover them.
#include <cmath>
#include <cstdint>

// Truncation toward zero to int32; out-of-range values saturate, NaN gives 0,
// so no conversion is ever undefined.
inline int32_t truncToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// 0-based index of a 1-based position value, or -1 when the value is not
// finite or its truncation falls outside 1..limit.
inline int64_t positionIndex(double v, int64_t limit) {
  // Kernels read positions as int32, so larger values are never valid.
  if (!(v >= 1.0 && v < 2147483648.0)) return -1;
  const int64_t k = truncToInt32(v);
  return k <= limit ? k - 1 : -1;
}

// First i whose positions[i] is not a valid 1-based position in 1..limit,
// or -1 when all are.
inline int64_t firstBadPosition(const double* positions, int64_t count, int64_t limit) {
  for (int64_t i = 0; i < count; ++i)
    if (positionIndex(positions[i], limit) < 0) return i;
  return -1;
}
