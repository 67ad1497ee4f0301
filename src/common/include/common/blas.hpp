#pragma once
// The host's BLAS product, declared here because neither host ships a
// header we may rely on. The integer width is fixed when building: 32 bits
// for Octave's reference interface, 64 for MATLAB's libmwblas.
#include <cstddef>
#include <cstdint>
#include <cstring>

#if BLAS_INT_WIDTH == 64
using BlasInt = int64_t;
#elif BLAS_INT_WIDTH == 32
using BlasInt = int32_t;
#else
#error "BLAS_INT_WIDTH must be 32 or 64"
#endif

#if defined(_WIN32)
#define SK_DGEMM dgemm
#else
#define SK_DGEMM dgemm_
#endif

extern "C" void SK_DGEMM(const char* transa, const char* transb, const BlasInt* m, const BlasInt* n,
                         const BlasInt* k, const double* alpha, const double* a, const BlasInt* lda,
                         const double* b, const BlasInt* ldb, const double* beta, double* c,
                         const BlasInt* ldc, std::size_t transaLen, std::size_t transbLen);

// Largest size the BLAS integers can carry.
constexpr int64_t kBlasIntMax = static_cast<int64_t>(INT64_MAX >> (64 - BLAS_INT_WIDTH));

// C = op(A) * op(B) with C m x n, leading dimension ldc. Sizes must fit
// BlasInt (callers check). BLAS rejects a leading dimension of 0 and some
// implementations leave C alone when k is 0, so those cases stay here.
inline void denseProduct(char transa, char transb, int64_t m, int64_t n, int64_t k, const double* A,
                         int64_t lda, const double* B, int64_t ldb, double* C, int64_t ldc) {
  if (m == 0 || n == 0) return;
  if (k == 0) {
    for (int64_t j = 0; j < n; ++j) std::memset(C + j * ldc, 0, sizeof(double) * m);
    return;
  }
  const BlasInt bm = static_cast<BlasInt>(m), bn = static_cast<BlasInt>(n),
                bk = static_cast<BlasInt>(k), blda = static_cast<BlasInt>(lda),
                bldb = static_cast<BlasInt>(ldb), bldc = static_cast<BlasInt>(ldc);
  const double one = 1.0, zero = 0.0;
  SK_DGEMM(&transa, &transb, &bm, &bn, &bk, &one, A, &blda, B, &bldb, &zero, C, &bldc, 1, 1);
}
