#include "colrunprod/colrunprod.hpp"

#include "common/column_blocks.hpp"
#include "common/column_split.hpp"
#include "common/convert.hpp"
#include "common/prefetch.hpp"

namespace {

// Output columns one walk serves: the list is read and each position split
// once per block, while the block's columns of C stay in cache.
constexpr int32_t kBlock = 8;

// Columns 0..J-1 of o (stride L) from columns 0..J-1 of C (stride M); each
// column's sums and stores are exactly those of a walk of its own.
template <int J>
void walkColumns(double* o, const double* values, const double* positions, int32_t count, int64_t L,
                 const double* C, int32_t M) {
  if (count == 0) return;
  const int64_t ldc = M;
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
      for (int t = 0; t < J; ++t) prefetchRead(C + ra + t * ldc);
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
    for (int t = 0; t < J; ++t) sum[t] = sum[t] + C[r + t * ldc] * v;
  }
  for (int t = 0; t < J; ++t) o[c + t * L] = sum[t];
}

}  // namespace

void sparseTransposeDenseColumns(double* out, const double* values, const double* positions,
                                 int32_t count, int32_t L, const double* C, int32_t N, int32_t M) {
  const int64_t ldo = L, ldc = M;
  forColumnBlocks<kBlock, ColumnSchedule::dynamic>(N, [&](auto width, int64_t j) {
    walkColumns<decltype(width)::value>(out + j * ldo, values, positions, count, ldo, C + j * ldc,
                                        M);
  });
}
