#pragma once
// Preconditioned conjugate gradients, one column at a time or W columns in
// lockstep, with the operator and the preconditioner as template steps so
// that calls inline:
//   Operator:       void apply(double* z, const double* p) const;  // z = A p
//   Preconditioner: void apply(double* z, const double* r) const;  // z = M^-1 r
// or NoPreconditioner for plain conjugate gradients. Lockstep columns are
// held as a panel, n rows of W values (element (i, w) at i * W + w), so
// that one matrix entry meets W contiguous values; for W > 1 both steps
// provide template <int W> void applyPanel(double* z, const double* p).
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "solver/lanes.hpp"

struct NoPreconditioner {};

inline namespace PCG_ISA {

namespace pcgdetail {

template <int W, class Step>
void applyStep(const Step& S, double* out, const double* in) {
  if constexpr (W == 1)
    S.apply(out, in);
  else
    S.template applyPanel<W>(out, in);
}

// acc[w] = sum over i ascending of a(i, w) * b(i, w), one sum per lane.
template <int W>
void laneDots(double acc[W], const double* a, const double* b, int64_t n) {
  using V = Lanes<W>;
  V s = V::zero();
  for (int64_t i = 0; i < n * W; i += W) s = s + V::load(a + i) * V::load(b + i);
  s.store(acc);
}

// The first z = M^-1 r, told that r's first zeroRows rows are 0.0 in every
// lane when the preconditioner can use that (it declares
// kSkipsLeadingZeros and takes the count as a third argument).
template <class Step, class = void>
struct SkipsLeadingZeros : std::false_type {};
template <class Step>
struct SkipsLeadingZeros<Step, std::void_t<decltype(Step::kSkipsLeadingZeros)>> : std::true_type {};

template <int W, class Step>
void applyFirst(const Step& S, double* out, const double* in, int64_t zeroRows) {
  if constexpr (SkipsLeadingZeros<Step>::value)
    S.template applyPanel<W>(out, in, zeroRows);
  else
    applyStep<W>(S, out, in);
}

// x += alpha p; r -= alpha z; acc = r'r, every lane. With xZero, x is
// taken as 0.0 without reading it.
template <int W, bool xZero>
void stepSolution(double* x, double* r, const double* p, const double* z, const double alpha[W],
                  double acc[W], int64_t n) {
  using V = Lanes<W>;
  const V a = V::load(alpha);
  V s = V::zero();
  for (int64_t i = 0; i < n * W; i += W) {
    (a * V::load(p + i) + (xZero ? V::zero() : V::load(x + i))).store(x + i);
    const V ri = V::load(r + i) - a * V::load(z + i);
    ri.store(r + i);
    s = s + ri * ri;
  }
  s.store(acc);
}

// The same on the lanes with on[w] only; the others keep x and r.
template <int W>
void stepSolutionSome(double* x, double* r, const double* p, const double* z, const double alpha[W],
                      const bool on[W], double acc[W], int64_t n) {
  for (int64_t i = 0; i < n * W; i += W)
    for (int w = 0; w < W; ++w)
      if (on[w]) {
        x[i + w] = alpha[w] * p[i + w] + x[i + w];
        r[i + w] = r[i + w] - alpha[w] * z[i + w];
      }
  laneDots<W>(acc, r, r, n);
}

// p = beta p + d on every lane, or only on the lanes with on[w].
template <int W>
void stepDirection(double* p, const double* d, const double beta[W], const bool on[W], bool all,
                   int64_t n) {
  using V = Lanes<W>;
  if (all) {
    const V b = V::load(beta);
    for (int64_t i = 0; i < n * W; i += W) (b * V::load(p + i) + V::load(d + i)).store(p + i);
    return;
  }
  for (int64_t i = 0; i < n * W; i += W)
    for (int w = 0; w < W; ++w)
      if (on[w]) p[i + w] = beta[w] * p[i + w] + d[i + w];
}

}  // namespace pcgdetail

// What a caller may know of a panel's start, which saves work and changes
// no bit: every lane's r a unit vector (so r'r is 1 exactly); x all zero
// (so it need not be cleared first; it is written before return all the
// same); the first zeroRows rows of r 0.0 in every lane (for a
// preconditioner that can skip them).
struct PanelStart {
  bool unitResiduals = false;
  bool zeroSolution = false;
  int64_t zeroRows = 0;
};

// Solves A x = b for the W columns of a panel from the starting points in
// x; r holds the right-hand sides on entry and the last residuals on
// return; p and z are scratch panels. passes receives the passes each lane
// made and relres ||r|| / ||b|| of its last residual (0 when b = 0).
// Every lane computes exactly what a solve of its column alone computes:
// the lanes share loops, never sums, and a lane that has stopped keeps its
// values while the others go on. A lane whose step length would not be
// finite (zero or non-finite curvature or residual product) stops with the
// iterate and residual of its last finite pass.
template <int W, class Operator, class Preconditioner>
void pcgSolvePanel(const Operator& A, const Preconditioner& M, int64_t n, double* x,
                   int32_t maxIter, double tol, double* r, double* p, double* z, int32_t passes[W],
                   double relres[W], const PanelStart& start = {}) {
  constexpr bool plain = std::is_same_v<Preconditioner, NoPreconditioner>;
  bool active[W];
  int running = W;
  double rho[W], eps[W], acc[W];
  // r'r at the start and of the last residual; the ratio of their roots is
  // relres, formed only when a lane stops, from sums the iteration needs.
  double delta0[W], delta[W];
  auto stop = [&](int w) {
    active[w] = false;
    --running;
    relres[w] = delta0[w] == 0.0 ? 0.0 : std::sqrt(delta[w]) / std::sqrt(delta0[w]);
  };

  // x is still to be cleared until the first update writes it whole.
  bool xUnset = start.zeroSolution;
  auto clearX = [&] {
    if (xUnset) std::memset(x, 0, sizeof(double) * static_cast<size_t>(n) * W);
    xUnset = false;
  };

  // delta0 = r'r
  if (start.unitResiduals)
    for (int w = 0; w < W; ++w) acc[w] = 1.0;
  else
    pcgdetail::laneDots<W>(acc, r, r, n);
  for (int w = 0; w < W; ++w) {
    passes[w] = 0;
    delta0[w] = delta[w] = acc[w];
    active[w] = true;
    if (1e-16 > acc[w] || maxIter <= 0) stop(w);
    eps[w] = (tol * tol) * acc[w];
    rho[w] = acc[w];
  }
  if (running == 0) return clearX();

  // z = M^-1 r; p = z (by exchanging the two); rho = r'p
  // (plain: p = r, rho = delta0)
  if constexpr (plain) {
    std::memcpy(p, r, sizeof(double) * static_cast<size_t>(n) * W);
  } else {
    pcgdetail::applyFirst<W>(M, z, r, start.zeroRows);
    std::swap(p, z);
    pcgdetail::laneDots<W>(acc, r, p, n);
    for (int w = 0; w < W; ++w) rho[w] = acc[w];
  }
  const double* d = plain ? r : z;  // the source of each new direction

  double alpha[W], beta[W];
  for (int32_t pass = 1;; ++pass) {
    // z = A p; alpha = rho / p'z
    pcgdetail::applyStep<W>(A, z, p);
    pcgdetail::laneDots<W>(acc, p, z, n);
    for (int w = 0; w < W; ++w) {
      alpha[w] = rho[w] / acc[w];
      if (active[w] && !std::isfinite(alpha[w])) {
        passes[w] = pass - 1;
        stop(w);
      }
    }
    if (running == 0) return clearX();

    // x += alpha p; r -= alpha z; delta = r'r   (stopped lanes keep theirs)
    if (running == W && xUnset) {
      pcgdetail::stepSolution<W, true>(x, r, p, z, alpha, acc, n);
      xUnset = false;
    } else if (running == W) {
      pcgdetail::stepSolution<W, false>(x, r, p, z, alpha, acc, n);
    } else {
      clearX();
      pcgdetail::stepSolutionSome<W>(x, r, p, z, alpha, active, acc, n);
    }
    for (int w = 0; w < W; ++w)
      if (active[w]) {
        passes[w] = pass;
        delta[w] = acc[w];
        if (eps[w] > acc[w] || pass >= maxIter) stop(w);
      }
    if (running == 0) return;

    // z = M^-1 r; rho' = r'z   (plain: rho' = delta)
    if constexpr (!plain) {
      pcgdetail::applyStep<W>(M, z, r);
      pcgdetail::laneDots<W>(acc, r, z, n);
    }

    // p = beta p + z   (plain: + r)
    for (int w = 0; w < W; ++w) {
      beta[w] = acc[w] / rho[w];
      rho[w] = acc[w];
      if (active[w] && !std::isfinite(beta[w])) stop(w);
    }
    if (running == 0) return;
    pcgdetail::stepDirection<W>(p, d, beta, active, running == W, n);
  }
}

// One column, the panel iteration at one lane: solves A x = b from the
// starting point in x; r holds b on entry and the last residual on return;
// p and z are scratch of n doubles. Returns the number of passes made;
// relres, when given, receives ||r|| / ||b|| of the last residual. The
// solvers run solveColumnLoop; tests hold every lane to this.
template <class Operator, class Preconditioner>
int32_t pcgSolveColumn(const Operator& A, const Preconditioner& M, int64_t n, double* x,
                       int32_t maxIter, double tol, double* r, double* p, double* z,
                       double* relres = nullptr) {
  int32_t passes[1];
  double rel[1];
  pcgSolvePanel<1>(A, M, n, x, maxIter, tol, r, p, z, passes, rel);
  if (relres) *relres = rel[0];
  return passes[0];
}

}  // namespace PCG_ISA
