#pragma once
// Preconditioned conjugate gradients for one column, with the operator and
// the preconditioner as template steps so that calls inline:
//   Operator:       void apply(double* z, const double* p) const;  // z = A p
//   Preconditioner: void apply(double* z, const double* r) const;  // z = M^-1 r
// or NoPreconditioner for plain conjugate gradients.
#include <cmath>
#include <cstdint>
#include <type_traits>

struct NoPreconditioner {};

// Solves A x = b from the starting point in x; r holds b on entry and the
// last residual on return; p and z are scratch of n doubles. Returns the
// number of passes made. A column whose step length would not be finite
// (zero or non-finite curvature or residual product) stops with the
// iterate of its last finite pass.
template <class Operator, class Preconditioner>
int32_t pcgSolveColumn(const Operator& A, const Preconditioner& M, int64_t n, double* x,
                       int32_t maxIter, double tol, double* r, double* p, double* z) {
  constexpr bool plain = std::is_same_v<Preconditioner, NoPreconditioner>;

  // delta0 = r'r
  double delta0 = 0.0;
  for (int64_t i = 0; i < n; ++i) delta0 += r[i] * r[i];
  if (1e-16 > delta0) return 0;

  // z = M^-1 r; p = z; rho = r'z   (plain: p = r, rho = delta0)
  double rho;
  const double* d;  // the direction's source: z, or r itself without M
  if constexpr (plain) {
    for (int64_t i = 0; i < n; ++i) p[i] = r[i];
    rho = delta0;
    d = r;
  } else {
    M.apply(z, r);
    rho = 0.0;
    for (int64_t i = 0; i < n; ++i) {
      p[i] = z[i];
      rho += r[i] * z[i];
    }
    d = z;
  }

  const double eps = (tol * tol) * delta0;
  int32_t pass = 0;
  while (pass < maxIter) {
    ++pass;
    // z = A p; alpha = rho / p'z
    A.apply(z, p);
    double pi = 0.0;
    for (int64_t i = 0; i < n; ++i) pi += p[i] * z[i];
    const double alpha = rho / pi;
    if (!std::isfinite(alpha)) return pass - 1;

    // x += alpha p; r -= alpha z; delta = r'r
    double delta = 0.0;
    for (int64_t i = 0; i < n; ++i) {
      x[i] = alpha * p[i] + x[i];
      r[i] = r[i] - alpha * z[i];
      delta += r[i] * r[i];
    }
    if (eps > delta) return pass;

    // z = M^-1 r; rho' = r'z   (plain: rho' = delta)
    double rhoNext;
    if constexpr (plain) {
      rhoNext = delta;
    } else {
      M.apply(z, r);
      rhoNext = 0.0;
      for (int64_t i = 0; i < n; ++i) rhoNext += r[i] * z[i];
    }

    // p = beta p + z   (plain: + r)
    const double beta = rhoNext / rho;
    if (!std::isfinite(beta)) return pass;
    for (int64_t i = 0; i < n; ++i) p[i] = beta * p[i] + d[i];
    rho = rhoNext;
  }
  return pass;
}
