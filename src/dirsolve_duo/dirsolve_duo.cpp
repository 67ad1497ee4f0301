#include "dirsolve_duo/dirsolve_duo.hpp"

#include <cmath>

#include "dirsolve_duo/panels.hpp"

void applyBlockSgs(const BlockLayout& layout, const DiagBlocks& D, double* z, const double* r,
                   double* s, bool finite) {
  duopanels::applyBlockSgsPanel<1>(layout, D, z, r, s, finite);
}

uint64_t blockSgsScratch(const BlockLayout& layout, int lanes) {
  if (layout.wholeBlocks == 1) return 0;
  uint64_t w = 0;
  largestBlock(layout, &w);
  return static_cast<uint64_t>(kSgsLanes) * static_cast<uint64_t>(lanes) * w;
}

bool finiteBlocks(const DiagBlocks& D) {
  for (uint64_t e = 0; e < D.diagCount; ++e)
    if (!std::isfinite(D.diagValue[e])) return false;
  return true;
}

int64_t firstBadWholeColumn(int64_t n, const uint64_t* Ir, const uint64_t* Jc) {
  for (int64_t j = 0; j < n; ++j) {
    const uint64_t b = Jc[j], e = Jc[j + 1];
    bool diagonal = false;
    for (uint64_t t = b; t < e; ++t) {
      if (Ir[t] >= static_cast<uint64_t>(n) || (t > b && Ir[t] <= Ir[t - 1])) return j;
      diagonal = diagonal || Ir[t] == static_cast<uint64_t>(j);
    }
    if (!diagonal) return j;
  }
  return -1;
}

uint64_t duoScratch(const DuoProblem& pb, int numThreads) {
  return panelDoubles(pb.request.n, pb.request.k, numThreads, kDuoLanes);
}

uint64_t sgsScratchSize(const DuoProblem& pb, int numThreads) {
  if (!pb.precondition) return 0;
  const ColumnPlan plan = planColumns(pb.request.n, pb.request.k, numThreads, kDuoLanes);
  return blockSgsScratch(*pb.layout, plan.width);
}

void solveBlockColumns(const DuoProblem& pb, double* X, int numThreads, const PanelBuffers& buf,
                       double* S, const ColumnReport& report) {
  const ColumnPlan plan = planColumns(pb.request.n, pb.request.k, numThreads, kDuoLanes);
#if defined(DIRSOLVE_DUO_HAVE_AVX512)
  // The AVX-512 build runs where the processor and the system support it.
  if (pb.wideVectors && __builtin_cpu_supports("avx512f")) {
    solveBlockColumnsAvx512(pb, plan, X, numThreads, buf, S, report);
    return;
  }
#endif
  duopanels::solveColumnsWith(pb, plan, X, numThreads, buf, S, report);
}
