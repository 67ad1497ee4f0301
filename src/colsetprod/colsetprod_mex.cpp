// out = colsetprod(values, X, positions, map, mask)
#include <algorithm>
#include <cinttypes>
#include <cstdint>

#include "colsetprod/colsetprod.hpp"
#include "host/module.hpp"

namespace {

enum Arg { kValues, kX, kPositions, kMap, kMask, kArgCount };
const char* const kNames[kArgCount] = {"values", "X", "positions", "map", "mask"};

void gateway(host::Call& call) {
  if (!call.needArgs(kArgCount)) return;

  // The positions' length is their row count; the map's, its elements.
  const double *values, *X, *mask;
  host::List positions, map;
  if (!call.dense(kValues, &values) || !call.dense(kX, &X) ||
      !call.list(kPositions, ListLength::rows, "entries", &positions) ||
      !call.list(kMap, ListLength::elements, "values", &map) || !call.dense(kMask, &mask))
    return;
  const int64_t count = positions.count();
  const int64_t n = call.rows(kX), N = call.cols(kX);
  const int64_t K = map.count();
  if (!call.fitsInt32(kX, n, "rows") || !call.fitsInt32(kX, N, "columns") ||
      !call.atLeast(kValues, count, "position") || !call.exactly(kMask, n, "values", "row of X"))
    return;
  if (count > 0 && n == 0) {
    call.reject(kX, "has no rows, so the positions of %s cannot be split",
                call.argument(kPositions).text);
    return;
  }
  // Within 1..n*K: every entry's column of S has a map value.
  if (!call.positions(kPositions, positions, std::min<int64_t>(n * K, INT32_MAX)) ||
      !call.positions(kMap, map, n))
    return;
  const int64_t g = count > 0 ? columnChanges(positions.values(), static_cast<int32_t>(count),
                                              static_cast<int32_t>(n))
                              : -1;
  if (g >= K) {
    call.reject(kPositions,
                "the list changes column %" PRId64 " times, so its runs need %" PRId64
                " values of %s, found %" PRId64,
                g, g + 1, call.argument(kMap).text, K);
    return;
  }

  double* out = call.output(0, n, N);
  symBlockTimesDense(out, values, X, positions.values(), static_cast<int32_t>(count), map.values(),
                     mask, static_cast<int32_t>(n), static_cast<int32_t>(N));
}

}  // namespace

HOST_MODULE(colsetprod, kNames, gateway)
