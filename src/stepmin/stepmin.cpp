#include "stepmin/stepmin.hpp"

#include <cmath>
#include <cstring>
#include <utility>

#include "common/convert.hpp"
#include "common/prefetch.hpp"
#include "common/scratch.hpp"

namespace {

// c ? a : b through bit masks: the compiler turns a plain conditional on
// data into a branch, and a mispredicted branch stalls the gathers behind it.
inline double pick(bool c, double a, double b) {
  uint64_t ua, ub;
  std::memcpy(&ua, &a, sizeof ua);
  std::memcpy(&ub, &b, sizeof ub);
  const uint64_t m = 0 - static_cast<uint64_t>(c);
  const uint64_t u = (ua & m) | (ub & ~m);
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}

// Where the term x_e + t v_e changes sign; a term without direction gets a
// breakpoint past hi, so it normally stays linear.
inline double breakpointOf(double xe, double ve, double hi) {
  return pick(ve == 0.0, hi + 1.0, -(xe / ve));
}

// Sign of x_e + t v_e just right of lo.
inline double signRightOfLo(double xe, double ve, double loPlus) {
  return pick(ve * loPlus + xe >= 0.0, 1.0, -1.0);
}

constexpr uint64_t kSignBit = 0x8000000000000000ull;

// Bit patterns whose unsigned order is the order of the doubles (no NaN);
// both zeros share one key.
inline uint64_t orderedKey(double d) {
  if (d == 0.0) d = 0.0;
  uint64_t u;
  std::memcpy(&u, &d, sizeof u);
  return (u & kSignBit) ? ~u : (u | kSignBit);
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

// Below this size the radix sort's fixed cost outweighs the merge sort.
constexpr int32_t kRadixMinCount = 256;

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

// The terms as the classification leaves them: k breakpoints inside the
// interval listed (b, be), each term's s*x and s*v summed into the
// outside (linear throughout) or inside sums, in term order.
struct Terms {
  double Xout, Vout, Xin, Vin;
  int32_t k;
  bool anyNaN, anyNegativeZero;
};

// The list needs a slot per term, except that without an index terms
// without direction stay out of it unless hi + 1 is not past hi - 1e-15
// (hi infinite, NaN or beyond 2^53); plus one spare, since the
// classification stores every term and keeps it by advancing k.
int64_t breakpointCapacity(const double* v, const double* index, int32_t termCount, double loPlus,
                           double hiMinus, double hi) {
  int64_t capacity = termCount;
  if (!index) {
    const double t0 = breakpointOf(0.0, 0.0, hi);
    if (loPlus > t0 || t0 > hiMinus) {
      capacity = 0;
      for (int32_t e = 0; e < termCount; ++e) capacity += v[e] != 0.0;
    }
  }
  return capacity + 1;
}

Terms classifyTerms(const double* x, const double* v, const double* index, int32_t termCount,
                    double loPlus, double hiMinus, double hi, double* b, int32_t* be) {
  // Branch-free, so that the gathers of many terms overlap. Adding 0.0
  // leaves a sum unchanged: one that starts at +0.0 never becomes -0.0.
  // (Sums in locals: the stores to b and be could alias a record's fields.)
  double Xout = 0.0, Vout = 0.0, Xin = 0.0, Vin = 0.0;
  int32_t k = 0;
  bool anyNaN = false, anyNegativeZero = false;
  for (int32_t i = 0; i < termCount; ++i) {
    if (index && i < termCount - kPrefetchAhead) {
      const int32_t ahead = truncToInt32(index[i + kPrefetchAhead]) - 1;
      prefetchRead(x + ahead);
      prefetchRead(v + ahead);
    }
    const int32_t e = index ? truncToInt32(index[i]) - 1 : i;
    const double xe = x[e], ve = v[e];
    const double te = breakpointOf(xe, ve, hi);
    const double s = signRightOfLo(xe, ve, loPlus);
    const double sx = s * xe, sv = s * ve;
    const bool inside = !((loPlus > te) | (te > hiMinus));
    Xout += pick(inside, 0.0, sx);
    Vout += pick(inside, 0.0, sv);
    Xin += pick(inside, sx, 0.0);
    Vin += pick(inside, sv, 0.0);
    b[k] = te;
    be[k] = e;
    k += inside;
    anyNaN |= inside & std::isnan(te);
    anyNegativeZero |= inside & (te == 0.0) & std::signbit(te);
  }
  return Terms{Xout, Vout, Xin, Vin, k, anyNaN, anyNegativeZero};
}

// Sorts the k breakpoints ascending, stably; false when scratch fails.
bool sortTerms(double* b, int32_t* be, const Terms& t, const double* x, const double* v,
               double hi) {
  const int32_t k = t.k;
  ScratchArray<double> sortValues = makeScratch<double>(static_cast<size_t>(k));
  ScratchArray<int32_t> sortEntries = makeScratch<int32_t>(static_cast<size_t>(k));
  if (!sortValues || !sortEntries) return false;
  // Without NaN a stable sort has one result, so the fast one may serve.
  if (t.anyNaN || k < kRadixMinCount) {
    sortBreakpoints(b, be, 0, k - 1, sortValues.get(), sortEntries.get());
  } else {
    radixSortBreakpoints(b, be, k, sortValues.get(), sortEntries.get());
    // The radix sort turns -0 into +0: those breakpoints are formed again.
    if (t.anyNegativeZero) {
      for (int32_t j = 0; j < k; ++j)
        if (b[j] == 0.0) b[j] = breakpointOf(x[be[j]], v[be[j]], hi);
    }
  }
  return true;
}

// The sorted breakpoints b (term be[j] at b[j]) and the smooth part they
// are scanned with: A1 + B1 t + C t^2, the terms' weight lambda.
struct Pieces {
  const double* x;
  const double* v;
  const double* b;
  const int32_t* be;
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
  const double* b = P.b;
  const int32_t* be = P.be;
  const int32_t k = P.k;
  // Crossing a breakpoint flips its term's sign.
  auto pass = [&](int32_t j) {
    if (j < k - kPrefetchAhead) {
      prefetchRead(x + be[j + kPrefetchAhead]);
      prefetchRead(v + be[j + kPrefetchAhead]);
    }
    const int32_t e = be[j];
    const double s = signRightOfLo(x[e], v[e], loPlus);
    Xin -= 2.0 * s * x[e];
    Vin -= 2.0 * s * v[e];
  };
  // Passes b_j and every following breakpoint closer than 1e-7 to its predecessor.
  auto passCluster = [&](int32_t j) {
    pass(j++);
    while (j < k && std::fabs(b[j] - b[j - 1]) < 1e-7) pass(j++);
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
  double t1 = tStar > b[0] ? b[0] : tStar;
  double tBest = lo > t1 ? lo : t1;
  double fBest = value(tBest);

  int32_t j = passCluster(0);
  while (j < k) {
    tStar = vertex();
    t1 = tStar > b[j] ? b[j] : tStar;
    const double tc = b[j - 1] > t1 ? b[j - 1] : t1;
    const double fc = value(tc);
    if (!(fBest >= fc)) break;
    fBest = fc;
    tBest = tc;
    j = passCluster(j);
  }

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
                    double* minValue, bool* outOfMemory) {
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
  const Terms t = classifyTerms(x, v, index, termCount, loPlus, hiMinus, hi, b, be);

  // Terms linear on the whole interval fold into the smooth part.
  const double A1 = A + t.Xout * lambda;
  const double B1 = B + t.Vout * lambda;

  if (t.k == 0) {
    const double tStar = -(B1 / (2.0 * C));
    const double t1 = hi > tStar ? tStar : hi;
    const double tm = lo > t1 ? lo : t1;
    *minValue = C * tm * tm + B1 * tm + A1;
    return tm;
  }
  if (!sortTerms(b, be, t, x, v, hi)) {
    *outOfMemory = true;
    return 0.0;
  }
  const Pieces pieces{x, v, b, be, t.k, A1, B1, C, lambda};
  return scanPieces(pieces, lo, hi, loPlus, t.Xin, t.Vin, minValue);
}
