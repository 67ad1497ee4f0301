#include "thresh/thresh.hpp"

#include <cstring>

#include "common/convert.hpp"
#include "common/prefetch.hpp"

namespace {

// 1.0 when c holds, else 0.0, through a bit mask: the compiler turns a
// conditional on data into a branch, and a mispredicted branch stalls the
// scattered loads behind it.
inline double oneIf(bool c) {
  const uint64_t u = (0 - static_cast<uint64_t>(c)) & 0x3FF0000000000000ull;
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}

}  // namespace

void softThresholdStep(double* out, double lambda, const double* D, const double* X,
                       const double* G, double mu, const double* positions, int32_t count) {
  // Entries are independent, so a static split gives the same bits as any
  // other schedule without handing out entries one by one.
#pragma omp parallel for schedule(static)
  for (int32_t i = 0; i < count; ++i) {
    // Positions scatter over four arrays: their lines are requested early.
    if (i < count - kPrefetchAhead) {
      const int32_t ahead = truncToInt32(positions[i + kPrefetchAhead]) - 1;
      prefetchRead(X + ahead);
      prefetchRead(G + ahead);
      prefetchRead(D + ahead);
      prefetchWrite(out + ahead);
    }
    const int32_t k = truncToInt32(positions[i]) - 1;
    const double u = X[k] - D[k] * G[k];
    const double T = lambda * D[k];
    // Selection by 0/1 factors, not branches: both candidates always enter
    // the sum, so a NaN in either reaches the result.
    const double above = oneIf(u > mu + T);
    const double below = oneIf(-T - mu > u);
    out[k] = ((T + u) * below + (u - T) * above) - X[k];
  }
}
