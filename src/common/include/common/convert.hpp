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

// Which of a list's dimensions gives its length: its row count, the larger
// of its two dimensions, its column count when it is one row and its row
// count otherwise, or all its elements.
enum class ListLength { rows, longerSide, rowOrColumn, elements };

// The length of a rows x cols list under `rule`, never more than the
// elements it holds: a k x 0 list has rows but no values, so it is empty.
inline int64_t listLength(int64_t rows, int64_t cols, ListLength rule) {
  if (rows == 0 || cols == 0) return 0;
  switch (rule) {
    case ListLength::rows:
      return rows;
    case ListLength::longerSide:
      return rows > cols ? rows : cols;
    case ListLength::rowOrColumn:
      return rows == 1 ? cols : rows;
    case ListLength::elements:
      break;
  }
  return rows * cols;
}

// First i whose positions[i] is not a valid 1-based position in 1..limit,
// or -1 when all are.
inline int64_t firstBadPosition(const double* positions, int64_t count, int64_t limit) {
  for (int64_t i = 0; i < count; ++i)
    if (positionIndex(positions[i], limit) < 0) return i;
  return -1;
}
