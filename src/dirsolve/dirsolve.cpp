#include "dirsolve/dirsolve.hpp"

#include <omp.h>

#include <cstring>

#include "host/convert.hpp"
#include "pcg/pcg.hpp"

namespace {

// The kernels run on W right-hand sides at once: each lane's arithmetic is
// exactly that of a call on its own, and the matrix is read once for all.

template <int W>
void symUpperProductLanes(double* const q[W], const double* const p[W], int64_t n,
                          const SparseColumns& A) {
  const uint64_t* Ir = A.Ir;
  const uint64_t* Jc = A.Jc;
  const double* v = A.values;
  for (int w = 0; w < W; ++w) std::memset(q[w], 0, sizeof(double) * static_cast<size_t>(n));
  for (int64_t c = 0; c < n; ++c) {
    const uint64_t d = Jc[c + 1] - 1;
    double pc[W], s[W];
    for (int w = 0; w < W; ++w) {
      pc[w] = p[w][c];
      s[w] = 0.0;
    }
    // Each off-diagonal entry serves as (i, c) and as (c, i).
    for (uint64_t e = Jc[c]; e < d; ++e) {
      const uint64_t i = Ir[e];
      const double a = v[e];
      for (int w = 0; w < W; ++w) {
        q[w][i] = a * pc[w] + q[w][i];
        s[w] = s[w] + a * p[w][i];
      }
    }
    for (int w = 0; w < W; ++w) q[w][c] = (p[w][Ir[d]] * v[d] + s[w]) + q[w][c];
  }
}

template <int W>
void forwardSolveLowerLanes(double* const z[W], const double* const r[W], int64_t n,
                            const Factor& L) {
  const uint64_t* Ir = L.m.Ir;
  const uint64_t* Jc = L.m.Jc;
  const double* v = L.m.values;
  for (int w = 0; w < W; ++w)
    if (z[w] != r[w]) std::memcpy(z[w], r[w], sizeof(double) * static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) {
    // The diagonal is held as its reciprocal, so the solve multiplies.
    double t[W];
    for (int w = 0; w < W; ++w) t[w] = L.recipDiag[i] * z[w][i];
    for (uint64_t e = Jc[i] + 1; e < Jc[i + 1]; ++e)
      for (int w = 0; w < W; ++w) z[w][Ir[e]] = z[w][Ir[e]] - t[w] * v[e];
    for (int w = 0; w < W; ++w) z[w][i] = t[w];
  }
}

template <int W>
void forwardSolveUpperTLanes(double* const z[W], const double* const r[W], int64_t n,
                             const Factor& U) {
  const uint64_t* Ir = U.m.Ir;
  const uint64_t* Jc = U.m.Jc;
  const double* v = U.m.values;
  double prev[W] = {};  // z[i - 1], kept in registers
  for (int64_t i = 0; i < n; ++i) {
    // Column i of U is row i of U^T: one gathered sum, no scattered writes.
    double s[W];
    for (int w = 0; w < W; ++w) s[w] = r[w][i];
    const uint64_t d = Jc[i + 1] - 1;
    // The row just solved is usually the last term: taking it from a
    // register keeps the store-to-load delay off the solve's critical path.
    const bool adjacent = d > Jc[i] && Ir[d - 1] + 1 == static_cast<uint64_t>(i);
    const uint64_t stop = adjacent ? d - 1 : d;
    for (uint64_t e = Jc[i]; e < stop; ++e)
      for (int w = 0; w < W; ++w) s[w] = s[w] - z[w][Ir[e]] * v[e];
    if (adjacent)
      for (int w = 0; w < W; ++w) s[w] = s[w] - prev[w] * v[d - 1];
    for (int w = 0; w < W; ++w) z[w][i] = prev[w] = s[w] * U.recipDiag[i];
  }
}

template <int W>
void backwardSolveLowerTLanes(double* const z[W], const double* const y[W], int64_t n,
                              const Factor& L) {
  const uint64_t* Ir = L.m.Ir;
  const uint64_t* Jc = L.m.Jc;
  const double* v = L.m.values;
  double next[W] = {};  // z[c + 1], kept in registers
  // y[c] is read before z[c] is written, so z may be y.
  for (int64_t c = n - 1; c >= 0; --c) {
    double s[W];
    for (int w = 0; w < W; ++w) s[w] = y[w][c];
    uint64_t e = Jc[c] + 1;
    const uint64_t end = Jc[c + 1];
    // The row just solved is usually the first term (see the forward solve).
    if (e < end && Ir[e] == static_cast<uint64_t>(c) + 1) {
      for (int w = 0; w < W; ++w) s[w] = s[w] - next[w] * v[e];
      ++e;
    }
    for (; e < end; ++e)
      for (int w = 0; w < W; ++w) s[w] = s[w] - z[w][Ir[e]] * v[e];
    for (int w = 0; w < W; ++w) z[w][c] = next[w] = L.recipDiag[c] * s[w];
  }
}

}  // namespace

