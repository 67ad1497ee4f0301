// out = thresh(lambda, X, mu, G, D, positions)
#include <cinttypes>
#include <cstdint>

#include "host/module.hpp"
#include "thresh/thresh.hpp"

namespace {

enum Arg { kLambda, kX, kMu, kG, kD, kPositions, kArgCount };
const char* const kNames[kArgCount] = {"lambda", "X", "mu", "G", "D", "positions"};

// G and D are read at every position of X.
bool coversX(const host::Call& call, int k, int64_t numelX) {
  if (call.numel(k) >= numelX) return true;
  return call.reject(k, "expected at least %" PRId64 " elements (as X), found %" PRId64, numelX,
                     call.numel(k));
}

void gateway(host::Call& call) {
  if (!call.needArgs(kArgCount)) return;

  double lambda, mu;
  const double *X, *G, *D;
  host::List positions;
  // Either orientation serves: the count is the larger dimension.
  if (!call.scalar(kLambda, &lambda) || !call.dense(kX, &X) || !call.scalar(kMu, &mu) ||
      !call.dense(kG, &G) || !call.dense(kD, &D) ||
      !call.list(kPositions, ListLength::longerSide, "elements", &positions))
    return;
  const int64_t numelX = call.numel(kX);
  if (!coversX(call, kG, numelX) || !coversX(call, kD, numelX)) return;
  if (!call.positions(kPositions, positions, numelX)) return;

  // Unlisted elements keep the output's zero fill: no change.
  double* out = call.output(0, call.rows(kX), call.cols(kX));
  softThresholdStep(out, lambda, D, X, G, mu, positions.values(),
                    static_cast<int32_t>(positions.count()));
}

}  // namespace

HOST_MODULE(thresh, kNames, gateway)
