// [X, info] = dirsolve_duo(A, x_in, B, maxIter, tol, numThreads, rowSubset, blockIndex,
//                          wholeBlocks, precondition)
#include <algorithm>
#include <cinttypes>
#include <cstdint>

#include "common/threads.hpp"
#include "dirsolve_duo/dirsolve_duo.hpp"
#include "host/module.hpp"
#include "solver/bind.hpp"

namespace {

enum Arg {
  kA,
  kXin,
  kB,
  kMaxIter,
  kTol,
  kThreads,
  kRowSubset,
  kBlockIndex,
  kWholeBlocks,
  kPrecondition,
  kArgCount
};
const char* const kNames[kArgCount] = {"A",           "x_in",        "B",         "maxIter",
                                       "tol",         "numThreads",  "rowSubset", "blockIndex",
                                       "wholeBlocks", "precondition"};

// A holds both triangles with its rows ascending and its diagonal stored,
// which the layout's lower triangles and reciprocal diagonal rely on.
bool wholeLayout(const host::Call& call, const host::SparseArg& A) {
  const int64_t n = A.cols;
  const int64_t j = firstBadWholeColumn(n, A.Ir, A.Jc);
  if (j < 0) return true;
  for (uint64_t t = A.Jc[j]; t < A.Jc[j + 1]; ++t) {
    if (A.Ir[t] >= static_cast<uint64_t>(n))
      return call.reject(kA, "column %" PRId64 " stores row %" PRIu64 ", outside 1..%" PRId64,
                         j + 1, A.Ir[t] + 1, n);
    if (t > A.Jc[j] && A.Ir[t] <= A.Ir[t - 1])
      return call.reject(kA, "row indices of column %" PRId64 " do not ascend", j + 1);
  }
  return call.reject(kA, "column %" PRId64 " stores no diagonal entry", j + 1);
}

// blockIndex is n unsigned 64-bit block numbers, each below INT32_MAX.
bool bindBlockIndex(host::Call& call, int64_t n, const uint64_t** out) {
  const uint64_t* blk;
  if (!call.uint64s(kBlockIndex, &blk) || !call.exactly(kBlockIndex, n, "elements", nullptr))
    return false;
  for (int64_t u = 0; u < n; ++u)
    if (blk[u] >= static_cast<uint64_t>(INT32_MAX))
      return call.reject(kBlockIndex,
                         "element %" PRId64 " is %" PRIu64 ", block numbers must lie in 0..%d",
                         u + 1, blk[u], INT32_MAX - 1);
  *out = blk;
  return true;
}

// Builds the block layout of A, with the reciprocal diagonal when the
// sweeps of whole blocks need it; a block too large is named.
bool buildLayout(const host::Call& call, const host::SparseArg& A, const uint64_t* blockIndex,
                 bool wholeBlocks, bool precondition, OwnedLayout* out) {
  BlockLayout& layout = out->layout;
  layout.Ir = A.Ir;
  layout.Jc = A.Jc;
  layout.values = A.values;
  layout.blockIndex = blockIndex;
  layout.wholeBlocks = wholeBlocks;
  layout.n = static_cast<uint64_t>(A.cols);
  switch (buildBlockLayout(layout, out->diag, out->couple)) {
    case LayoutStatus::ok:
      break;
    case LayoutStatus::blockTooLarge: {
      uint64_t size;
      const int32_t b = largestBlock(layout, &size);
      return call.reject(kBlockIndex,
                         "block %d holds %" PRIu64 " variables, at most %" PRIu64 " supported", b,
                         size, kMaxBlockSize);
    }
    case LayoutStatus::tooManyBlocks:  // ruled out by bindBlockIndex
    case LayoutStatus::outOfMemory:
      return call.outOfMemory();
  }
  if (precondition && wholeBlocks && !computeInverseDiagonal(layout, out->diag))
    return call.outOfMemory();
  return true;
}

void gateway(host::Call& call) {
  if (!call.needArgs(kArgCount)) return;

  SolverArgs a;
  if (!bindSolverArgs(call, {kA, kXin, kB, kMaxIter, kTol, kThreads, kRowSubset}, &a)) return;
  const host::SparseArg& A = a.A;
  const int64_t n = a.request.n, k = a.request.k;

  const uint64_t* blockIndex = nullptr;
  bool wholeBlocks, precondition;
  if (!bindBlockIndex(call, n, &blockIndex) || !call.flag(kWholeBlocks, &wholeBlocks) ||
      !call.flag(kPrecondition, &precondition))
    return;
  if (!wholeLayout(call, A)) return;

  // The layout, built once and shared by every thread.
  OwnedLayout owned;
  if (!buildLayout(call, A, blockIndex, wholeBlocks, precondition, &owned)) return;

  DuoProblem pb;
  pb.request = a.request;
  pb.layout = &owned.layout;
  pb.diag = &owned.diag;
  pb.couple = &owned.couple;
  pb.precondition = precondition;

  // A panel of columns per thread for r, p, z and x, and the lower
  // sweep's copies of the blocks' residuals.
  const int T = threadCount(a.numThreads, k);
  const uint64_t w = sgsScratchSize(pb, T);
  PanelScratch panels;
  ScratchArray<double> S;
  if (w > 0) S = makeScratch<double>(static_cast<size_t>(T) * w);
  if (!panels.allocate(duoScratch(pb, T)) || (w > 0 && !S)) {
    call.outOfMemory();
    return;
  }

  // The column loop writes every element of X.
  double* X = call.outputToFill(0, a.request.rowSubset ? a.request.m : n, k);
  const ColumnReport info = solverInfo(call, 1, k);
  solveBlockColumns(pb, X, T, panels.buffers(), S.get(), info);
}

}  // namespace

HOST_MODULE(dirsolve_duo, kNames, gateway)