void symUpperProduct(double* q, const double* p, int64_t n, const SparseColumns& A) {
  symUpperProductLanes<1>(&q, &p, n, A);
}

void forwardSolveLower(double* z, const double* r, int64_t n, const Factor& L) {
  forwardSolveLowerLanes<1>(&z, &r, n, L);
}

void forwardSolveUpperT(double* z, const double* r, int64_t n, const Factor& U) {
  forwardSolveUpperTLanes<1>(&z, &r, n, U);
}

void backwardSolveLowerT(double* z, const double* y, int64_t n, const Factor& L) {
  backwardSolveLowerTLanes<1>(&z, &y, n, L);
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
  void applyLanes(double* const z[2], const double* const p[2]) const {
    symUpperProductLanes<2>(z, p, n, A);
  }
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
  void applyLanes(double* const z[2], const double* const r[2]) const {
    if (U)
      forwardSolveUpperTLanes<2>(z, r, n, *U);
    else
      forwardSolveLowerLanes<2>(z, r, n, L);
    backwardSolveLowerTLanes<2>(z, z, n, L);
  }
};

// Columns go out in pairs, solved in lockstep: each keeps its own
// arithmetic, and the pair shares every read of the matrix and the factors.
template <class Preconditioner>
void solveAll(const DirsolveProblem& pb, const Preconditioner& M, double* X, int numThreads,
              double* R, double* P, double* Z, double* XF, const ColumnReport& report) {
  const int64_t n = pb.n;
  const size_t bytes = sizeof(double) * static_cast<size_t>(n);
  const UpperOperator A{pb.A, n};
  const int64_t units = (pb.k + 1) / 2;
#pragma omp parallel num_threads(numThreads)
  {
    const int64_t t = omp_get_thread_num();
#pragma omp for schedule(dynamic, 1)
    for (int64_t u = 0; u < units; ++u) {
      const int64_t j0 = 2 * u;
      const int lanes = j0 + 1 < pb.k ? 2 : 1;
      double* r[2];
      double* p[2];
      double* z[2];
      double* x[2];
      for (int w = 0; w < lanes; ++w) {
        const int64_t j = j0 + w, slice = (2 * t + w) * n;
        r[w] = R + slice;
        p[w] = P + slice;
        z[w] = Z + slice;
        if (pb.canonical) {
          std::memset(r[w], 0, bytes);
          r[w][truncToInt32(pb.B[j]) - 1] = 1.0;
        } else {
          std::memcpy(r[w], pb.B + j * n, bytes);
        }
        x[w] = pb.rowSubset ? XF + slice : X + j * n;
        if (pb.xIn)
          std::memcpy(x[w], pb.xIn + j * n, bytes);
        else
          std::memset(x[w], 0, bytes);
      }
      int32_t passes[2];
      double relres[2];
      if (lanes == 2)
        pcgSolveLanes<2>(A, M, n, x, pb.maxIter, pb.tol, r, p, z, passes, relres);
      else
        passes[0] = pcgSolveColumn(A, M, n, x[0], pb.maxIter, pb.tol, r[0], p[0], z[0], relres);
      for (int w = 0; w < lanes; ++w) reportColumn(report, j0 + w, passes[w], relres[w]);
      if (pb.rowSubset) {
        for (int w = 0; w < lanes; ++w) {
          double* out = X + (j0 + w) * pb.m;
          for (int64_t i = 0; i < pb.m; ++i) out[i] = x[w][truncToInt32(pb.rowSubset[i]) - 1];
        }
      }
    }
  }
}

}  // namespace

void solveColumns(const DirsolveProblem& pb, double* X, int numThreads, double* R, double* P,
                  double* Z, double* XF, const ColumnReport& report) {
  if (pb.L)
    solveAll(pb, FactorPreconditioner{*pb.L, pb.U, pb.n}, X, numThreads, R, P, Z, XF, report);
  else
    solveAll(pb, NoPreconditioner{}, X, numThreads, R, P, Z, XF, report);
}
