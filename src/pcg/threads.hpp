#pragma once
#include <omp.h>

#include <algorithm>
#include <cstdint>

// Thread count for a solve over `columns` columns: the request, at least 1,
// at most one per column and a few per processor. Results never depend on
// it, so the cap changes nothing but speed.
inline int capThreadCount(int32_t requested, int64_t columns) {
  const int64_t perProcessor = 4 * static_cast<int64_t>(std::max(1, omp_get_num_procs()));
  int64_t t = std::min<int64_t>({static_cast<int64_t>(requested), columns, perProcessor});
  return static_cast<int>(std::max<int64_t>(t, 1));
}
