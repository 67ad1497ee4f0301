// [quad, lin, xs, vs] = stepcoef(X, V, H, G, P, Q)
#include <algorithm>
#include <cinttypes>
#include <cstdint>

#include "host/module.hpp"
#include "stepcoef/stepcoef.hpp"

namespace {

enum Arg { kX, kV, kH, kG, kP, kQ, kArgCount };
const char* const kNames[kArgCount] = {"X", "V", "H", "G", "P", "Q"};

void gateway(host::Call& call) {
  if (!call.needArgs(kArgCount)) return;

  const double *X, *V, *H, *G;
  // Either orientation serves: a list's length is its larger dimension.
  host::List P, Q;
  if (!call.dense(kX, &X) || !call.dense(kV, &V) || !call.dense(kH, &H) || !call.dense(kG, &G) ||
      !call.list(kP, ListLength::longerSide, "positions", &P) ||
      !call.list(kQ, ListLength::longerSide, "positions", &Q))
    return;
  const int64_t c = P.count(), d = Q.count();
  if (c + d > INT32_MAX) {
    call.rejectCall("%s and %s: %" PRId64 " positions in all, at most %d supported",
                    call.argument(kP).text, call.argument(kQ).text, c + d, INT32_MAX);
    return;
  }
  // Every listed entry is read from all four arrays.
  const int64_t limit = std::min({call.numel(kX), call.numel(kV), call.numel(kH), call.numel(kG)});
  if (!call.positions(kP, P, limit) || !call.positions(kQ, Q, limit)) return;

  double lin = 0.0, quad = 0.0;
  double* quadOut = call.output(0, 1, 1);
  double* linOut = call.output(1, 1, 1);
  double* xs = call.output(2, c + d, 1);
  double* vs = call.output(3, c + d, 1);
  stepCoefficients(X, V, H, G, P.values(), Q.values(), static_cast<int32_t>(c),
                   static_cast<int32_t>(d), &lin, &quad, xs, vs);
  if (quadOut) *quadOut = quad;
  if (linOut) *linOut = lin;
}

}  // namespace

HOST_MODULE(stepcoef, kNames, gateway)
