// [X, info] = dirsolve(A, x_in, B, maxIter, tol, L, U, numThreads, rowSubset)
#include <cinttypes>
#include <cstdint>

#include "common/threads.hpp"
#include "dirsolve/dirsolve.hpp"
#include "host/module.hpp"
#include "solver/bind.hpp"

namespace {

enum Arg { kA, kXin, kB, kMaxIter, kTol, kL, kU, kThreads, kRowSubset, kArgCount };
const char* const kNames[kArgCount] = {"A", "x_in", "B",          "maxIter",  "tol",
                                       "L", "U",    "numThreads", "rowSubset"};

// Checks that column layout `upper` (diagonal last, rows above) or lower
// (diagonal first, rows below) holds, naming the first column that breaks it.
bool triangleLayout(const host::Call& call, int k, const host::SparseArg& M, bool upper) {
  const int64_t n = M.cols;
  const int64_t j = upper ? firstBadUpperColumn(n, M.Ir, M.Jc) : firstBadLowerColumn(n, M.Ir, M.Jc);
  if (j < 0) return true;
  const uint64_t b = M.Jc[j], e = M.Jc[j + 1];
  if (e == b) return call.reject(k, "column %" PRId64 " stores no diagonal entry", j + 1);
  const uint64_t d = upper ? e - 1 : b;
  if (M.Ir[d] != static_cast<uint64_t>(j))
    return call.reject(
        k, "column %" PRId64 " stores row %" PRIu64 " where its diagonal must be (%s entry)", j + 1,
        M.Ir[d] + 1, upper ? "last" : "first");
  return call.reject(k, "column %" PRId64 " stores an entry outside the %s triangle", j + 1,
                     upper ? "upper" : "lower");
}

bool bindSquare(host::Call& call, int k, int64_t n, host::SparseArg* M) {
  return call.sparse(k, M) && call.shape(k, n, n);
}

void gateway(host::Call& call) {
  if (!call.needArgs(kArgCount)) return;

  SolverArgs a;
  if (!bindSolverArgs(call, {kA, kXin, kB, kMaxIter, kTol, kThreads, kRowSubset}, &a)) return;
  const int64_t n = a.request.n, k = a.request.k;

  host::SparseArg Lm, Um;
  const bool hasL = call.present(kL), hasU = call.present(kU);
  if (hasL && (!bindSquare(call, kL, n, &Lm) || !triangleLayout(call, kL, Lm, false))) return;
  if (hasU && (!bindSquare(call, kU, n, &Um) || !triangleLayout(call, kU, Um, true))) return;
  if (!triangleLayout(call, kA, a.A, true)) return;

  // Scratch: reciprocal diagonals (only L's and U's that are used), then
  // a panel of n rows per thread for r, p, z and x.
  Factor L{}, U{};
  DirsolveProblem pb;
  pb.request = a.request;
  pb.A = SparseColumns{a.A.Ir, a.A.Jc, a.A.values};
  const int T = threadCount(a.numThreads, k);
  ScratchArray<double> recipL, recipU;
  if (hasL) {
    recipL = makeScratch<double>(n);
    if (hasU) recipU = makeScratch<double>(n);
  }
  PanelScratch panels;
  if (!panels.allocate(dirsolveScratch(pb, T)) || (hasL && !recipL) || (hasL && hasU && !recipU)) {
    call.outOfMemory();
    return;
  }

  if (hasL) {
    L = Factor{SparseColumns{Lm.Ir, Lm.Jc, Lm.values}, recipL.get()};
    reciprocalDiagonal(recipL.get(), n, L.m, true);
    pb.L = &L;
    if (hasU) {
      U = Factor{SparseColumns{Um.Ir, Um.Jc, Um.values}, recipU.get()};
      reciprocalDiagonal(recipU.get(), n, U.m, false);
      pb.U = &U;
    }
  }

  // The column loop writes every element of X.
  double* X = call.outputToFill(0, a.request.rowSubset ? a.request.m : n, k);
  const ColumnReport info = solverInfo(call, 1, k);
  solveColumns(pb, X, T, panels.buffers(), info);
}

}  // namespace

HOST_MODULE(dirsolve, kNames, gateway)
