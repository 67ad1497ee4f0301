#include "stepmin/stepmin.hpp"

#include <cmath>
#include <cstring>
#include <utility>

#include "common/prefetch.hpp"
#include "common/scratch.hpp"
#include "stepmin/classify.hpp"
#include "stepmin/terms.hpp"

using namespace stepterms;

namespace {

constexpr uint64_t kSignBit = 0x8000000000000000ull;

// Bit patterns whose unsigned order is the order of the doubles (no NaN);
// both zeros share one key (adding +0 turns -0 into +0 and changes
// nothing else). Negative values have every bit flipped, others the sign.
inline uint64_t orderedKey(double d) {
  d = d + 0.0;
  uint64_t u;
  std::memcpy(&u, &d, sizeof u);
  const uint64_t flip = static_cast<uint64_t>(static_cast<int64_t>(u) >> 63) | kSignBit;
  return u ^ flip;
}

inline double fromOrderedKey(uint64_t k) {
  const uint64_t u = (k & kSignBit) ? (k & ~kSignBit) : ~k;
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}

// The radix sort keeps keys in the value arrays' own storage.
inline uint64_t loadKey(const double* a, int64_t i) {
  uint64_t k;
  std::memcpy(&k, a + i, sizeof k);
  return k;
}

inline void storeKey(double* a, int64_t i, uint64_t k) { std::memcpy(a + i, &k, sizeof k); }

}  // namespace

void mergeBreakpointRuns(double* values, int32_t* entries, int32_t first, int32_t mid, int32_t last,
                         double* scratchValues, int32_t* scratchEntries) {
  int32_t i = first, j = mid + 1, o = first;
  while (i <= mid && j <= last) {
    // ">=" keeps equal values in their order; a NaN on either side takes the right.
    if (values[j] >= values[i]) {
      scratchValues[o] = values[i];
      scratchEntries[o++] = entries[i++];
    } else {
      scratchValues[o] = values[j];
      scratchEntries[o++] = entries[j++];
    }
  }
  for (; i <= mid; ++i, ++o) {
    scratchValues[o] = values[i];
    scratchEntries[o] = entries[i];
  }
  for (; j <= last; ++j, ++o) {
    scratchValues[o] = values[j];
    scratchEntries[o] = entries[j];
  }
  const size_t n = static_cast<size_t>(last - first + 1);
  std::memcpy(values + first, scratchValues + first, n * sizeof(double));
  std::memcpy(entries + first, scratchEntries + first, n * sizeof(int32_t));
}

void sortBreakpoints(double* values, int32_t* entries, int32_t first, int32_t last,
                     double* scratchValues, int32_t* scratchEntries) {
  if (first >= last) return;
  // (first + last) / 2, without overflow near 2^31.
  const int32_t mid = first + (last - first) / 2;
  sortBreakpoints(values, entries, first, mid, scratchValues, scratchEntries);
  sortBreakpoints(values, entries, mid + 1, last, scratchValues, scratchEntries);
  mergeBreakpointRuns(values, entries, first, mid, last, scratchValues, scratchEntries);
}

