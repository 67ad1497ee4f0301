#include "dirsolve/dirsolve.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "common/convert.hpp"
#include "common/scratch.hpp"
#include "dirsolve/panels.hpp"

using dirsolvepanels::backwardSolveLowerTPanel;
using dirsolvepanels::forwardSolveLowerPanel;
using dirsolvepanels::forwardSolveUpperTPanel;
using dirsolvepanels::symUpperProductPanel;

void symUpperProduct(double* q, const double* p, int64_t n, const SparseColumns& A) {
  symUpperProductPanel<1>(q, p, n, A);
}

void forwardSolveLower(double* z, const double* r, int64_t n, const Factor& L) {
  forwardSolveLowerPanel<1>(z, r, n, L);
}

void forwardSolveUpperT(double* z, const double* r, int64_t n, const Factor& U) {
  forwardSolveUpperTPanel<1>(z, r, n, U);
}

void backwardSolveLowerT(double* z, const double* y, int64_t n, const Factor& L) {
  backwardSolveLowerTPanel<1>(z, y, n, L);
}

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

// Doubles per cache line: panels start on line boundaries, so that no
// vector of a row straddles two lines.
constexpr int64_t kLine = 8;

// Doubles of one thread's panel, rounded up to whole lines.
int64_t sliceDoubles(int width, int64_t n) { return (width * n + kLine - 1) / kLine * kLine; }

}  // namespace

int panelWidth(const DirsolveProblem& pb, int numThreads) {
  // Sixteen lanes (two vectors a row in the AVX-512 build) measured best in
  // both builds from n = 10,000 to 90,000: the matrix and factors are read
  // once for that many columns, which outweighs panels outgrowing the cache.
  int w = 16;
  // Enough panels to keep every thread busy.
  while (w > 1 && pb.k / w < numThreads) w /= 2;
  // A panel within 64 MiB (a thread holds four), down to two lanes.
  const double rowBytes = static_cast<double>(pb.n) * sizeof(double);
  while (w > 2 && rowBytes * w > 64.0 * 1024 * 1024) w /= 2;
  return w;
}

uint64_t panelScratch(const DirsolveProblem& pb, int numThreads) {
  return static_cast<uint64_t>(numThreads) * sliceDoubles(panelWidth(pb, numThreads), pb.n) + kLine;
}

int64_t panelCount(int64_t k, int width) {
  int64_t count = k / width;
  for (int64_t rest = k % width; rest > 0; rest &= rest - 1) ++count;
  return count;
}

Panel panelAt(int64_t u, int64_t k, int width) {
  const int64_t full = k / width;
  if (u < full) return {u * width, width};
  // The rest, k mod width columns, in panels of halving width.
  int64_t first = full * width, left = u - full;
  for (int w = width / 2; w >= 1; w /= 2) {
    if (!(k % width & w)) continue;
    if (left-- == 0) return {first, w};
    first += w;
  }
  return {first, 1};  // not reached for u < panelCount(k, width)
}

namespace {

// Every stored value and reciprocal of the factor is finite.
bool finiteFactor(const Factor& F, int64_t n) {
  for (uint64_t e = 0; e < F.m.Jc[n]; ++e)
    if (!std::isfinite(F.m.values[e])) return false;
  for (int64_t j = 0; j < n; ++j)
    if (!std::isfinite(F.recipDiag[j])) return false;
  return true;
}

}  // namespace

void solveColumns(const DirsolveProblem& pb, double* X, int numThreads, double* R, double* P,
                  double* Z, double* XF, const ColumnReport& report) {
  PanelPlan plan;
  plan.width = panelWidth(pb, numThreads);
  plan.slice = sliceDoubles(plan.width, pb.n);
  auto align = [](double* a) {
    const uintptr_t bytes = kLine * sizeof(double);
    const uintptr_t at = reinterpret_cast<uintptr_t>(a);
    return a + ((bytes - at % bytes) % bytes) / sizeof(double);
  };
  R = align(R), P = align(P), Z = align(Z), XF = align(XF);
  // Unit right-hand sides through a factor: the first forward solve may
  // start at the first row that holds a 1 in its panel, so panels take the
  // indices in ascending order, which keeps their rows close. A column's
  // bits do not depend on its panel, so without memory for the order the
  // columns simply keep theirs.
  ScratchArray<int64_t> order;
  if (pb.canonical && pb.L) {
    plan.finiteFactors = finiteFactor(pb.U ? *pb.U : *pb.L, pb.n);
    order = makeScratch<int64_t>(static_cast<size_t>(pb.k));
    if (order) {
      for (int64_t j = 0; j < pb.k; ++j) order[j] = j;
      std::stable_sort(order.get(), order.get() + pb.k, [&](int64_t a, int64_t b) {
        return truncToInt32(pb.B[a]) < truncToInt32(pb.B[b]);
      });
      plan.order = order.get();
    }
  }
#if defined(DIRSOLVE_HAVE_AVX512)
  if (wideBuildUsable(pb)) {
    solveColumnsAvx512(pb, plan, X, numThreads, R, P, Z, XF, report);
    return;
  }
#endif
  dirsolvepanels::solveColumnsWith(pb, plan, X, numThreads, R, P, Z, XF, report);
}
