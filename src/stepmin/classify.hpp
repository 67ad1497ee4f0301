#pragma once
// stepMinimize's pass over the terms, a chunk at a time: gather the
// chunk's x and v, classify its terms several to a vector register (every
// operation lane by lane, as the scalar one), then add them up and list
// them in term order, the only part that must go one term after another.
// Built once for the baseline instruction set (stepmin.cpp) and, where the
// compiler can, once for AVX2 (stepmin_avx2.cpp), chosen at run time. All
// of it lives in a namespace named after the instruction set and calls no
// inline function from elsewhere, so the two builds share no code.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "stepmin/terms.hpp"

#if defined(__GNUC__) && defined(__AVX2__)
#define STEPMIN_ISA isa_avx2
#elif defined(__GNUC__) && defined(__SSE2__)
#define STEPMIN_ISA isa_sse2
#else
#define STEPMIN_ISA isa_scalar
#endif

inline namespace STEPMIN_ISA {
namespace stepclassify {

// Terms per chunk: its arrays stay in the first-level cache.
constexpr int kChunk = 256;
// Terms between the prefetch of an entry's x and v and their use.
constexpr int kGatherAhead = 128;

#if defined(__GNUC__) && defined(__AVX2__)
constexpr int kWidth = 4;
#elif defined(__GNUC__) && defined(__SSE2__)
constexpr int kWidth = 2;
#else
constexpr int kWidth = 1;
#endif

#if defined(__GNUC__)
typedef double Vd __attribute__((vector_size(8 * kWidth)));
typedef int64_t Vm __attribute__((vector_size(8 * kWidth)));
inline void prefetch(const double* p) { __builtin_prefetch(p); }
#else
// One lane: plain values, masks of all ones or zeros as the vectors have.
typedef double Vd;
typedef int64_t Vm;
inline void prefetch(const double*) {}
#endif

inline Vd loadVd(const double* p) {
  Vd a;
  std::memcpy(&a, p, sizeof a);
  return a;
}
inline void storeVd(double* p, Vd a) { std::memcpy(p, &a, sizeof a); }
inline Vm bitsOf(Vd a) {
  Vm m;
  std::memcpy(&m, &a, sizeof m);
  return m;
}
inline Vd fromBits(Vm m) {
  Vd a;
  std::memcpy(&a, &m, sizeof a);
  return a;
}
inline Vd select(Vm m, Vd a, Vd b) { return fromBits((m & bitsOf(a)) | (~m & bitsOf(b))); }
inline double laneOf(const Vd& a, int w) {
  double d[kWidth];
  std::memcpy(d, &a, sizeof d);
  return d[w];
}
inline int64_t laneOf(const Vm& a, int w) {
  int64_t d[kWidth];
  std::memcpy(d, &a, sizeof d);
  return d[w];
}

#if defined(__GNUC__)
inline Vd splat(double s) { return Vd{} + s; }
inline Vm lanes() {
  Vm l;
  for (int w = 0; w < kWidth; ++w) l[w] = w;
  return l;
}
inline Vm mask(Vm c) { return c; }  // vector comparisons give all ones or zeros
#else
inline Vd splat(double s) { return s; }
inline Vm lanes() { return 0; }
inline Vm mask(bool c) { return -static_cast<Vm>(c); }
#endif

// 0-based entry of a checked 1-based index value (truncated toward zero).
inline int32_t entryOf(double index) { return static_cast<int32_t>(index) - 1; }

// One chunk's terms classified: breakpoints te, s*x and s*v apart for the
// inside and outside sums (+0.0 in the other), the inside flags.
struct Chunk {
  double te[kChunk], sxIn[kChunk], svIn[kChunk], sxOut[kChunk], svOut[kChunk];
  int64_t inside[kChunk];
};

// Over the listed breakpoints so far: the least, the greatest, whether
// one is NaN, whether one is -0.
struct Extremes {
  Vd least = splat(HUGE_VAL), most = splat(-HUGE_VAL);
  Vm nan = Vm{}, negativeZero = Vm{};
};

// The m terms of xs, vs (padded to whole vectors) into o and ex.
inline void classifyChunk(const double* xs, const double* vs, int m, double loPlus, double hiMinus,
                          double past, Chunk& o, Extremes& ex) {
  const Vd zero = splat(0.0), one = splat(1.0), minusOne = splat(-1.0);
  const Vd vLoPlus = splat(loPlus), vHiMinus = splat(hiMinus), vPast = splat(past);
  const Vm lane = lanes();
  for (int i = 0; i < m; i += kWidth) {
    const Vd xe = loadVd(xs + i), ve = loadVd(vs + i);
    const Vd te = select(mask(ve == zero), vPast, -(xe / ve));
    const Vd s = select(mask(ve * vLoPlus + xe >= zero), one, minusOne);
    const Vd sx = s * xe, sv = s * ve;
    const Vm inside = ~(mask(vLoPlus > te) | mask(te > vHiMinus));
    storeVd(o.te + i, te);
    storeVd(o.sxIn + i, select(inside, sx, zero));
    storeVd(o.svIn + i, select(inside, sv, zero));
    storeVd(o.sxOut + i, select(inside, zero, sx));
    storeVd(o.svOut + i, select(inside, zero, sv));
    std::memcpy(o.inside + i, &inside, sizeof inside);
    // Lanes past m are padding.
    const Vm listed = inside & mask(lane + i < m);
    ex.least = select(listed & mask(te < ex.least), te, ex.least);
    ex.most = select(listed & mask(te > ex.most), te, ex.most);
    ex.nan |= listed & mask(te != te);
    ex.negativeZero |= listed & mask(te == zero) & mask(bitsOf(te) < 0);
  }
}

// Classifies every term: breakpoint te = -(x_e / v_e) (hi + 1 without
// direction), sign s of x_e + t v_e right of lo; a term with lo + 1e-15 <=
// te <= hi - 1e-15 (or te NaN) is listed in b, be and its s*x, s*v go to
// the inside sums, any other's to the outside sums, each sum in term
// order. b and be need a slot per listed term and one more.
inline stepterms::Terms classifyTerms(const double* x, const double* v, const double* index,
                                      int32_t termCount, double loPlus, double hiMinus, double hi,
                                      double* b, int32_t* be) {
  // Padded to whole vectors; the padding's lanes are classified, not used.
  constexpr int kPadded = (kChunk + kWidth - 1) / kWidth * kWidth;
  double xs[kPadded] = {}, vs[kPadded] = {};
  int32_t es[kChunk];
  Chunk o;
  Extremes ex;
  const double past = hi + 1.0;
  // Adding 0.0 leaves a sum unchanged: one that starts at +0.0 never
  // becomes -0.0. (Sums in locals: the stores to b and be could alias.)
  double Xout = 0.0, Vout = 0.0, Xin = 0.0, Vin = 0.0;
  int32_t k = 0;
  for (int32_t c0 = 0; c0 < termCount; c0 += kChunk) {
    const int m = termCount - c0 < kChunk ? static_cast<int>(termCount - c0) : kChunk;
    if (index) {
      // Random gathers: asked for well ahead, so that many overlap.
      const double* ix = index + c0;
      for (int i = 0; i < m; ++i) {
        if (c0 + i < termCount - kGatherAhead) {
          const int32_t a = entryOf(ix[i + kGatherAhead]);
          prefetch(x + a);
          prefetch(v + a);
        }
        const int32_t e = entryOf(ix[i]);
        es[i] = e;
        xs[i] = x[e];
        vs[i] = v[e];
      }
    } else {
      for (int i = 0; i < m; ++i) es[i] = c0 + i;
      std::memcpy(xs, x + c0, sizeof(double) * static_cast<size_t>(m));
      std::memcpy(vs, v + c0, sizeof(double) * static_cast<size_t>(m));
    }
    classifyChunk(xs, vs, m, loPlus, hiMinus, past, o, ex);
    for (int i = 0; i < m; ++i) {
      Xout += o.sxOut[i];
      Vout += o.svOut[i];
      Xin += o.sxIn[i];
      Vin += o.svIn[i];
      b[k] = o.te[i];
      be[k] = es[i];
      k += o.inside[i] != 0;
    }
  }
  stepterms::Terms t{Xout, Vout, Xin, Vin, k, false, false, HUGE_VAL, -HUGE_VAL};
  for (int w = 0; w < kWidth; ++w) {
    t.anyNaN |= laneOf(ex.nan, w) != 0;
    t.anyNegativeZero |= laneOf(ex.negativeZero, w) != 0;
    const double lw = laneOf(ex.least, w), mw = laneOf(ex.most, w);
    t.least = lw < t.least ? lw : t.least;
    t.most = mw > t.most ? mw : t.most;
  }
  return t;
}

}  // namespace stepclassify
}  // namespace STEPMIN_ISA

// The AVX2 build of classifyTerms, where the compiler can make one.
stepterms::Terms classifyTermsAvx2(const double* x, const double* v, const double* index,
                                   int32_t termCount, double loPlus, double hiMinus, double hi,
                                   double* b, int32_t* be);
