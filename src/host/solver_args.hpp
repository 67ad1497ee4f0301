#pragma once
// The arguments both conjugate-gradient modules share, bound and checked in
// one place: A (sparse, square), x_in, B (dense or canonical indices),
// maxIter, tol, numThreads and rowSubset.
#include <cstdint>

#include "host/mexhost.hpp"

namespace host {

// Argument numbers (0-based) of the shared arguments in a module's list.
struct SolverArgSlots {
  int A, xIn, B, maxIter, tol, numThreads, rowSubset;
};

struct SolverArgs {
  SparseArg A;
  int64_t n = 0;
  int64_t k = 0;
  const double* B = nullptr;
  bool canonical = false;  // B is a 1 x k row of 1-based indices
  const double* xIn = nullptr;
  int32_t maxIter = 0;
  double tol = 0.0;
  int32_t numThreads = 1;  // as requested, before any cap
  const double* rowSubset = nullptr;
  int64_t m = 0;
};

// Binds and checks the shared arguments: canonical mode with x_in prints its
// historical message; every index in B and rowSubset lies in 1..n. A's
// column layout is the module's own to check.
bool bindSolverArgs(const Call& call, const SolverArgSlots& slot, SolverArgs* out);

}  // namespace host
