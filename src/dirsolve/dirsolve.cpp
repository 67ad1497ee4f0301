#include "dirsolve/dirsolve.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "common/convert.hpp"
#include "common/scratch.hpp"
#include "dirsolve/panels.hpp"

void reciprocalDiagonal(double* recip, int64_t n, const SparseColumns& M, bool diagonalFirst) {
  for (int64_t j = 0; j < n; ++j)
    recip[j] = 1.0 / M.values[diagonalFirst ? M.Jc[j] : M.Jc[j + 1] - 1];
}

int64_t firstBadUpperColumn(int64_t n, const uint64_t* Ir, const uint64_t* Jc) {
  for (int64_t j = 0; j < n; ++j) {
    const uint64_t b = Jc[j], e = Jc[j + 1];
    if (e <= b || Ir[e - 1] != static_cast<uint64_t>(j)) return j;
    for (uint64_t t = b; t + 1 < e; ++t)
      if (Ir[t] >= static_cast<uint64_t>(j)) return j;
  }
  return -1;
}

int64_t firstBadLowerColumn(int64_t n, const uint64_t* Ir, const uint64_t* Jc) {
  for (int64_t j = 0; j < n; ++j) {
    const uint64_t b = Jc[j], e = Jc[j + 1];
    if (e <= b || Ir[b] != static_cast<uint64_t>(j)) return j;
    for (uint64_t t = b + 1; t < e; ++t)
      if (Ir[t] <= static_cast<uint64_t>(j)) return j;
  }
  return -1;
}

namespace {

// The AVX-512 build runs where the processor and the system support it.
bool wideBuildUsable(const DirsolveProblem& pb) {
#if defined(DIRSOLVE_HAVE_AVX512)
  return pb.wideVectors && __builtin_cpu_supports("avx512f");
#else
  (void)pb;
  return false;
#endif
}

// Every stored value and reciprocal of the factor is finite.
bool finiteFactor(const Factor& F, int64_t n) {
  for (uint64_t e = 0; e < F.m.Jc[n]; ++e)
    if (!std::isfinite(F.m.values[e])) return false;
  for (int64_t j = 0; j < n; ++j)
    if (!std::isfinite(F.recipDiag[j])) return false;
  return true;
}

}  // namespace

uint64_t dirsolveScratch(const DirsolveProblem& pb, int numThreads) {
  return panelDoubles(pb.request.n, pb.request.k, numThreads, kDirsolveLanes);
}

void solveColumns(const DirsolveProblem& pb, double* X, int numThreads, const PanelBuffers& buf,
                  const ColumnReport& report) {
  const ColumnRequest& rq = pb.request;
  ColumnPlan plan = planColumns(rq.n, rq.k, numThreads, kDirsolveLanes);
  // Unit right-hand sides through a factor: the first forward solve may
  // start at the first row that holds a 1 in its panel, so panels take the
  // indices in ascending order, which keeps their rows close. A column's
  // bits do not depend on its panel, so without memory for the order the
  // columns simply keep theirs.
  bool finiteFactors = false;
  ScratchArray<int64_t> order;
  if (rq.canonical && pb.L) {
    finiteFactors = finiteFactor(pb.U ? *pb.U : *pb.L, rq.n);
    order = makeScratch<int64_t>(static_cast<size_t>(rq.k));
    if (order) {
      for (int64_t j = 0; j < rq.k; ++j) order[j] = j;
      std::stable_sort(order.get(), order.get() + rq.k, [&](int64_t a, int64_t b) {
        return truncToInt32(rq.B[a]) < truncToInt32(rq.B[b]);
      });
      plan.order = order.get();
    }
  }
#if defined(DIRSOLVE_HAVE_AVX512)
  if (wideBuildUsable(pb)) {
    solveColumnsAvx512(pb, plan, finiteFactors, X, numThreads, buf, report);
    return;
  }
#endif
  dirsolvepanels::solveColumnsWith(pb, plan, finiteFactors, X, numThreads, buf, report);
}
