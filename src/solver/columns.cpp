#include "solver/columns.hpp"

#include <algorithm>

namespace {

// Doubles of one thread's panel, rounded up to whole lines.
int64_t sliceDoubles(int width, int64_t n) {
  return (width * n + kLineDoubles - 1) / kLineDoubles * kLineDoubles;
}

int panelWidth(int64_t n, int64_t k, int numThreads, int maxLanes) {
  // Sixteen lanes (two vectors a row in the AVX-512 build) measured best in
  // both builds from n = 10,000 to 90,000: the matrix and factors are read
  // once for that many columns, which outweighs panels outgrowing the cache.
  int w = std::min(kMaxLanes, maxLanes);
  // Enough panels to keep every thread busy.
  while (w > 1 && k / w < numThreads) w /= 2;
  // A panel within 64 MiB (a thread holds four), down to two lanes.
  const double rowBytes = static_cast<double>(n) * sizeof(double);
  while (w > 2 && rowBytes * w > 64.0 * 1024 * 1024) w /= 2;
  return w;
}

}  // namespace

ColumnPlan planColumns(int64_t n, int64_t k, int numThreads, int maxLanes) {
  ColumnPlan plan;
  plan.width = panelWidth(n, k, numThreads, maxLanes);
  plan.slice = sliceDoubles(plan.width, n);
  return plan;
}

uint64_t panelDoubles(int64_t n, int64_t k, int numThreads, int maxLanes) {
  return static_cast<uint64_t>(numThreads) * planColumns(n, k, numThreads, maxLanes).slice +
         kLineDoubles;
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

bool PanelScratch::allocate(uint64_t doubles) {
  R_ = makeScratch<double>(doubles);
  P_ = makeScratch<double>(doubles);
  Z_ = makeScratch<double>(doubles);
  XF_ = makeScratch<double>(doubles);
  return R_ && P_ && Z_ && XF_;
}