void radixSortBreakpoints(double* values, int32_t* entries, int32_t count, double* scratchValues,
                          int32_t* scratchEntries) {
  // Six digits of 11 bits cover the 64-bit keys.
  constexpr int kDigits = 6, kBits = 11, kBuckets = 1 << kBits;
  uint32_t hist[kDigits * kBuckets] = {};
  for (int32_t i = 0; i < count; ++i) {
    const uint64_t k = orderedKey(values[i]);
    storeKey(values, i, k);
    for (int d = 0; d < kDigits; ++d) ++hist[d * kBuckets + ((k >> (kBits * d)) & (kBuckets - 1))];
  }
  double* srcK = values;
  int32_t* srcE = entries;
  double* dstK = scratchValues;
  int32_t* dstE = scratchEntries;
  for (int d = 0; d < kDigits && count > 0; ++d) {
    const int shift = kBits * d;
    uint32_t* offset = &hist[d * kBuckets];
    // A digit all keys share moves nothing.
    if (offset[(loadKey(srcK, 0) >> shift) & (kBuckets - 1)] == static_cast<uint32_t>(count))
      continue;
    uint32_t sum = 0;
    for (int b = 0; b < kBuckets; ++b) {
      const uint32_t c = offset[b];
      offset[b] = sum;
      sum += c;
    }
    for (int32_t i = 0; i < count; ++i) {
      const uint64_t k = loadKey(srcK, i);
      const uint32_t o = offset[(k >> shift) & (kBuckets - 1)]++;
      storeKey(dstK, o, k);
      dstE[o] = srcE[i];
    }
    std::swap(srcK, dstK);
    std::swap(srcE, dstE);
  }
  if (srcK != values) {
    std::memcpy(values, srcK, static_cast<size_t>(count) * sizeof(double));
    std::memcpy(entries, srcE, static_cast<size_t>(count) * sizeof(int32_t));
  }
  for (int32_t i = 0; i < count; ++i) values[i] = fromOrderedKey(loadKey(values, i));
}

namespace {

// Below this many breakpoints one sort of them all costs less than
// buckets. Within a bucket, up to kInsertionMax breakpoints are sorted by
// insertion, fewer than kRadixMinCount by merging, more by radix.
constexpr int32_t kBucketMinCount = 256;
constexpr int32_t kInsertionMax = 16;
constexpr int32_t kRadixMinCount = 256;
// Bits of the bucket numbers at each level, at most.
constexpr int kCoarseBits = 11;
constexpr int kFineBits = 16;

Terms classify(const double* x, const double* v, const double* index, int32_t termCount,
               double loPlus, double hiMinus, double hi, double* b, int32_t* be, bool wide) {
#if defined(STEPMIN_HAVE_AVX2)
  if (wide && __builtin_cpu_supports("avx2"))
    return classifyTermsAvx2(x, v, index, termCount, loPlus, hiMinus, hi, b, be);
#else
  (void)wide;
#endif
  return stepclassify::classifyTerms(x, v, index, termCount, loPlus, hiMinus, hi, b, be);
}

int bitLength(uint64_t u) {
  int n = 0;
  for (; u; u >>= 1) ++n;
  return n;
}

int clampBits(int bits, int least, int most) {
  return bits < least ? least : bits > most ? most : bits;
}

// Sorts values[first..last) ascending, stably, by insertion.
void insertionSort(double* values, int32_t* entries, int32_t first, int32_t last) {
  for (int32_t i = first + 1; i < last; ++i) {
    const double t = values[i];
    const int32_t e = entries[i];
    int32_t j = i;
    for (; j > first && values[j - 1] > t; --j) {
      values[j] = values[j - 1];
      entries[j] = entries[j - 1];
    }
    values[j] = t;
    entries[j] = e;
  }
}

// The same from (from, fromEntries) into (to, toEntries), positions
// first..last of both.
void insertionSortInto(const double* from, const int32_t* fromEntries, double* to,
                       int32_t* toEntries, int32_t first, int32_t last) {
  for (int32_t i = first; i < last; ++i) {
    const double t = from[i];
    int32_t j = i;
    for (; j > first && to[j - 1] > t; --j) {
      to[j] = to[j - 1];
      toEntries[j] = toEntries[j - 1];
    }
    to[j] = t;
    toEntries[j] = fromEntries[i];
  }
}

// Breakpoints without NaN dealt into buckets by their ordered bit
// patterns: `count` buckets, bucket q holding the keys from low + q 2^shift.
struct Buckets {
  uint64_t low = 0;
  int shift = 0;
  int32_t count = 1;

