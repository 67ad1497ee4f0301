// [quad, lin, xs, vs] = stepcoef(X, V, H, G, P, Q)
#include <algorithm>
#include <cinttypes>
#include <cstdint>

#include "host/mexhost.hpp"
#include "stepcoef/stepcoef.hpp"

namespace {

enum Arg { kX, kV, kH, kG, kP, kQ, kArgCount };

// A list's length is the larger of its dimensions (either orientation
// serves), but never more than the elements it holds.
bool bindList(const host::Call& call, int k, const char* name, const double** list,
              int64_t* count) {
  if (!call.dense(k, name, list)) return false;
  *count = call.numel(k) == 0 ? 0 : std::max(call.rows(k), call.cols(k));
  return true;
}

void gateway(host::Call& call) {
  if (!call.needArgs(kArgCount)) return;

  const double *X, *V, *H, *G, *P, *Q;
  if (!call.dense(kX, "X", &X) || !call.dense(kV, "V", &V) || !call.dense(kH, "H", &H) ||
      !call.dense(kG, "G", &G))
    return;
  int64_t c, d;
  if (!bindList(call, kP, "P", &P, &c) || !bindList(call, kQ, "Q", &Q, &d)) return;
  if (c + d > INT32_MAX) {
    call.reject("arguments %d and %d (P, Q): %" PRId64 " positions in all, at most %d supported",
                kP + 1, kQ + 1, c + d, INT32_MAX);
    return;
  }
  // Every listed entry is read from all four arrays.
  const int64_t limit =
      std::min({call.numel(kX), call.numel(kV), call.numel(kH), call.numel(kG)});
  if (!call.positions(kP, "P", P, c, limit) || !call.positions(kQ, "Q", Q, d, limit)) return;

  double lin = 0.0, quad = 0.0;
  double* quadOut = call.output(0, 1, 1);
  double* linOut = call.output(1, 1, 1);
  double* xs = call.output(2, c + d, 1);
  double* vs = call.output(3, c + d, 1);
  stepCoefficients(X, V, H, G, P, Q, static_cast<int32_t>(c), static_cast<int32_t>(d), &lin,
                   &quad, xs, vs);
  if (quadOut) *quadOut = quad;
  if (linOut) *linOut = lin;
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  host::Call call("stepcoef", nlhs, plhs, nrhs, prhs);
  host::runGuarded(call, [&] { gateway(call); });
}
