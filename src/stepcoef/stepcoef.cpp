#include "stepcoef/stepcoef.hpp"

#include "common/convert.hpp"
#include "common/prefetch.hpp"

namespace {

// One pass over a list: gathers, stores and adds to both sums in the order
// of separate gather-then-sum passes, so the results are the same.
template <bool Doubled>
void stackList(const double* X, const double* V, const double* H, const double* G,
               const double* list, int32_t count, double& lin, double& quad, double* xs,
               double* vs) {
  for (int32_t i = 0; i < count; ++i) {
    // Listed entries scatter over four arrays: their lines are requested early.
    if (i < count - kPrefetchAhead) {
      const int32_t ahead = truncToInt32(list[i + kPrefetchAhead]) - 1;
      prefetchRead(X + ahead);
      prefetchRead(V + ahead);
      prefetchRead(H + ahead);
      prefetchRead(G + ahead);
    }
    const int32_t e = truncToInt32(list[i]) - 1;
    const double ve = Doubled ? V[e] * 2.0 : V[e];
    if (xs) xs[i] = Doubled ? X[e] * 2.0 : X[e];
    if (vs) vs[i] = ve;
    lin += G[e] * ve;
    quad += H[e] * ve;
  }
}

}  // namespace

void stepCoefficients(const double* X, const double* V, const double* H, const double* G,
                      const double* P, const double* Q, int32_t c, int32_t d, double* lin,
                      double* quad, double* xs, double* vs) {
  double l = 0.0, q = 0.0;
  // P entries stand for two symmetric entries: doubled before they are summed.
  stackList<true>(X, V, H, G, P, c, l, q, xs, vs);
  stackList<false>(X, V, H, G, Q, d, l, q, xs ? xs + c : nullptr, vs ? vs + c : nullptr);
  *lin = l;
  *quad = q * 0.5;
}