  // About 2^bits buckets (at most) over the keys least .. most.
  Buckets(uint64_t least, uint64_t most, int bits) : low(least) {
    const int length = bitLength(most - least);
    shift = length > bits ? length - bits : 0;
    count = static_cast<int32_t>((most - least) >> shift) + 1;
  }
  int32_t of(double t) const { return static_cast<int32_t>((orderedKey(t) - low) >> shift); }

  // Deals from[first..last) into to[first..last), bucket by bucket, each
  // in its order in from; ends[q] then holds the end of bucket q
  // (count + 1 slots).
  void deal(const double* from, const int32_t* fromEntries, double* to, int32_t* toEntries,
            int32_t first, int32_t last, uint32_t* ends) const {
    std::memset(ends, 0, sizeof(uint32_t) * (static_cast<size_t>(count) + 1));
    ends[0] = static_cast<uint32_t>(first);
    for (int32_t j = first; j < last; ++j) ++ends[of(from[j]) + 1];
    for (int32_t q = 0; q < count; ++q) ends[q + 1] += ends[q];
    for (int32_t j = first; j < last; ++j) {
      const uint32_t d = ends[of(from[j])]++;
      to[d] = from[j];
      toEntries[d] = fromEntries[j];
    }
  }
};

// The breakpoints in ascending order, stably (the order one sort of them
// all gives), sorted only as far as the scan reads. The scan usually stops
// well before the end, so most breakpoints are only dealt into coarse
// buckets (consecutive ranges of their ordered bit patterns); a coarse
// bucket is dealt into fine ones over its own range, a few breakpoints
// each, when the scan first reaches it. The last bucket is sorted at once:
// the last piece reads the greatest breakpoint.
class LazyOrder {
 public:
  // All k breakpoints in b, be sorted already.
  LazyOrder(double* b, int32_t* be, int32_t k) : b_(b), be_(be), ready_(k) {}

  // Deals the k breakpoints of (from, fromEntries), none NaN, least and
  // most their extremes, into (b, be); from and fromEntries then serve as
  // scratch. ends: kEndsSlots.
  static constexpr size_t kEndsSlots = (size_t{1} << kCoarseBits) + (size_t{1} << kFineBits) + 2;
  LazyOrder(double* from, int32_t* fromEntries, double* b, int32_t* be, int32_t k, double least,
            double most, bool anyNegativeZero, const double* x, const double* v, double hi,
            uint32_t* ends)
      : b_(b),
        be_(be),
        ready_(0),
        scratch_(from),
        scratchEntries_(fromEntries),
        ends_(ends),
        fineEnds_(ends + (size_t{1} << kCoarseBits) + 1),
        x_(x),
        v_(v),
        hi_(hi),
        anyNegativeZero_(anyNegativeZero),
        coarse_(orderedKey(least), orderedKey(most),
                clampBits(bitLength(static_cast<uint64_t>(k)) - 8, 4, kCoarseBits)) {
    coarse_.deal(from, fromEntries, b, be, 0, k, ends_);
    sortCoarse(coarse_.count - 1);
  }

  const double* values() const { return b_; }
  const int32_t* entries() const { return be_; }

  // Makes b[0..j] and be[0..j] final.
  void reach(int32_t j) {
    while (j >= ready_) {
      if (next_ < coarse_.count - 1) sortCoarse(next_);
      ready_ = static_cast<int32_t>(ends_[next_++]);
    }
  }

 private:
  // Any stable sort gives one order without NaN: the sorts are picked by
  // size. The radix sort's -0 are formed again.
  void sortRange(double* values, int32_t* entries, int32_t first, int32_t last, double* scratch,
                 int32_t* scratchEntries) const {
    if (last - first <= kInsertionMax) {
      insertionSort(values, entries, first, last);
    } else if (last - first < kRadixMinCount) {
      sortBreakpoints(values, entries, first, last - 1, scratch, scratchEntries);
    } else {
      radixSortBreakpoints(values + first, entries + first, last - first, scratch + first,
                           scratchEntries + first);
      if (anyNegativeZero_)
        for (int32_t j = first; j < last; ++j)
          if (values[j] == 0.0) values[j] = breakpointOf(x_[entries[j]], v_[entries[j]], hi_);
    }
  }

