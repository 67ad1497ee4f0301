// out = colsetprod(values, X, positions, map, mask)
#include <algorithm>
#include <cinttypes>
#include <cstdint>

#include "colsetprod/colsetprod.hpp"
#include "host/mexhost.hpp"

namespace {

enum Arg { kValues, kX, kPositions, kMap, kMask, kArgCount };

void gateway(host::Call& call) {
  if (!call.needArgs(kArgCount)) return;

  const double *values, *X, *mask;
  host::List positions, map;
  if (!call.dense(kValues, "values", &values) || !call.dense(kX, "X", &X) ||
      !call.list(kPositions, "positions", ListLength::rows, "entries", &positions) ||
      !call.list(kMap, "map", ListLength::elements, "values", &map) ||
      !call.dense(kMask, "mask", &mask))
    return;
  const int64_t count = positions.count();
  const int64_t n = call.rows(kX), N = call.cols(kX);
  const int64_t K = map.count();
  if (!call.fitsInt32(kX, "X", n, "rows") || !call.fitsInt32(kX, "X", N, "columns")) return;
  if (call.numel(kValues) < count) {
    call.reject("argument %d (values): expected %" PRId64
                " values, one per position, found %" PRId64,
                kValues + 1, count, call.numel(kValues));
    return;
  }
  if (call.numel(kMask) != n) {
    call.reject("argument %d (mask): expected %" PRId64 " values, one per row of X, found %" PRId64,
                kMask + 1, n, call.numel(kMask));
    return;
  }
  if (count > 0 && n == 0) {
    call.reject("argument %d (X): has no rows, so the positions of argument %d cannot be split",
                kX + 1, kPositions + 1);
    return;
  }
  // Within 1..n*K: every entry's column of S has a map value.
  if (!call.positions(kPositions, "positions", positions, std::min<int64_t>(n * K, INT32_MAX)))
    return;
  if (!call.positions(kMap, "map", map, n)) return;
  const int64_t g = count > 0 ? columnChanges(positions.values(), static_cast<int32_t>(count),
                                              static_cast<int32_t>(n))
                              : -1;
  if (g >= K) {
    call.reject("argument %d (positions): the list changes column %" PRId64
                " times, so its runs need %" PRId64 " values of argument %d (map), found %" PRId64,
                kPositions + 1, g, g + 1, kMap + 1, K);
    return;
  }

  double* out = call.output(0, n, N);
  symBlockTimesDense(out, values, X, positions.values(), static_cast<int32_t>(count), map.values(),
                     mask, static_cast<int32_t>(n), static_cast<int32_t>(N));
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  host::Call call("colsetprod", nlhs, plhs, nrhs, prhs);
  host::runGuarded(call, [&] { gateway(call); });
}
