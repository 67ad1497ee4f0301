#include "entryprod/entryprod.hpp"

#include "common/convert.hpp"

namespace {

struct Entry {
  int64_t k;       // plain store
  int64_t mirror;  // mirrored store, or -1
  const double* a;
  const double* b;
};

// One dot product, unrolled by four into a single ascending sum.
inline double dot(const double* a, const double* b, int64_t m) {
  double s = 0.0;
  int64_t t = 0;
  for (; t + 4 <= m; t += 4) {
    s = s + a[t] * b[t];
    s = s + a[t + 1] * b[t + 1];
    s = s + a[t + 2] * b[t + 2];
    s = s + a[t + 3] * b[t + 3];
  }
  for (; t < m; ++t) s = s + a[t] * b[t];
  return s;
}

// Four dot products at once, each still one ascending sum: the four chains
// are independent, so their additions overlap instead of waiting in turn.
inline void dot4(const Entry* e, int64_t m, double* s) {
  const double *a0 = e[0].a, *a1 = e[1].a, *a2 = e[2].a, *a3 = e[3].a;
  const double *b0 = e[0].b, *b1 = e[1].b, *b2 = e[2].b, *b3 = e[3].b;
  double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
  for (int64_t t = 0; t < m; ++t) {
    s0 = s0 + a0[t] * b0[t];
    s1 = s1 + a1[t] * b1[t];
    s2 = s2 + a2[t] * b2[t];
    s3 = s3 + a3[t] * b3[t];
  }
  s[0] = s0;
  s[1] = s1;
  s[2] = s2;
  s[3] = s3;
}

inline void store(double* out, const Entry& e, double s) {
  if (e.mirror >= 0) out[e.mirror] = s;
  out[e.k] = s;
}

// List indices handed out at a time; small enough to balance, large enough
// to fill groups of four.
constexpr int32_t kBlock = 64;

}  // namespace

void productEntriesPass(double* out, const double* a, const double* b, int32_t m,
                        const double* positions, int32_t count, const double* rowMap,
                        const double* columnMap, int32_t L, bool symmetric) {
  const int64_t stride = m;
  const int32_t blocks = count / kBlock + (count % kBlock != 0);
#pragma omp parallel for schedule(dynamic, 1)
  for (int32_t blk = 0; blk < blocks; ++blk) {
    const int32_t begin = blk * kBlock;
    const int32_t end = count - begin < kBlock ? count : begin + kBlock;
    Entry group[4];
    int held = 0;
    for (int32_t i = begin; i < end; ++i) {
      const int32_t k = truncToInt32(positions[i]) - 1;
      const int32_t j = k / L;
      const int32_t r = k % L;
      const int32_t p = truncToInt32(rowMap[r]) - 1;
      if (symmetric && p < j) continue;
      Entry& e = group[held++];
      e.k = k;
      e.mirror = symmetric ? (truncToInt32(columnMap[j]) - 1) + static_cast<int64_t>(p) * L : -1;
      e.a = a + p * stride;
      e.b = b + j * stride;
      if (held == 4) {
        double s[4];
        dot4(group, stride, s);
        for (int g = 0; g < 4; ++g) store(out, group[g], s[g]);
        held = 0;
      }
    }
    for (int g = 0; g < held; ++g) store(out, group[g], dot(group[g].a, group[g].b, stride));
  }
}

int64_t firstBadRowMapEntry(const double* positions, int32_t count, const double* rowMap, int32_t L,
                            int64_t columns) {
  for (int32_t i = 0; i < count; ++i) {
    const int32_t r = (truncToInt32(positions[i]) - 1) % L;
    if (positionIndex(rowMap[r], columns) < 0) return i;
  }
  return -1;
}

int64_t firstBadMirrorEntry(const double* positions, int32_t count, const double* rowMap,
                            const double* columnMap, int32_t L, int64_t N) {
  for (int32_t i = 0; i < count; ++i) {
    const int32_t k = truncToInt32(positions[i]) - 1;
    const int32_t j = k / L;
    const int32_t p = truncToInt32(rowMap[k % L]) - 1;
    if (p < j) continue;
    if (p >= N || positionIndex(columnMap[j], L) < 0) return i;
  }
  return -1;
}
