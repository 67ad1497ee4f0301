#pragma once
// The dispatch both list products share: output columns in blocks, each
// block served by one walk over the whole list, blocks spread over threads.
#include <omp.h>

#include <cstdint>

#include "common/widths.hpp"

// How blocks are handed to threads. Every block writes only its own output
// columns, so the schedule never changes a result. colrunprod takes blocks
// as threads come free, which evens out its tail of single columns (cheaper
// than a block); colsetprod gives each thread one contiguous range of
// columns, as it always has.
enum class ColumnSchedule { dynamic, contiguous };

// The block width forColumnBlocks takes for N columns: MaxBlock (a power
// of two), halved while there are fewer blocks than threads.
template <int MaxBlock>
int32_t columnBlockWidth(int32_t N) {
  int32_t J = MaxBlock;
  while (J > 1 && N / J < omp_get_max_threads()) J /= 2;
  return J;
}

// walk(std::integral_constant<int, J>(), j) for every block of J columns
// from column j, covering columns 0..N-1 once: blocks of
// columnBlockWidth<MaxBlock>(N) columns, then the remaining columns one by
// one.
template <int MaxBlock, ColumnSchedule Schedule, class Walk>
void forColumnBlocks(int32_t N, const Walk& walk) {
  const int32_t J = columnBlockWidth<MaxBlock>(N);
  const int32_t blocks = N / J;
  const int32_t tasks = blocks + N % J;
  auto task = [&](int32_t t) {
    const int64_t j =
        t < blocks ? static_cast<int64_t>(t) * J : static_cast<int64_t>(blocks) * J + (t - blocks);
    withWidth<MaxBlock>(t < blocks ? J : 1, [&](auto width) { walk(width, j); });
  };
  if constexpr (Schedule == ColumnSchedule::dynamic) {
#pragma omp parallel for schedule(dynamic, 1)
    for (int32_t t = 0; t < tasks; ++t) task(t);
  } else {
#pragma omp parallel for schedule(static)
    for (int32_t t = 0; t < tasks; ++t) task(t);
  }
}
