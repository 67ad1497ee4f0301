#pragma once
// Coefficients and stacked vectors of the exact step.
#include <cstdint>

// Stacks the entries P[0..c) (1-based, doubled) and then Q[0..d) of X and V
// into xs and vs, and writes lin = sum_i G[e_i] vs_i and
// quad = 0.5 sum_i H[e_i] vs_i, summed in stacking order. Every position
// must already lie inside X, V, H and G. xs or vs may be null when the
// caller does not keep them; the sums are the same.
void stepCoefficients(const double* X, const double* V, const double* H, const double* G,
                      const double* P, const double* Q, int32_t c, int32_t d, double* lin,
                      double* quad, double* xs, double* vs);
