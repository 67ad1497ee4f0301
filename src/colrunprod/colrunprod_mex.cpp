// out = colrunprod(values, positions, L, C)
#include <algorithm>
#include <cinttypes>
#include <cstdint>

#include "colrunprod/colrunprod.hpp"
#include "host/mexhost.hpp"

namespace {

enum Arg { kValues, kPositions, kL, kC, kArgCount };

void gateway(host::Call& call) {
  if (!call.needArgs(kArgCount)) return;

  const double *values, *C;
  host::List positions;
  int32_t L;
  if (!call.dense(kValues, "values", &values) ||
      !call.list(kPositions, "positions", ListLength::rows, "entries", &positions) ||
      !call.intScalar(kL, "L", &L) || !call.dense(kC, "C", &C))
    return;
  if (L < 0) {
    call.reject("argument %d (L): expected a column count of at least 0, found %d", kL + 1, L);
    return;
  }
  const int64_t count = positions.count();
  const int64_t M = call.rows(kC), N = call.cols(kC);
  if (!call.fitsInt32(kC, "C", M, "rows") || !call.fitsInt32(kC, "C", N, "columns")) return;
  if (call.numel(kValues) < count) {
    call.reject("argument %d (values): expected %" PRId64
                " values, one per position, found %" PRId64,
                kValues + 1, count, call.numel(kValues));
    return;
  }
  if (count > 0 && M == 0) {
    call.reject("argument %d (C): has no rows, so the positions of argument %d cannot be split",
                kC + 1, kPositions + 1);
    return;
  }
  // Within 1..M*L: every entry's column of S has an output row.
  if (!call.positions(kPositions, "positions", positions, std::min<int64_t>(M * L, INT32_MAX)))
    return;

  double* out = call.output(0, L, N);
  sparseTransposeDenseColumns(out, values, positions.values(), static_cast<int32_t>(count), L, C,
                              static_cast<int32_t>(N), static_cast<int32_t>(M));
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  host::Call call("colrunprod", nlhs, plhs, nrhs, prhs);
  host::runGuarded(call, [&] { gateway(call); });
}
