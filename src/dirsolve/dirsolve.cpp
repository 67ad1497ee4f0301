#include "dirsolve/dirsolve.hpp"

#include <omp.h>

#include <cstring>

#include "host/convert.hpp"
#include "pcg/pcg.hpp"

void symUpperProduct(double* q, const double* p, int64_t n, const SparseColumns& A) {
  const uint64_t* Ir = A.Ir;
  const uint64_t* Jc = A.Jc;
  const double* v = A.values;
  std::memset(q, 0, sizeof(double) * static_cast<size_t>(n));
  for (int64_t c = 0; c < n; ++c) {
    const uint64_t d = Jc[c + 1] - 1;
    const double pc = p[c];
    double s = 0.0;
    // Each off-diagonal entry serves as (i, c) and as (c, i).
    for (uint64_t e = Jc[c]; e < d; ++e) {
      const uint64_t i = Ir[e];
      const double a = v[e];
      q[i] = a * pc + q[i];
      s = s + a * p[i];
    }
    q[c] = (p[Ir[d]] * v[d] + s) + q[c];
  }
}

void forwardSolveLower(double* z, const double* r, int64_t n, const Factor& L) {
  const uint64_t* Ir = L.m.Ir;
  const uint64_t* Jc = L.m.Jc;
  const double* v = L.m.values;
  if (z != r) std::memcpy(z, r, sizeof(double) * static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) {
    // The diagonal is held as its reciprocal, so the solve multiplies.
    const double t = L.recipDiag[i] * z[i];
    for (uint64_t e = Jc[i] + 1; e < Jc[i + 1]; ++e) z[Ir[e]] = z[Ir[e]] - t * v[e];
    z[i] = t;
  }
}

void forwardSolveUpperT(double* z, const double* r, int64_t n, const Factor& U) {
  const uint64_t* Ir = U.m.Ir;
  const uint64_t* Jc = U.m.Jc;
  const double* v = U.m.values;
  for (int64_t i = 0; i < n; ++i) {
    // Column i of U is row i of U^T: one gathered sum, no scattered writes.
    double s = r[i];
    const uint64_t d = Jc[i + 1] - 1;
    for (uint64_t e = Jc[i]; e < d; ++e) s = s - z[Ir[e]] * v[e];
    z[i] = s * U.recipDiag[i];
  }
}

void backwardSolveLowerT(double* z, const double* y, int64_t n, const Factor& L) {
  const uint64_t* Ir = L.m.Ir;
  const uint64_t* Jc = L.m.Jc;
  const double* v = L.m.values;
  // y[c] is read before z[c] is written, so z may be y.
  for (int64_t c = n - 1; c >= 0; --c) {
    double s = y[c];
    for (uint64_t e = Jc[c] + 1; e < Jc[c + 1]; ++e) s = s - z[Ir[e]] * v[e];
    z[c] = L.recipDiag[c] * s;
  }
}

void reciprocalDiagonal(double* recip, int64_t n, const SparseColumns& M, bool diagonalFirst) {
  for (int64_t j = 0; j < n; ++j)
    recip[j] = 1.0 / M.values[diagonalFirst ? M.Jc[j] : M.Jc[j + 1] - 1];
}

int64_t firstBadUpperColumn(int64_t n, const uint64_t* Ir, const uint64_t* Jc) {
  for (int64_t j = 0; j < n; ++j) {
    const uint64_t b = Jc[j], e = Jc[j + 1];
    if (e <= b || Ir[e - 1] != static_cast<uint64_t>(j)) return j;
    for (uint64_t t = b; t + 1 < e; ++t)
      if (Ir[t] >= static_cast<uint64_t>(j)) return j;
  }
  return -1;
}

int64_t firstBadLowerColumn(int64_t n, const uint64_t* Ir, const uint64_t* Jc) {
  for (int64_t j = 0; j < n; ++j) {
    const uint64_t b = Jc[j], e = Jc[j + 1];
    if (e <= b || Ir[b] != static_cast<uint64_t>(j)) return j;
    for (uint64_t t = b + 1; t < e; ++t)
      if (Ir[t] <= static_cast<uint64_t>(j)) return j;
  }
  return -1;
}

namespace {

struct UpperOperator {
  const SparseColumns& A;
  int64_t n;
  void apply(double* z, const double* p) const { symUpperProduct(z, p, n, A); }
};

// M = L L^T: forward through U^T when given (gathered), else through L.
struct FactorPreconditioner {
  const Factor& L;
  const Factor* U;
  int64_t n;
  void apply(double* z, const double* r) const {
    if (U)
      forwardSolveUpperT(z, r, n, *U);
    else
      forwardSolveLower(z, r, n, L);
    backwardSolveLowerT(z, z, n, L);
  }
};

template <class Preconditioner>
void solveAll(const DirsolveProblem& pb, const Preconditioner& M, double* X, int numThreads,
              double* R, double* P, double* Z, double* XF) {
  const int64_t n = pb.n;
  const size_t bytes = sizeof(double) * static_cast<size_t>(n);
  const UpperOperator A{pb.A, n};
  const int32_t k = static_cast<int32_t>(pb.k);
#pragma omp parallel num_threads(numThreads)
  {
    const int64_t t = omp_get_thread_num();
    double* r = R + t * n;
    double* p = P + t * n;
    double* z = Z + t * n;
#pragma omp for schedule(dynamic, 1)
    for (int32_t j = 0; j < k; ++j) {
      if (pb.canonical) {
        std::memset(r, 0, bytes);
        r[truncToInt32(pb.B[j]) - 1] = 1.0;
      } else {
        std::memcpy(r, pb.B + j * n, bytes);
      }
      double* x = pb.rowSubset ? XF + t * n : X + j * n;
      if (pb.xIn)
        std::memcpy(x, pb.xIn + j * n, bytes);
      else
        std::memset(x, 0, bytes);
      pcgSolveColumn(A, M, n, x, pb.maxIter, pb.tol, r, p, z);
      if (pb.rowSubset) {
        double* out = X + j * pb.m;
        for (int64_t i = 0; i < pb.m; ++i) out[i] = x[truncToInt32(pb.rowSubset[i]) - 1];
      }
    }
  }
}

}  // namespace

void solveColumns(const DirsolveProblem& pb, double* X, int numThreads, double* R, double* P,
                  double* Z, double* XF) {
  if (pb.L)
    solveAll(pb, FactorPreconditioner{*pb.L, pb.U, pb.n}, X, numThreads, R, P, Z, XF);
  else
    solveAll(pb, NoPreconditioner{}, X, numThreads, R, P, Z, XF);
}
