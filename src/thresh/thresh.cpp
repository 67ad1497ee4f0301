#include "thresh/thresh.hpp"

#include "host/convert.hpp"

void softThresholdStep(double* out, double lambda, const double* D, const double* X,
                       const double* G, double mu, const double* positions, int32_t count) {
  // Entries are independent, so a static split gives the same bits as any
  // other schedule without handing out entries one by one.
#pragma omp parallel for schedule(static)
  for (int32_t i = 0; i < count; ++i) {
    const int32_t k = truncToInt32(positions[i]) - 1;
    const double u = X[k] - D[k] * G[k];
    const double T = lambda * D[k];
    // Selection by 0/1 factors, not branches: both candidates always enter
    // the sum, so a NaN in either reaches the result.
    const double above = u > mu + T ? 1.0 : 0.0;
    const double below = -T - mu > u ? 1.0 : 0.0;
    out[k] = ((T + u) * below + (u - T) * above) - X[k];
  }
}
