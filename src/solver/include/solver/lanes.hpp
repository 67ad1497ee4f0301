#pragma once
// The W values of one panel row (one per lockstep column) as a value the
// compiler keeps in vector registers. Every operation is lane by lane and
// is the scalar operation on each lane, so a lane computes exactly what a
// solve of its column alone computes; no operation mixes lanes.
//
// A module may build its column loop a second time for a wider
// instruction set and choose at run time. Everything here and in pcg.hpp
// then lives in an inline namespace named after the instruction set, so
// the linker never merges a template built for one set into code built
// for another.
#include <cstring>

#if defined(__GNUC__) && defined(__AVX512F__)
#define PCG_ISA isa_avx512
#elif defined(__GNUC__) && defined(__AVX__)
#define PCG_ISA isa_avx
#elif defined(__GNUC__) && (defined(__SSE2__) || defined(__ARM_NEON))
#define PCG_ISA isa_vec2
#else
#define PCG_ISA isa_scalar
#endif

inline namespace PCG_ISA {

namespace lanesdetail {

// Doubles per native vector: the widest the build's target offers.
#if defined(__GNUC__) && defined(__AVX512F__)
constexpr int kNative = 8;
#elif defined(__GNUC__) && defined(__AVX__)
constexpr int kNative = 4;
#elif defined(__GNUC__) && (defined(__SSE2__) || defined(__ARM_NEON))
constexpr int kNative = 2;
#else
constexpr int kNative = 1;
#endif

template <int N>
struct Native {
  typedef double type;  // one lane: a plain double
};
#if defined(__GNUC__)
template <>
struct Native<2> {
  typedef double type __attribute__((vector_size(16)));
};
template <>
struct Native<4> {
  typedef double type __attribute__((vector_size(32)));
};
template <>
struct Native<8> {
  typedef double type __attribute__((vector_size(64)));
};
#endif

}  // namespace lanesdetail

template <int W>
struct Lanes {
  static constexpr int N = W < lanesdetail::kNative ? W : lanesdetail::kNative;
  static constexpr int kParts = W / N;
  using V = typename lanesdetail::Native<N>::type;
  V part[kParts];

  // One unaligned vector move per part (one memcpy of all parts may be
  // split into moves narrower than the parts, which stalls their reads).
  static Lanes load(const double* p) {
    Lanes a;
    for (int k = 0; k < kParts; ++k) std::memcpy(&a.part[k], p + k * N, sizeof(V));
    return a;
  }
  void store(double* p) const {
    for (int k = 0; k < kParts; ++k) std::memcpy(p + k * N, &part[k], sizeof(V));
  }
  static Lanes zero() {
    Lanes a;
    for (int k = 0; k < kParts; ++k) a.part[k] = V{};
    return a;
  }
  friend Lanes operator+(const Lanes& a, const Lanes& b) {
    Lanes c;
    for (int k = 0; k < kParts; ++k) c.part[k] = a.part[k] + b.part[k];
    return c;
  }
  friend Lanes operator-(const Lanes& a, const Lanes& b) {
    Lanes c;
    for (int k = 0; k < kParts; ++k) c.part[k] = a.part[k] - b.part[k];
    return c;
  }
  friend Lanes operator*(const Lanes& a, const Lanes& b) {
    Lanes c;
    for (int k = 0; k < kParts; ++k) c.part[k] = a.part[k] * b.part[k];
    return c;
  }
  // With a scalar on either side, as the scalar code has it.
  friend Lanes operator*(const Lanes& a, double s) {
    Lanes c;
    for (int k = 0; k < kParts; ++k) c.part[k] = a.part[k] * s;
    return c;
  }
  friend Lanes operator*(double s, const Lanes& a) {
    Lanes c;
    for (int k = 0; k < kParts; ++k) c.part[k] = s * a.part[k];
    return c;
  }
  friend Lanes operator/(const Lanes& a, double s) {
    Lanes c;
    for (int k = 0; k < kParts; ++k) c.part[k] = a.part[k] / s;
    return c;
  }
};

// A hint to fetch the line at p; changes nothing but timing. (Here, not
// from common/, so that nothing of another build is linked in: see above.)
inline void prefetchLine(const void* p) {
#if defined(__GNUC__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

}  // namespace PCG_ISA
