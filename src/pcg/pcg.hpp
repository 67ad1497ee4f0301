#pragma once
// Preconditioned conjugate gradients, one column at a time or several
// columns in lockstep, with the operator and the preconditioner as template
// steps so that calls inline:
//   Operator:       void apply(double* z, const double* p) const;  // z = A p
//   Preconditioner: void apply(double* z, const double* r) const;  // z = M^-1 r
// or NoPreconditioner for plain conjugate gradients. For lockstep columns
// both also provide applyLanes(double* const z[W], const double* const x[W]).
#include <cmath>
#include <cstdint>
#include <type_traits>

struct NoPreconditioner {};

namespace pcgdetail {

// z = A p (or M^-1 r) for the active lanes: one lockstep call when all W
// are active, else one call per active lane.
template <int W, class Step>
void applyActive(const Step& S, double* const z[W], const double* const in[W],
                 const bool active[W]) {
  int count = 0;
  for (int w = 0; w < W; ++w) count += active[w];
  if constexpr (W > 1) {
    if (count == W) {
      S.applyLanes(z, in);
      return;
    }
  }
  for (int w = 0; w < W; ++w)
    if (active[w]) S.apply(z[w], in[w]);
}

}  // namespace pcgdetail

// Solves A x = b for W columns from the starting points in x; r holds the
// right-hand sides on entry and the last residuals on return; p and z are
// scratch of n doubles per lane; passes receives the passes each lane made
// and relres ||r|| / ||b|| of its last residual (0 when b = 0).
// Every lane computes exactly what a solve of its column alone computes:
// the lanes share loops, never sums. A lane whose step length would not be
// finite (zero or non-finite curvature or residual product) stops with the
// iterate and residual of its last finite pass.
template <int W, class Operator, class Preconditioner>
void pcgSolveLanes(const Operator& A, const Preconditioner& M, int64_t n, double* const x[W],
                   int32_t maxIter, double tol, double* const r[W], double* const p[W],
                   double* const z[W], int32_t passes[W], double relres[W]) {
  constexpr bool plain = std::is_same_v<Preconditioner, NoPreconditioner>;
  bool active[W];
  // Inside the loop a single lane is always active; saying so lets the
  // compiler drop the per-element test.
  auto on = [&](int w) { return W == 1 || active[w]; };
  auto anyActive = [&] {
    for (int w = 0; w < W; ++w)
      if (active[w]) return true;
    return false;
  };
  double rho[W], eps[W], acc[W];
  // r'r at the start and of the last residual; the ratio of their roots is
  // relres, formed only when a lane stops, from sums the iteration needs.
  double delta0[W], delta[W];
  auto stop = [&](int w) {
    active[w] = false;
    relres[w] = delta0[w] == 0.0 ? 0.0 : std::sqrt(delta[w]) / std::sqrt(delta0[w]);
  };

  // delta0 = r'r
  for (int w = 0; w < W; ++w) acc[w] = 0.0;
  for (int64_t i = 0; i < n; ++i)
    for (int w = 0; w < W; ++w) acc[w] += r[w][i] * r[w][i];
  for (int w = 0; w < W; ++w) {
    passes[w] = 0;
    delta0[w] = delta[w] = acc[w];
    active[w] = true;
    if (1e-16 > acc[w] || maxIter <= 0) stop(w);
    eps[w] = (tol * tol) * acc[w];
    rho[w] = acc[w];
  }
  if (!anyActive()) return;

  // z = M^-1 r; p = z; rho = r'z   (plain: p = r, rho = delta0)
  const double* d[W];  // the direction's source: z, or r itself without M
  if constexpr (plain) {
    for (int w = 0; w < W; ++w) {
      d[w] = r[w];
      if (active[w])
        for (int64_t i = 0; i < n; ++i) p[w][i] = r[w][i];
    }
  } else {
    pcgdetail::applyActive<W>(M, z, r, active);
    for (int w = 0; w < W; ++w) {
      d[w] = z[w];
      acc[w] = 0.0;
    }
    for (int64_t i = 0; i < n; ++i)
      for (int w = 0; w < W; ++w)
        if (on(w)) {
          p[w][i] = z[w][i];
          acc[w] += r[w][i] * z[w][i];
        }
    for (int w = 0; w < W; ++w) rho[w] = acc[w];
  }

  double alpha[W], beta[W];
  for (int32_t pass = 1; anyActive(); ++pass) {
    // z = A p; alpha = rho / p'z
    pcgdetail::applyActive<W>(A, z, p, active);
    for (int w = 0; w < W; ++w) acc[w] = 0.0;
    for (int64_t i = 0; i < n; ++i)
      for (int w = 0; w < W; ++w)
        if (on(w)) acc[w] += p[w][i] * z[w][i];
    for (int w = 0; w < W; ++w) {
      alpha[w] = rho[w] / acc[w];
      if (active[w] && !std::isfinite(alpha[w])) {
        passes[w] = pass - 1;
        stop(w);
      }
    }
    if (!anyActive()) return;

    // x += alpha p; r -= alpha z; delta = r'r
    for (int w = 0; w < W; ++w) acc[w] = 0.0;
    for (int64_t i = 0; i < n; ++i)
      for (int w = 0; w < W; ++w)
        if (on(w)) {
          x[w][i] = alpha[w] * p[w][i] + x[w][i];
          r[w][i] = r[w][i] - alpha[w] * z[w][i];
          acc[w] += r[w][i] * r[w][i];
        }
    for (int w = 0; w < W; ++w)
      if (active[w]) {
        passes[w] = pass;
        delta[w] = acc[w];
        if (eps[w] > acc[w] || pass >= maxIter) stop(w);
      }
    if (!anyActive()) return;

    // z = M^-1 r; rho' = r'z   (plain: rho' = delta)
    if constexpr (!plain) {
      pcgdetail::applyActive<W>(M, z, r, active);
      for (int w = 0; w < W; ++w) acc[w] = 0.0;
      for (int64_t i = 0; i < n; ++i)
        for (int w = 0; w < W; ++w)
          if (on(w)) acc[w] += r[w][i] * z[w][i];
    }

    // p = beta p + z   (plain: + r)
    for (int w = 0; w < W; ++w) {
      beta[w] = acc[w] / rho[w];
      rho[w] = acc[w];
      if (active[w] && !std::isfinite(beta[w])) stop(w);
    }
    if (!anyActive()) return;
    for (int64_t i = 0; i < n; ++i)
      for (int w = 0; w < W; ++w)
        if (on(w)) p[w][i] = beta[w] * p[w][i] + d[w][i];
  }
}

// One column: solves A x = b from the starting point in x; r holds b on
// entry and the last residual on return; p and z are scratch of n doubles.
// Returns the number of passes made; relres, when given, receives
// ||r|| / ||b|| of the last residual.
template <class Operator, class Preconditioner>
int32_t pcgSolveColumn(const Operator& A, const Preconditioner& M, int64_t n, double* x,
                       int32_t maxIter, double tol, double* r, double* p, double* z,
                       double* relres = nullptr) {
  double* const xs[1] = {x};
  double* const rs[1] = {r};
  double* const ps[1] = {p};
  double* const zs[1] = {z};
  int32_t passes[1];
  double rel[1];
  pcgSolveLanes<1>(A, M, n, xs, maxIter, tol, rs, ps, zs, passes, rel);
  if (relres) *relres = rel[0];
  return passes[0];
}
