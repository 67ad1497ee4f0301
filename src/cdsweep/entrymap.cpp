#include "cdsweep/entrymap.hpp"

#include <algorithm>

#include "common/convert.hpp"
#include "common/scratch.hpp"

int32_t mapIndexColumns(const double* index, int32_t m, int32_t n, int32_t* local, int32_t* rows,
                        int32_t* earlier) {
  std::fill(local, local + n, -1);
  for (int32_t c = 0; c < m; ++c) {
    const int32_t r = truncToInt32(index[c]) - 1;
    if (local[r] >= 0) {
      *earlier = local[r];
      return c;
    }
    local[r] = c;
    rows[c] = r;
  }
  return -1;
}

int32_t entryColumns(const double* values, int32_t count, const int32_t* local, int32_t* out) {
  for (int32_t e = 0; e < count; ++e) {
    out[e] = local[truncToInt32(values[e]) - 1];
    if (out[e] < 0) return e;
  }
  return -1;
}

int32_t firstRepeatedPair(const int32_t* li, const int32_t* lj, int32_t count, int32_t m,
                          int32_t* earlier, bool* outOfMemory) {
  // Open addressing on the key lo*m + hi, at most half full; a walk in list
  // order meets the first repeat first.
  std::size_t size = 16;
  while (size < 2 * static_cast<std::size_t>(count)) size *= 2;
  int shift = 64;
  for (std::size_t s = size; s > 1; s /= 2) --shift;
  ScratchArray<int64_t> keys = makeScratch<int64_t>(size);
  ScratchArray<int32_t> owner = makeScratch<int32_t>(size);
  if (!keys || !owner) {
    *outOfMemory = true;
    return -1;
  }
  std::fill(keys.get(), keys.get() + size, int64_t{-1});
  for (int32_t e = 0; e < count; ++e) {
    const int64_t key = static_cast<int64_t>(std::min(li[e], lj[e])) * m + std::max(li[e], lj[e]);
    std::size_t h = (static_cast<uint64_t>(key) * 0x9E3779B97F4A7C15ull) >> shift;
    while (keys[h] >= 0 && keys[h] != key) h = (h + 1) & (size - 1);
    if (keys[h] == key) {
      *earlier = owner[h];
      return e;
    }
    keys[h] = key;
    owner[h] = e;
  }
  return -1;
}
