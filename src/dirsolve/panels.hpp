#pragma once
// dirsolve's kernels on panels of W columns and its column loop. Built once
// for the baseline instruction set (dirsolve.cpp) and, where the compiler
// can, once more for AVX-512 (dirsolve_avx512.cpp); dirsolve.cpp picks one
// at run time. All of it lives in pcg's instruction-set namespace, and it
// calls no inline function from elsewhere, so the two builds share no code.
#include <omp.h>

#include <cstdint>
#include <cstring>

#include "dirsolve/dirsolve.hpp"
#include "pcg/lanes.hpp"
#include "pcg/pcg.hpp"

// How solveColumns lays a call's columns out in panels.
struct PanelPlan {
  int width = 1;                   // lanes of the full panels
  int64_t slice = 0;               // doubles of one thread's panel
  const int64_t* order = nullptr;  // the columns in panel order; null: 0, 1, ...
  bool finiteFactors = false;      // every value of L and U and reciprocal finite
};

inline namespace PCG_ISA {
namespace dirsolvepanels {

// A panel holds n rows of W values (element (i, w) at i * W + w): each
// lane's arithmetic is exactly that of a call on its own, the matrix is
// read once for all, and every entry meets one row of W contiguous values,
// held in vector registers.

template <int W>
void symUpperProductPanel(double* q, const double* p, int64_t n, const SparseColumns& A) {
  using V = Lanes<W>;
  const uint64_t* Ir = A.Ir;
  const uint64_t* Jc = A.Jc;
  const double* v = A.values;
  // Row c is first reached at its own column, after which only columns to
  // its right add to it; so it starts there as (its sum) + 0.0, the value
  // it would have after clearing q, without a pass to clear it.
  const V zero = V::zero();
  for (int64_t c = 0; c < n; ++c) {
    const uint64_t d = Jc[c + 1] - 1;
    const V pc = V::load(p + c * W);
    V s = V::zero();
    // Each off-diagonal entry serves as (i, c) and as (c, i).
    for (uint64_t e = Jc[c]; e < d; ++e) {
      const double a = v[e];
      double* qi = q + Ir[e] * W;
      (a * pc + V::load(qi)).store(qi);
      s = s + a * V::load(p + Ir[e] * W);
    }
    ((V::load(p + Ir[d] * W) * v[d] + s) + zero).store(q + c * W);
  }
}

// The forward solves take `from`, a count of leading rows in which every
// lane of r is 0.0. With finite values in the factor those rows of z are
// 0.0 times the reciprocal, and what they would subtract from later rows
// is +-0, which changes no row (each holds +0 or another value, never -0):
// so they are set at once and the solve starts at row `from`.

template <int W>
void forwardSolveLowerPanel(double* z, const double* r, int64_t n, const Factor& L,
                            int64_t from = 0) {
  using V = Lanes<W>;
  const uint64_t* Ir = L.m.Ir;
  const uint64_t* Jc = L.m.Jc;
  const double* v = L.m.values;
  if (z != r) std::memcpy(z, r, sizeof(double) * static_cast<size_t>(n) * W);
  for (int64_t i = 0; i < from; ++i) (L.recipDiag[i] * V::zero()).store(z + i * W);
  for (int64_t i = from; i < n; ++i) {
    // The diagonal is held as its reciprocal, so the solve multiplies.
    const V t = L.recipDiag[i] * V::load(z + i * W);
    for (uint64_t e = Jc[i] + 1; e < Jc[i + 1]; ++e) {
      double* zr = z + Ir[e] * W;
      (V::load(zr) - t * v[e]).store(zr);
    }
    t.store(z + i * W);
  }
}

template <int W>
void forwardSolveUpperTPanel(double* z, const double* r, int64_t n, const Factor& U,
                             int64_t from = 0) {
  using V = Lanes<W>;
  const uint64_t* Ir = U.m.Ir;
  const uint64_t* Jc = U.m.Jc;
  const double* v = U.m.values;
  V prev = V::zero();  // row i - 1 of z, kept in registers
  for (int64_t i = 0; i < from; ++i) {
    prev = V::zero() * U.recipDiag[i];
    prev.store(z + i * W);
  }
  for (int64_t i = from; i < n; ++i) {
    // Column i of U is row i of U^T: one gathered sum, no scattered writes.
    V s = V::load(r + i * W);
    const uint64_t d = Jc[i + 1] - 1;
    // The row just solved is usually the last term: taking it from
    // registers keeps the store-to-load delay off the solve's critical path.
    const bool adjacent = d > Jc[i] && Ir[d - 1] + 1 == static_cast<uint64_t>(i);
    const uint64_t stop = adjacent ? d - 1 : d;
    for (uint64_t e = Jc[i]; e < stop; ++e) s = s - V::load(z + Ir[e] * W) * v[e];
    if (adjacent) s = s - prev * v[d - 1];
    prev = s * U.recipDiag[i];
    prev.store(z + i * W);
  }
}

// A hint to fetch the line at p; changes nothing but timing. (Local, like
// all of this file: see the top.)
inline void prefetchLine(const void* p) {
#if defined(__GNUC__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

// Columns ahead whose factor entries the backward solve asks for early,
// and listed rows ahead that the gather of a row subset asks for.
constexpr int64_t kBackwardAhead = 8;
constexpr int64_t kRowsAhead = 16;

template <int W>
void backwardSolveLowerTPanel(double* z, const double* y, int64_t n, const Factor& L) {
  using V = Lanes<W>;
  const uint64_t* Ir = L.m.Ir;
  const uint64_t* Jc = L.m.Jc;
  const double* v = L.m.values;
  V next = V::zero();  // row c + 1 of z, kept in registers
  // Row c of y is read before row c of z is written, so z may be y.
  for (int64_t c = n - 1; c >= 0; --c) {
    // The columns are walked downwards, which the processor's own
    // prefetching follows poorly: once the factor no longer fits the cache
    // this halves the solve's time.
    if (c >= kBackwardAhead)
      for (uint64_t f = Jc[c - kBackwardAhead]; f < Jc[c - kBackwardAhead + 1]; f += 8) {
        prefetchLine(Ir + f);
        prefetchLine(v + f);
      }
    V s = V::load(y + c * W);
    uint64_t e = Jc[c] + 1;
    const uint64_t end = Jc[c + 1];
    // The row just solved is usually the first term (see the forward solve).
    if (e < end && Ir[e] == static_cast<uint64_t>(c) + 1) {
      s = s - next * v[e];
      ++e;
    }
    for (; e < end; ++e) s = s - V::load(z + Ir[e] * W) * v[e];
    next = L.recipDiag[c] * s;
    next.store(z + c * W);
  }
}

struct UpperOperator {
  const SparseColumns& A;
  int64_t n;
  void apply(double* z, const double* p) const { symUpperProductPanel<1>(z, p, n, A); }
  template <int W>
  void applyPanel(double* z, const double* p) const {
    symUpperProductPanel<W>(z, p, n, A);
  }
};

// M = L L^T: forward through U^T when given (gathered), else through L.
// zeroRows leading rows of r that are 0.0 are skipped only when `finite`
// (every value of L and U and every reciprocal is finite).
struct FactorPreconditioner {
  const Factor& L;
  const Factor* U;
  int64_t n;
  bool finite;
  static constexpr bool kSkipsLeadingZeros = true;
  void apply(double* z, const double* r) const { applyPanel<1>(z, r); }
  template <int W>
  void applyPanel(double* z, const double* r, int64_t zeroRows = 0) const {
    const int64_t from = finite ? zeroRows : 0;
    if (U)
      forwardSolveUpperTPanel<W>(z, r, n, *U, from);
    else
      forwardSolveLowerPanel<W>(z, r, n, L, from);
    backwardSolveLowerTPanel<W>(z, z, n, L);
  }
};

// 0-based row of a 1-based index the gateway has checked to lie in 1..n.
inline int64_t rowOf(double index) { return static_cast<int64_t>(index) - 1; }

// The columns at positions first .. first + W - 1 of the call's order,
// solved in lockstep in the thread's panels r, p, z and x: each keeps its
// own arithmetic, and the panel shares every read of the matrix and the
// factors.
template <int W, class Preconditioner>
void solvePanel(const DirsolveProblem& pb, const PanelPlan& plan, const Preconditioner& M,
                int64_t first, double* X, double* r, double* p, double* z, double* x,
                const ColumnReport& report) {
  const int64_t n = pb.n;
  int64_t col[W];
  for (int w = 0; w < W; ++w) col[w] = plan.order ? plan.order[first + w] : first + w;
  PanelStart start;
  if (pb.canonical) {
    std::memset(r, 0, sizeof(double) * static_cast<size_t>(n) * W);
    start.unitResiduals = true;
    start.zeroRows = n;
    for (int w = 0; w < W; ++w) {
      const int64_t row = rowOf(pb.B[col[w]]);
      r[row * W + w] = 1.0;
      start.zeroRows = row < start.zeroRows ? row : start.zeroRows;
    }
  } else {
    const double* b[W];
    for (int w = 0; w < W; ++w) b[w] = pb.B + col[w] * n;
    for (int64_t i = 0; i < n; ++i)
      for (int w = 0; w < W; ++w) r[i * W + w] = b[w][i];
  }
  if (pb.xIn) {
    const double* x0[W];
    for (int w = 0; w < W; ++w) x0[w] = pb.xIn + col[w] * n;
    for (int64_t i = 0; i < n; ++i)
      for (int w = 0; w < W; ++w) x[i * W + w] = x0[w][i];
  }
  start.zeroSolution = !pb.xIn;

  int32_t passes[W];
  double relres[W];
  pcgSolvePanel<W>(UpperOperator{pb.A, n}, M, n, x, pb.maxIter, pb.tol, r, p, z, passes, relres,
                   start);

  for (int w = 0; w < W; ++w) {
    if (report.passes) report.passes[col[w]] = passes[w];
    if (report.relres) report.relres[col[w]] = relres[w];
  }
  // Row by row: one panel row feeds W output columns. Listed rows come in
  // any order, so they are asked for a few rows ahead.
  const int64_t m = pb.rowSubset ? pb.m : n;
  double* out[W];
  for (int w = 0; w < W; ++w) out[w] = X + col[w] * m;
  for (int64_t i = 0; i < m; ++i) {
    if (pb.rowSubset && i + kRowsAhead < m) {
      const double* ahead = x + rowOf(pb.rowSubset[i + kRowsAhead]) * W;
      for (int w = 0; w < W; w += 8) prefetchLine(ahead + w);
    }
    const double* row = x + (pb.rowSubset ? rowOf(pb.rowSubset[i]) : i) * W;
    for (int w = 0; w < W; ++w) out[w][i] = row[w];
  }
}

// The column loop: panels of plan.width lanes, then halving widths for
// the rest, one at a time per thread in its slices of plan.slice doubles.
template <class Preconditioner>
void solveAll(const DirsolveProblem& pb, const PanelPlan& plan, const Preconditioner& M,
              double* X, int numThreads, double* R, double* P, double* Z, double* XF,
              const ColumnReport& report) {
  const int64_t units = panelCount(pb.k, plan.width);
#pragma omp parallel num_threads(numThreads)
  {
    const int64_t t = omp_get_thread_num();
    double* r = R + t * plan.slice;
    double* p = P + t * plan.slice;
    double* z = Z + t * plan.slice;
    double* x = XF + t * plan.slice;
#pragma omp for schedule(dynamic, 1)
    for (int64_t u = 0; u < units; ++u) {
      const Panel c = panelAt(u, pb.k, plan.width);
      switch (c.width) {
        case 16:
          solvePanel<16>(pb, plan, M, c.first, X, r, p, z, x, report);
          break;
        case 8:
          solvePanel<8>(pb, plan, M, c.first, X, r, p, z, x, report);
          break;
        case 4:
          solvePanel<4>(pb, plan, M, c.first, X, r, p, z, x, report);
          break;
        case 2:
          solvePanel<2>(pb, plan, M, c.first, X, r, p, z, x, report);
          break;
        default:
          solvePanel<1>(pb, plan, M, c.first, X, r, p, z, x, report);
          break;
      }
    }
  }
}

// Both preconditioner choices, on the panels solveColumns planned.
inline void solveColumnsWith(const DirsolveProblem& pb, const PanelPlan& plan, double* X,
                             int numThreads, double* R, double* P, double* Z, double* XF,
                             const ColumnReport& report) {
  if (pb.L)
    solveAll(pb, plan, FactorPreconditioner{*pb.L, pb.U, pb.n, plan.finiteFactors}, X,
             numThreads, R, P, Z, XF, report);
  else
    solveAll(pb, plan, NoPreconditioner{}, X, numThreads, R, P, Z, XF, report);
}

}  // namespace dirsolvepanels
}  // inline namespace PCG_ISA

// The AVX-512 build of solveColumnsWith, where the compiler can make one.
void solveColumnsAvx512(const DirsolveProblem& pb, const PanelPlan& plan, double* X,
                        int numThreads, double* R, double* P, double* Z, double* XF,
                        const ColumnReport& report);
