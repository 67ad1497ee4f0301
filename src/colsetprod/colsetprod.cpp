#include "colsetprod/colsetprod.hpp"

#include "common/column_blocks.hpp"
#include "common/column_split.hpp"
#include "common/convert.hpp"
#include "common/prefetch.hpp"

namespace {

// Output columns one walk serves: the list is read and each position split
// once per block, while the block's columns of X and out stay in cache.
constexpr int32_t kBlock = 4;

// Columns 0..J-1 of o from columns 0..J-1 of X (both stride n); each
// column's operations are exactly those of a walk of its own.
template <int J>
void walkColumns(double* o, const double* values, const double* X, const double* positions,
                 int32_t count, const double* map, const double* mask, int32_t n) {
  if (count == 0) return;
  const int64_t ld = n;
  double sum[J];
  for (int t = 0; t < J; ++t) sum[t] = 0.0;
  int32_t c = 0;
  int32_t g = 0;
  ColumnSplit split(n);
  ColumnSplit ahead(n);
  for (int32_t i = 0; i < count; ++i) {
    if (i + kPrefetchAhead < count) {
      // The rows an entry touches are known from the list: ask for them early.
      int32_t qa, ra;
      ahead.at(truncToInt32(positions[i + kPrefetchAhead]) - 1, &qa, &ra);
      for (int t = 0; t < J; ++t) {
        prefetchWrite(o + ra + t * ld);
        prefetchRead(X + ra + t * ld);
      }
    }
    int32_t q, r;
    split.at(truncToInt32(positions[i]) - 1, &q, &r);
    const double v = values[i];
    if (truncToInt32(mask[r]) == 0) {
      // Column share: the entry is A(r, b) and X(b, j) comes from its block row b.
      const int32_t b = truncToInt32(map[q]) - 1;
      for (int t = 0; t < J; ++t) o[r + t * ld] = X[b + t * ld] * v + o[r + t * ld];
    }
    if (q != c) {
      const int32_t row = truncToInt32(map[g]) - 1;
      for (int t = 0; t < J; ++t) {
        o[row + t * ld] = sum[t];
        sum[t] = 0.0;
      }
      ++g;
    }
    c = q;
    // Row share: the entry is also A(b, r) of the run's block row.
    for (int t = 0; t < J; ++t) sum[t] = sum[t] + X[r + t * ld] * v;
  }
  const int32_t row = truncToInt32(map[g]) - 1;
  for (int t = 0; t < J; ++t) o[row + t * ld] = sum[t];
}

}  // namespace

void symBlockTimesDense(double* out, const double* values, const double* X, const double* positions,
                        int32_t count, const double* map, const double* mask, int32_t n,
                        int32_t N) {
  const int64_t ld = n;
  forColumnBlocks<kBlock, ColumnSchedule::contiguous>(N, [&](auto width, int64_t j) {
    walkColumns<decltype(width)::value>(out + j * ld, values, X + j * ld, positions, count, map,
                                        mask, n);
  });
}

int64_t columnChanges(const double* positions, int32_t count, int32_t n) {
  int64_t g = 0;
  int32_t c = 0;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t q = (truncToInt32(positions[i]) - 1) / n;
    g += q != c;
    c = q;
  }
  return g;
}
