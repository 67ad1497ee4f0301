#pragma once
// A long list filed by bucket on several threads, as a counting sort: the
// list is cut into parts, each part counts its entries per bucket on a
// thread of its own, a scan turns the counts into places, and each part
// then files its entries. Within a bucket the parts' places follow one
// another, so every bucket keeps list order whatever the part count.
#include <omp.h>

#include <cstdint>

// Lists shorter than this are one part: threads would cost more than
// they save.
constexpr int32_t kPartEntries = 1 << 16;

// The parts a list of `count` entries is cut into.
inline int listParts(int32_t count) { return count < kPartEntries ? 1 : omp_get_max_threads(); }

// part(p, begin, end) for each part p of `parts`, entries begin..end-1 of
// the list, one part per thread.
template <class Part>
void forEachPart(int32_t count, int parts, const Part& part) {
#pragma omp parallel for schedule(static) num_threads(parts)
  for (int p = 0; p < parts; ++p)
    part(p, static_cast<int32_t>(static_cast<int64_t>(count) * p / parts),
         static_cast<int32_t>(static_cast<int64_t>(count) * (p + 1) / parts));
}

// counts[p * stride + b] holds part p's entries in bucket b, for the
// `buckets` first columns of each part's row; each becomes the place of
// part p's first entry in bucket b: buckets in order, parts in order
// within a bucket. first[b] receives bucket b's start and first[buckets]
// the total.
inline void placePartCounts(int64_t* counts, int parts, int64_t stride, int64_t buckets,
                            int64_t* first) {
  int64_t at = 0;
  for (int64_t b = 0; b < buckets; ++b) {
    first[b] = at;
    for (int p = 0; p < parts; ++p) {
      const int64_t n = counts[p * stride + b];
      counts[p * stride + b] = at;
      at += n;
    }
  }
  first[buckets] = at;
}
