#pragma once
// The arguments both solver gateways share, bound and checked in one
// place: A (sparse, square), x_in, B (dense or canonical indices),
// maxIter, tol, numThreads and rowSubset; and their optional info output.
// The gateway side of the solver layer: it alone here calls the host
// binding, through host::Call, so the same build serves every host.
#include <cstdint>

#include "host/call.hpp"
#include "solver/request.hpp"

// Argument numbers (0-based) of the shared arguments in a module's list.
struct SolverArgSlots {
  int A, xIn, B, maxIter, tol, numThreads, rowSubset;
};

// The shared arguments as bound: the request, A, and the thread count.
struct SolverArgs {
  ColumnRequest request;
  host::SparseArg A;
  int32_t numThreads = 1;  // as requested, before any cap
};

// Binds and checks the shared arguments: canonical mode with x_in prints its
// historical message; every index in B and rowSubset lies in 1..n. A's
// column layout is the module's own to check.
bool bindSolverArgs(host::Call& call, const SolverArgSlots& slot, SolverArgs* out);

// The optional second output, [X, info] = solver(...): when asked for, a
// struct whose 1 x k rows `passes` and `relres` the report fills; an
// empty report (nothing to fill) otherwise.
ColumnReport solverInfo(host::Call& call, int slot, int64_t k);
