#pragma once
// dirsolve's kernels on panels of W columns, its operator and
// preconditioner, and their column loop. Built once for the baseline
// instruction set (dirsolve.cpp) and, where the compiler can, once more for
// AVX-512 (dirsolve_avx512.cpp); dirsolve.cpp picks one at run time. All of
// it lives in the solver's instruction-set namespace, and it calls no
// inline function from elsewhere, so the two builds share no code.
#include <cstdint>
#include <cstring>

#include "dirsolve/dirsolve.hpp"
#include "solver/columnloop.hpp"
#include "solver/lanes.hpp"
#include "solver/pcg.hpp"

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

// Columns ahead whose factor entries the backward solve asks for early.
constexpr int64_t kBackwardAhead = 8;

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

// The column loop with either preconditioner, on the panels of `plan`.
// finiteFactors: every value of L and U and every reciprocal is finite.
inline void solveColumnsWith(const DirsolveProblem& pb, const ColumnPlan& plan, bool finiteFactors,
                             double* X, int numThreads, const PanelBuffers& buf,
                             const ColumnReport& report) {
  const int64_t n = pb.request.n;
  const UpperOperator A{pb.A, n};
  if (pb.L) {
    const FactorPreconditioner M{*pb.L, pb.U, n, finiteFactors};
    solveColumnLoop<kDirsolveLanes>(
        pb.request, plan, A, [&](int) { return M; }, IdentityNumbering{}, X, numThreads, buf,
        report);
  } else {
    solveColumnLoop<kDirsolveLanes>(
        pb.request, plan, A, [](int) { return NoPreconditioner{}; }, IdentityNumbering{}, X,
        numThreads, buf, report);
  }
}

}  // namespace dirsolvepanels
}  // namespace PCG_ISA

// The AVX-512 build of solveColumnsWith, where the compiler can make one.
void solveColumnsAvx512(const DirsolveProblem& pb, const ColumnPlan& plan, bool finiteFactors,
                        double* X, int numThreads, const PanelBuffers& buf,
                        const ColumnReport& report);
