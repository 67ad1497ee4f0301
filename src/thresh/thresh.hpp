#pragma once
// Soft-threshold step at listed entries.
#include <cstdint>

// For each listed position k (1-based in positions[0..count), already
// checked against X, G and D): u = X[k] - D[k] G[k], T = lambda D[k], and
// out[k] = the shrunk value minus X[k], where values within mu + T of zero
// shrink to 0 and the others move T toward it. Other elements of out are
// left as they are. Runs on the runtime's default thread count; the result
// does not depend on it. out must not alias the inputs.
void softThresholdStep(double* out, double lambda, const double* D, const double* X,
                       const double* G, double mu, const double* positions, int32_t count);
