#include "entryprod/entryprod.hpp"

#include "common/convert.hpp"
#include "entryprod/dots.hpp"

namespace {

struct Entry {
  int64_t k;       // plain store
  int64_t mirror;  // mirrored store, or -1
  const double* a;
  const double* b;
};

inline void store(double* out, const Entry& e, double s) {
  if (e.mirror >= 0) out[e.mirror] = s;
  out[e.k] = s;
}

// List indices handed out at a time; small enough to balance, large enough
// to fill groups of four.
constexpr int32_t kBlock = 64;

// Plain lists shorter than this are computed in list order: filing them by
// tile would cost more than it saves.
constexpr int32_t kTiledEntries = 4096;

bool ascending(const double* positions, int32_t count) {
  for (int32_t i = 1; i < count; ++i)
    if (!(positions[i - 1] <= positions[i])) return false;
  return true;
}

}  // namespace

void productEntriesPassInListOrder(double* out, const double* a, const double* b, int32_t m,
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
        const double* as[4] = {group[0].a, group[1].a, group[2].a, group[3].a};
        const double* bs[4] = {group[0].b, group[1].b, group[2].b, group[3].b};
        double s[4];
        entrydots::dot4(as, bs, stride, s);
        for (int g = 0; g < 4; ++g) store(out, group[g], s[g]);
        held = 0;
      }
    }
    for (int g = 0; g < held; ++g)
      store(out, group[g], entrydots::dot(group[g].a, group[g].b, stride));
  }
}

void productEntriesPass(double* out, const double* a, const double* b, int32_t m,
                        const double* positions, int32_t count, const double* rowMap,
                        const double* columnMap, int32_t L, int32_t N, bool symmetric) {
  // The symmetric pass keeps list order: where a mirrored store meets another
  // entry's, which one lands last stays as it was.
  // Ascending positions already take each column's entries together, one
  // B column at a time, and run faster in list order than filed by tile.
  if (!symmetric && count >= kTiledEntries && m > 0 && !ascending(positions, count) &&
      productEntriesPassTiled(out, a, b, m, positions, count, rowMap, L, N))
    return;
  productEntriesPassInListOrder(out, a, b, m, positions, count, rowMap, columnMap, L, symmetric);
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
