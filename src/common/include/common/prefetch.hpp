#pragma once
// Cache hints for walks whose next addresses are known from the list; they
// change no result, and compile to nothing where the compiler has none.
#include <cstdint>

#if defined(_MSC_VER) && !defined(__clang__)
#include <xmmintrin.h>
#endif

// List entries between the prefetch of the rows an entry reads and their
// use, in every walk over a list.
constexpr int32_t kPrefetchAhead = 32;

inline void prefetchRead(const double* p) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(p, 0);
#elif defined(_MSC_VER)
  _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0);
#else
  (void)p;
#endif
}

inline void prefetchWrite(double* p) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(p, 1);
#elif defined(_MSC_VER)
  _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0);
#else
  (void)p;
#endif
}
