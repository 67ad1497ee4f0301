#pragma once
// What both solver modules are asked per call besides their matrix: the
// right-hand sides, starting points, returned rows and stopping rule.
#include <cstdint>

struct ColumnRequest {
  int64_t n = 0;
  int64_t k = 0;
  const double* B = nullptr;  // n x k, or 1 x k 1-based indices when canonical
  bool canonical = false;
  const double* xIn = nullptr;        // n x k starting points, or null for 0
  const double* rowSubset = nullptr;  // m 1-based rows, or null for all rows
  int64_t m = 0;
  int32_t maxIter = 0;
  double tol = 0.0;
};

// What each column's solve did, for callers that ask: the passes it made
// and ||r|| / ||b|| of its last residual (0 when b = 0), k values each.
// Either pointer may be null.
struct ColumnReport {
  double* passes = nullptr;
  double* relres = nullptr;
};
