#pragma once
// The dot products both passes are made of: one ascending sum per entry,
// whatever else is computed beside it.
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace entrydots {

// a . b over m rows, unrolled by four into a single ascending sum.
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
inline void dot4(const double* const a[4], const double* const b[4], int64_t m, double s[4]) {
  const double *a0 = a[0], *a1 = a[1], *a2 = a[2], *a3 = a[3];
  const double *b0 = b[0], *b1 = b[1], *b2 = b[2], *b3 = b[3];
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

// W dot products that share their right-hand column b, each one ascending
// sum: b is read once for all of them.
template <int W>
inline void dotShared(const double* const a[W], const double* b, int64_t m, double s[W]) {
  double sum[W];
  for (int w = 0; w < W; ++w) sum[w] = 0.0;
  for (int64_t t = 0; t < m; ++t) {
    const double bt = b[t];
    for (int w = 0; w < W; ++w) sum[w] = sum[w] + a[w][t] * bt;
  }
  for (int w = 0; w < W; ++w) s[w] = sum[w];
}

#if defined(__SSE2__)
// Eight of them with two sums to a register: each lane still adds its own
// products one at a time in ascending t, so the bits are those above.
template <>
inline void dotShared<8>(const double* const a[8], const double* b, int64_t m, double s[8]) {
  __m128d v[4];
  for (int w = 0; w < 4; ++w) v[w] = _mm_setzero_pd();
  int64_t t = 0;
  for (; t + 2 <= m; t += 2) {
    const __m128d bb = _mm_loadu_pd(b + t);
    const __m128d b0 = _mm_unpacklo_pd(bb, bb), b1 = _mm_unpackhi_pd(bb, bb);
    for (int w = 0; w < 4; ++w) {
      const __m128d x = _mm_loadu_pd(a[2 * w] + t), y = _mm_loadu_pd(a[2 * w + 1] + t);
      v[w] = _mm_add_pd(v[w], _mm_mul_pd(_mm_unpacklo_pd(x, y), b0));
      v[w] = _mm_add_pd(v[w], _mm_mul_pd(_mm_unpackhi_pd(x, y), b1));
    }
  }
  if (t < m) {
    const __m128d bt = _mm_set1_pd(b[t]);
    for (int w = 0; w < 4; ++w)
      v[w] = _mm_add_pd(v[w], _mm_mul_pd(_mm_set_pd(a[2 * w + 1][t], a[2 * w][t]), bt));
  }
  for (int w = 0; w < 4; ++w) _mm_storeu_pd(s + 2 * w, v[w]);
}
#endif

}  // namespace entrydots
