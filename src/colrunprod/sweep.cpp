// The sweep: C read once, in chunks of rows, for lists whose runs list
// their rows in ascending order (as sorted positions and `find` give).
#include <omp.h>

#include "colrunprod/colrunprod.hpp"
#include "colrunprod/runs.hpp"
#include "common/column_blocks.hpp"
#include "common/prefetch.hpp"
#include "common/scratch.hpp"

namespace {

// Output columns one sweep serves.
constexpr int32_t kBlock = 16;

// Rows r0..r0+n-1 of columns 0..J-1 of C into P, row-major.
template <int J>
void loadChunk(double* P, const double* C, int64_t ldc, int32_t r0, int32_t n) {
  for (int32_t r = 0; r < n; ++r)
    for (int t = 0; t < J; ++t) P[static_cast<int64_t>(r) * J + t] = C[r0 + r + t * ldc];
}

// Asks for the lines of rows 0..n-1 of J columns, a few at each step, so
// that the next chunk arrives while this one is worked.
template <int J>
struct NextChunk {
  const double* C;
  int64_t ldc;
  int32_t n;
  int t = 0;
  int32_t r = 0;
  void step() {
    for (int k = 0; k < 4 && t < J; ++k) {
      prefetchRead(C + r + t * ldc);
      r += 8;
      if (r >= n) r = 0, ++t;
    }
  }
};

// Columns 0..J-1 of o (stride L) from columns 0..J-1 of C. Every run keeps
// its J running sums in `sums` between chunks and takes its entries chunk
// by chunk; rows ascend within a run, so each sum still adds its run's
// entries in list order, exactly as a walk of the whole list does.
template <int J>
void sweepColumns(double* o, int64_t L, const ChunkedList& list, const double* C, int64_t ldc,
                  int32_t M, double* panel, double* sums) {
  for (int64_t x = 0; x < static_cast<int64_t>(list.runs) * J; ++x) sums[x] = 0.0;
  for (int32_t c = 0; c < list.chunks; ++c) {
    const int32_t r0 = c * kChunkRows;
    loadChunk<J>(panel, C, ldc, r0, M - r0 < kChunkRows ? M - r0 : kChunkRows);
    const int32_t r1 = r0 + kChunkRows;
    NextChunk<J> next{C + r1, ldc, M - r1 < kChunkRows ? M - r1 : kChunkRows};
    const ChunkEntry* e = list.entries + list.first[c];
    const ChunkEntry* end = list.entries + list.first[c + 1];
    while (e < end) {
      next.step();
      // The chunk's entries of one run follow each other.
      const int32_t g = e->run;
      double* s = sums + static_cast<int64_t>(g) * J;
      double sum[J];
      for (int t = 0; t < J; ++t) sum[t] = s[t];
      do {
        const double v = e->value;
        const double* row = panel + static_cast<int64_t>(e->row) * J;
        for (int t = 0; t < J; ++t) sum[t] = sum[t] + row[t] * v;
      } while (++e < end && e->run == g);
      for (int t = 0; t < J; ++t) s[t] = sum[t];
    }
  }
  // Runs assigned in list order: of a column's runs the later one stays.
  for (int32_t g = 0; g < list.runs; ++g)
    for (int t = 0; t < J; ++t) o[list.column[g] + t * L] = sums[static_cast<int64_t>(g) * J + t];
}

}  // namespace

bool sparseTransposeDenseColumnsSweep(double* out, const double* values, const double* positions,
                                      int32_t count, int32_t L, const double* C, int32_t N,
                                      int32_t M) {
  if (count == 0 || N == 0) return true;
  ChunkedListScratch scratch;
  ChunkedList list;
  if (!chunkList(values, positions, count, M, &scratch, &list)) return false;

  // Per thread: a panel and J sums per run, taken before the threads start.
  const int threads = omp_get_max_threads();
  const int32_t width = columnBlockWidth<kBlock>(N);
  const int64_t panelDoubles = static_cast<int64_t>(kChunkRows) * width;
  const int64_t own = panelDoubles + static_cast<int64_t>(list.runs) * width;
  ScratchArray<double> panels = makeScratch<double>(threads * own);
  if (!panels) return false;
  const int64_t ldo = L, ldc = M;
  forColumnBlocks<kBlock, ColumnSchedule::dynamic>(N, [&](auto width, int64_t j) {
    constexpr int J = decltype(width)::value;
    double* panel = panels.get() + omp_get_thread_num() * own;
    sweepColumns<J>(out + j * ldo, ldo, list, C + j * ldc, ldc, M, panel, panel + panelDoubles);
  });
  return true;
}
