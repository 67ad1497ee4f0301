// [delta, quad] = cdsweep(W, index, U, ei, ej, g, theta, delta0, lambda, sweeps, numThreads)
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "cdsweep/cdsweep.hpp"
#include "cdsweep/entrymap.hpp"
#include "host/mexhost.hpp"

namespace {

enum Arg {
  kW,
  kIndex,
  kU,
  kEi,
  kEj,
  kG,
  kTheta,
  kDelta0,
  kLambda,
  kSweeps,
  kNumThreads,
  kRequiredArgs = kNumThreads
};

// Argument k holds `count` elements, one per `what`.
bool holds(const host::Call& call, int k, const char* name, int64_t count, const char* what) {
  if (call.numel(k) == count) return true;
  return call.reject("argument %d (%s): expected %" PRId64 " elements, one per %s, found %" PRId64,
                     k + 1, name, count, what, call.numel(k));
}

// Every row number of ei or ej is a column of the block; out receives the
// local columns.
bool inBlock(const host::Call& call, int k, const char* name, const double* values, int32_t count,
             const int32_t* local, int32_t* out) {
  const int32_t e = entryColumns(values, count, local, out);
  if (e < 0) return true;
  return call.reject("argument %d (%s): element %d is %d, not in index", k + 1, name, e + 1,
                     truncToInt32(values[e]));
}

void gateway(host::Call& call) {
  if (!call.needArgs(kRequiredArgs)) return;

  const double *W, *U, *g, *theta, *delta0;
  host::List index, ei, ej;
  double lambda;
  int32_t sweeps;
  if (!call.dense(kW, "W", &W) ||
      !call.list(kIndex, "index", ListLength::elements, "elements", &index) ||
      !call.dense(kU, "U", &U) || !call.list(kEi, "ei", ListLength::elements, "elements", &ei) ||
      !call.list(kEj, "ej", ListLength::elements, "elements", &ej) || !call.dense(kG, "g", &g) ||
      !call.dense(kTheta, "theta", &theta) || !call.dense(kDelta0, "delta0", &delta0) ||
      !call.scalar(kLambda, "lambda", &lambda) || !call.intScalar(kSweeps, "sweeps", &sweeps))
    return;
  // One thread unless asked: a barrier per update stalls whenever another
  // process holds one of the cores.
  int32_t numThreads = 1;
  if (call.nrhs() > kNumThreads && call.present(kNumThreads) &&
      !call.intScalar(kNumThreads, "numThreads", &numThreads))
    return;
  const int64_t n = call.rows(kW), m = call.cols(kW), L = call.numel(kEi);
  if (!call.fitsInt32(kW, "W", n, "rows") || !call.fitsInt32(kW, "W", m, "columns") ||
      !call.fitsInt32(kEi, "ei", L, "elements"))
    return;
  if (!holds(call, kIndex, "index", m, "column of W") || !call.shape(kU, "U", n, m) ||
      !holds(call, kEj, "ej", L, "element of ei") || !holds(call, kG, "g", L, "entry") ||
      !holds(call, kTheta, "theta", L, "entry") ||
      (call.present(kDelta0) && !holds(call, kDelta0, "delta0", L, "entry")))
    return;
  if (!(lambda >= 0.0 && std::isfinite(lambda))) {
    char found[32];
    std::snprintf(found, sizeof found, "%.17g", lambda);
    call.reject("argument %d (lambda): expected a finite value of at least 0, found %s",
                kLambda + 1,
                std::isnan(lambda)   ? "NaN"
                : std::isinf(lambda) ? (lambda > 0 ? "Inf" : "-Inf")
                                     : found);
    return;
  }
  sweeps = std::max(sweeps, 0);

  if (!call.positions(kIndex, "index", index, n)) return;
  ScratchArray<int32_t> local = makeScratch<int32_t>(n), rows = makeScratch<int32_t>(m);
  ScratchArray<int32_t> li = makeScratch<int32_t>(L), lj = makeScratch<int32_t>(L);
  if (!local || !rows || !li || !lj) {
    call.outOfMemory();
    return;
  }
  int32_t earlier;
  const int32_t repeat =
      mapIndexColumns(index.values(), static_cast<int32_t>(m), static_cast<int32_t>(n), local.get(),
                      rows.get(), &earlier);
  if (repeat >= 0) {
    call.reject("argument %d (index): element %d repeats row %d of element %d", kIndex + 1,
                repeat + 1, rows[earlier] + 1, earlier + 1);
    return;
  }
  const int32_t count = static_cast<int32_t>(L);
  if (!call.positions(kEi, "ei", ei, n) || !call.positions(kEj, "ej", ej, n) ||
      !inBlock(call, kEi, "ei", ei.values(), count, local.get(), li.get()) ||
      !inBlock(call, kEj, "ej", ej.values(), count, local.get(), lj.get()))
    return;
  bool outOfMemory = false;
  const int32_t twice =
      firstRepeatedPair(li.get(), lj.get(), count, static_cast<int32_t>(m), &earlier, &outOfMemory);
  if (outOfMemory) {
    call.outOfMemory();
    return;
  }
  if (twice >= 0) {
    call.reject("argument %d (ej): entry %d, (%d, %d), names the pair of entry %d, (%d, %d)",
                kEj + 1, twice + 1, rows[li[twice]] + 1, rows[lj[twice]] + 1, earlier + 1,
                rows[li[earlier]] + 1, rows[lj[earlier]] + 1);
    return;
  }
  SweepScratch scratch;
  if (!scratch.allocate(static_cast<int32_t>(n), static_cast<int32_t>(m))) {
    call.outOfMemory();
    return;
  }

  double* delta = call.output(0, L, 1);
  if (call.present(kDelta0)) std::copy(delta0, delta0 + L, delta);
  double quad;
  const SweepBlock block{W, U, rows.get(), static_cast<int32_t>(n), static_cast<int32_t>(m)};
  const SweepList list{li.get(), lj.get(), g, theta, count};
  coordinateSweeps(block, list, lambda, sweeps, sweepThreads(numThreads), scratch, delta, &quad);
  if (double* out = call.output(1, 1, 1)) *out = quad;
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  host::Call call("cdsweep", nlhs, plhs, nrhs, prhs);
  host::runGuarded(call, [&] { gateway(call); });
}
