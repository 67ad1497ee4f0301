// [t, f] = stepmin(x, v, C, B, A, lo, hi, lambda [, index])
#include <cinttypes>
#include <cstdint>

#include "host/module.hpp"
#include "stepmin/stepmin.hpp"

namespace {

enum Arg { kX, kV, kC, kB, kA, kLo, kHi, kLambda, kIndex, kArgCount, kRequiredArgs = kIndex };
const char* const kNames[kArgCount] = {"x", "v", "C", "B", "A", "lo", "hi", "lambda", "index"};

void gateway(host::Call& call) {
  if (!call.needArgs(kRequiredArgs)) return;

  const double* x;
  const double* v;
  if (!call.dense(kX, &x) || !call.dense(kV, &v)) return;
  double C, B, A, lo, hi, lambda;
  if (!call.scalar(kC, &C) || !call.scalar(kB, &B) || !call.scalar(kA, &A) ||
      !call.scalar(kLo, &lo) || !call.scalar(kHi, &hi) || !call.scalar(kLambda, &lambda))
    return;
  if (call.rows(kX) != call.rows(kV) || call.cols(kX) != call.cols(kV)) {
    call.verbatim("error: x and v are not from the same size! Aborting!\n");
    return;
  }
  const int64_t numel = call.numel(kX);
  if (!call.fitsInt32(kX, numel, "elements")) return;

  // Read only when given; an empty one selects no term at all.
  const double* index = nullptr;
  int64_t termCount = numel;
  if (call.nrhs() > kIndex) {
    // A matrix with several rows contributes its first column.
    host::List list;
    if (!call.list(kIndex, ListLength::rowOrColumn, "elements", &list) ||
        !call.positions(kIndex, list, numel))
      return;
    index = list.values();
    termCount = list.count();
  }

  double f = 0.0;
  bool outOfMemory = false;
  const double t = stepMinimize(A, B, C, lambda, lo, hi, x, v, index,
                                static_cast<int32_t>(termCount), &f, &outOfMemory);
  if (outOfMemory) {
    call.outOfMemory();
    return;
  }
  if (double* out = call.output(0, 1, 1)) *out = t;
  if (double* out = call.output(1, 1, 1)) *out = f;
}

}  // namespace

HOST_MODULE(stepmin, kNames, gateway)
