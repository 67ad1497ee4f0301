// stepMinimize as it was before its classification ran in vector
// registers and its sort became lazy: one term at a time, every breakpoint
// sorted before the scan. Kept for the tests, which hold the module to
// its bits; the module does not call it.
#include <cmath>
#include <cstring>

#include "common/convert.hpp"
#include "common/prefetch.hpp"
#include "common/scratch.hpp"
#include "stepmin/stepmin.hpp"
#include "stepmin/terms.hpp"

using namespace stepterms;

namespace {

// Below this size the radix sort's fixed cost outweighs the merge sort.
constexpr int32_t kRadixMinCount = 256;

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
  return Terms{Xout, Vout, Xin, Vin, k, anyNaN, anyNegativeZero, 0.0, 0.0};
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

double stepMinimizeReference(double A, double B, double C, double lambda, double lo, double hi,
                             const double* x, const double* v, const double* index,
                             int32_t termCount, double* minValue, bool* outOfMemory) {
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
