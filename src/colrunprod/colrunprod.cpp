#include "colrunprod/colrunprod.hpp"

#include <omp.h>

#include "common/column_blocks.hpp"
#include "common/column_split.hpp"
#include "common/convert.hpp"
#include "common/prefetch.hpp"
#include "common/scratch.hpp"

namespace {

// Output columns one walk serves: the list is read and each position split
// once per block. In a panel the block's values of one row of C fill one
// cache line.
constexpr int32_t kBlock = 8;

// Rows of C as the walk reads them: in place, J scattered columns apart.
template <int J>
struct InPlace {
  const double* C;
  int64_t ldc;
  double at(int32_t r, int t) const { return C[r + t * ldc]; }
  void prefetch(int32_t r) const {
    for (int t = 0; t < J; ++t) prefetchRead(C + r + t * ldc);
  }
};

// Rows of C copied side by side: row r's J values are contiguous.
template <int J>
struct Panel {
  const double* P;
  double at(int32_t r, int t) const { return P[static_cast<int64_t>(r) * J + t]; }
  void prefetch(int32_t r) const { prefetchRead(P + static_cast<int64_t>(r) * J); }
};

// Columns 0..J-1 of o (stride L) from the J columns that `rows` reads; each
// column's sums and stores are exactly those of a walk of its own.
template <int J, class Rows>
void walkColumns(double* o, const double* values, const double* positions, int32_t count, int64_t L,
                 const Rows& rows, int32_t M) {
  if (count == 0) return;
  double sum[J];
  for (int t = 0; t < J; ++t) sum[t] = 0.0;
  int32_t c = 0;
  ColumnSplit split(M);
  ColumnSplit ahead(M);
  for (int32_t i = 0; i < count; ++i) {
    if (i + kPrefetchAhead < count) {
      // The rows an entry reads are known from the list: ask for them early.
      int32_t qa, ra;
      ahead.at(truncToInt32(positions[i + kPrefetchAhead]) - 1, &qa, &ra);
      rows.prefetch(ra);
    }
    int32_t q, r;
    split.at(truncToInt32(positions[i]) - 1, &q, &r);
    if (q != c) {
      // A new run: the finished one is assigned, not added.
      for (int t = 0; t < J; ++t) {
        o[c + t * L] = sum[t];
        sum[t] = 0.0;
      }
    }
    c = q;
    const double v = values[i];
    for (int t = 0; t < J; ++t) sum[t] = sum[t] + rows.at(r, t) * v;
  }
  for (int t = 0; t < J; ++t) o[c + t * L] = sum[t];
}

// P (M x J, row-major) = columns 0..J-1 of C.
template <int J>
void loadPanel(double* P, const double* C, int64_t ldc, int32_t M) {
  for (int32_t r = 0; r < M; ++r)
    for (int t = 0; t < J; ++t) P[static_cast<int64_t>(r) * J + t] = C[r + t * ldc];
}

// Start of a panel: rows on cache-line boundaries.
double* lineAligned(double* p) {
  const auto a = reinterpret_cast<uintptr_t>(p);
  return reinterpret_cast<double*>((a + 63) & ~static_cast<uintptr_t>(63));
}

}  // namespace

void sparseTransposeDenseColumnsInPlace(double* out, const double* values, const double* positions,
                                        int32_t count, int32_t L, const double* C, int32_t N,
                                        int32_t M) {
  const int64_t ldo = L, ldc = M;
  forColumnBlocks<kBlock, ColumnSchedule::dynamic>(N, [&](auto width, int64_t j) {
    constexpr int J = decltype(width)::value;
    walkColumns<J>(out + j * ldo, values, positions, count, ldo, InPlace<J>{C + j * ldc, ldc}, M);
  });
}

bool sparseTransposeDenseColumnsPanels(double* out, const double* values, const double* positions,
                                       int32_t count, int32_t L, const double* C, int32_t N,
                                       int32_t M) {
  // One panel per thread, taken before the threads start; each row a line.
  // Single columns are read in place.
  const int32_t width = columnBlockWidth<kBlock>(N);
  if (width == 1) {
    sparseTransposeDenseColumnsInPlace(out, values, positions, count, L, C, N, M);
    return true;
  }
  const int64_t panelDoubles = static_cast<int64_t>(M) * width;
  const int threads = omp_get_max_threads();
  ScratchArray<double> scratch = makeScratch<double>(threads * (panelDoubles + 8));
  if (!scratch) return false;
  double* panels = lineAligned(scratch.get());
  const int64_t ldo = L, ldc = M;
  forColumnBlocks<kBlock, ColumnSchedule::dynamic>(N, [&](auto width, int64_t j) {
    constexpr int J = decltype(width)::value;
    if constexpr (J == 1) {
      walkColumns<1>(out + j * ldo, values, positions, count, ldo, InPlace<1>{C + j * ldc, ldc},
                     M);
    } else {
      double* P = panels + omp_get_thread_num() * panelDoubles;
      loadPanel<J>(P, C + j * ldc, ldc, M);
      walkColumns<J>(out + j * ldo, values, positions, count, ldo, Panel<J>{P}, M);
    }
  });
  return true;
}

void sparseTransposeDenseColumns(double* out, const double* values, const double* positions,
                                 int32_t count, int32_t L, const double* C, int32_t N, int32_t M) {
  // Copying C costs a pass over all of it; that pays once the list reads a
  // good share of its rows, and reading C once pays most of all.
  if (static_cast<int64_t>(count) * kPanelListShare >= M) {
    if (sparseTransposeDenseColumnsSweep(out, values, positions, count, L, C, N, M)) return;
    if (sparseTransposeDenseColumnsPanels(out, values, positions, count, L, C, N, M))
      return;
  }
  sparseTransposeDenseColumnsInPlace(out, values, positions, count, L, C, N, M);
}