  // Coarse bucket q: dealt into fine buckets in the scratch, one or two
  // breakpoints each over the bucket's range, so that one pass of
  // insertion back into place finishes the order (the few large fine
  // buckets are sorted first).
  void sortCoarse(int32_t q) {
    const int32_t first = q ? static_cast<int32_t>(ends_[q - 1]) : 0;
    const int32_t last = static_cast<int32_t>(ends_[q]);
    if (last - first <= kInsertionMax) {
      insertionSort(b_, be_, first, last);
      return;
    }
    const uint64_t least = coarse_.low + (static_cast<uint64_t>(q) << coarse_.shift);
    const uint64_t width = (uint64_t{1} << coarse_.shift) - 1, room = ~least;
    const uint64_t most = least + (width < room ? width : room);
    const int bits = clampBits(bitLength(static_cast<uint64_t>(last - first)) - 1, 1, kFineBits);
    const Buckets fine(least, most, bits);
    fine.deal(b_, be_, scratch_, scratchEntries_, first, last, fineEnds_);
    for (int32_t f = 0, start = first; f < fine.count; start = static_cast<int32_t>(fineEnds_[f++]))
      if (static_cast<int32_t>(fineEnds_[f]) - start > kInsertionMax)
        sortRange(scratch_, scratchEntries_, start, static_cast<int32_t>(fineEnds_[f]), b_, be_);
    insertionSortInto(scratch_, scratchEntries_, b_, be_, first, last);
  }

  double* b_;
  int32_t* be_;
  int32_t ready_;
  double* scratch_ = nullptr;
  int32_t* scratchEntries_ = nullptr;
  uint32_t* ends_ = nullptr;
  uint32_t* fineEnds_ = nullptr;
  const double* x_ = nullptr;
  const double* v_ = nullptr;
  double hi_ = 0.0;
  bool anyNegativeZero_ = false;
  Buckets coarse_{0, 0, 0};
  int32_t next_ = 0;
};

// The sorted breakpoints and the smooth part they are scanned with:
// A1 + B1 t + C t^2, the terms' weight lambda.
struct Pieces {
  const double* x;
  const double* v;
  LazyOrder& order;
  int32_t k;
  double A1, B1, C, lambda;
};

// The first piece, then the scan while pieces improve (an equal value moves
// the result to the later piece), then the last piece up to hi with the
// sums as the scan left them (a tie keeps the earlier result). Xin and Vin
// start as the sums of every term with a breakpoint inside.
double scanPieces(const Pieces& P, double lo, double hi, double loPlus, double Xin, double Vin,
                  double* minValue) {
  const double* x = P.x;
  const double* v = P.v;
  LazyOrder& order = P.order;
  const double* b = order.values();
  const int32_t* be = order.entries();
  const int32_t k = P.k;
  auto at = [&](int32_t j) {
    order.reach(j);
    return b[j];
  };
  // Crossing a breakpoint flips its term's sign.
  auto pass = [&](int32_t j) {
    if (j < k - kPrefetchAhead) {
      prefetchRead(x + be[j + kPrefetchAhead]);
      prefetchRead(v + be[j + kPrefetchAhead]);
    }
    order.reach(j);
    const int32_t e = be[j];
    const double s = signRightOfLo(x[e], v[e], loPlus);
    Xin -= 2.0 * s * x[e];
    Vin -= 2.0 * s * v[e];
  };
  // Passes b_j and every following breakpoint closer than 1e-7 to its predecessor.
  auto passCluster = [&](int32_t j) {
    pass(j++);
    while (j < k && std::fabs(at(j) - b[j - 1]) < 1e-7) pass(j++);
    return j;
  };
  // The current piece's unconstrained minimiser, and its value at t.
  double Bp = 0.0;
  auto vertex = [&] {
    Bp = Vin * P.lambda + P.B1;
    return -(Bp / (2.0 * P.C));
  };
  auto value = [&](double t) { return (P.C * t + Bp) * t + P.A1 + Xin * P.lambda; };

  double tStar = vertex();
  double t1 = tStar > at(0) ? b[0] : tStar;
  double tBest = lo > t1 ? lo : t1;
  double fBest = value(tBest);

  int32_t j = passCluster(0);
  while (j < k) {
    tStar = vertex();
    t1 = tStar > at(j) ? b[j] : tStar;
    const double tc = b[j - 1] > t1 ? b[j - 1] : t1;
    const double fc = value(tc);
    if (!(fBest >= fc)) break;
    fBest = fc;
    tBest = tc;
    j = passCluster(j);
  }

  // The last bucket is sorted from the start.
  tStar = vertex();
  t1 = tStar > hi ? hi : tStar;
  const double tc = b[k - 1] > t1 ? b[k - 1] : t1;
  const double fc = value(tc);
  if (fBest > fc) {
    fBest = fc;
    tBest = tc;
  }
  *minValue = fBest;
  return tBest;
}

}  // namespace

