#pragma once
// How many threads a module runs on when its caller gives a count: the one
// rule every module that takes numThreads follows. The others run on
// OpenMP's default (OMP_NUM_THREADS). No result depends on either.
#include <omp.h>

#include <algorithm>
#include <cstdint>

// The request (below 1 counts as 1), at most one per processor and one per
// unit of work: a thread without a core of its own only waits, and stalls
// every barrier its team meets; one without work only holds its scratch.
inline int threadCount(int32_t requested, int64_t units = INT64_MAX) {
  const int64_t most = std::min<int64_t>(units, std::max(1, omp_get_num_procs()));
  return static_cast<int>(std::max<int64_t>(1, std::min<int64_t>(requested, most)));
}