double stepMinimize(double A, double B, double C, double lambda, double lo, double hi,
                    const double* x, const double* v, const double* index, int32_t termCount,
                    double* minValue, bool* outOfMemory, bool wideVectors) {
  const double loPlus = lo + 1e-15;
  const double hiMinus = hi - 1e-15;
  const int64_t capacity = breakpointCapacity(v, index, termCount, loPlus, hiMinus, hi);
  ScratchArray<double> values = makeScratch<double>(static_cast<size_t>(capacity));
  ScratchArray<int32_t> entries = makeScratch<int32_t>(static_cast<size_t>(capacity));
  if (!values || !entries) {
    *outOfMemory = true;
    return 0.0;
  }
  double* b = values.get();
  int32_t* be = entries.get();
  const Terms t = classify(x, v, index, termCount, loPlus, hiMinus, hi, b, be, wideVectors);

  // Terms linear on the whole interval fold into the smooth part.
  const double A1 = A + t.Xout * lambda;
  const double B1 = B + t.Vout * lambda;

  const int32_t k = t.k;
  if (k == 0) {
    const double tStar = -(B1 / (2.0 * C));
    const double t1 = hi > tStar ? tStar : hi;
    const double tm = lo > t1 ? lo : t1;
    *minValue = C * tm * tm + B1 * tm + A1;
    return tm;
  }
  ScratchArray<double> sortValues = makeScratch<double>(static_cast<size_t>(k));
  ScratchArray<int32_t> sortEntries = makeScratch<int32_t>(static_cast<size_t>(k));
  if (!sortValues || !sortEntries) {
    *outOfMemory = true;
    return 0.0;
  }
  // With a NaN only the merge sort gives the order the scan is defined on;
  // a few breakpoints are sorted at once.
  if (t.anyNaN || k < kBucketMinCount) {
    sortBreakpoints(b, be, 0, k - 1, sortValues.get(), sortEntries.get());
    LazyOrder order(b, be, k);
    const Pieces pieces{x, v, order, k, A1, B1, C, lambda};
    return scanPieces(pieces, lo, hi, loPlus, t.Xin, t.Vin, minValue);
  }
  ScratchArray<uint32_t> ends = makeScratch<uint32_t>(LazyOrder::kEndsSlots);
  if (!ends) {
    *outOfMemory = true;
    return 0.0;
  }
  LazyOrder order(b, be, sortValues.get(), sortEntries.get(), k, t.least, t.most, t.anyNegativeZero,
                  x, v, hi, ends.get());
  const Pieces pieces{x, v, order, k, A1, B1, C, lambda};
  return scanPieces(pieces, lo, hi, loPlus, t.Xin, t.Vin, minValue);
}
