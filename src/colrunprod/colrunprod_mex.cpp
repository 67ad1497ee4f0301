// out = colrunprod(values, positions, L, C)
#include <algorithm>
#include <cstdint>

#include "colrunprod/colrunprod.hpp"
#include "host/module.hpp"

namespace {

enum Arg { kValues, kPositions, kL, kC, kArgCount };
const char* const kNames[kArgCount] = {"values", "positions", "L", "C"};

void gateway(host::Call& call) {
  if (!call.needArgs(kArgCount)) return;

  // A list's length is its row count.
  const double *values, *C;
  host::List positions;
  int32_t L;
  if (!call.dense(kValues, &values) ||
      !call.list(kPositions, ListLength::rows, "entries", &positions) || !call.intScalar(kL, &L) ||
      !call.dense(kC, &C))
    return;
  if (L < 0) {
    call.reject(kL, "expected a column count of at least 0, found %d", L);
    return;
  }
  const int64_t count = positions.count();
  const int64_t M = call.rows(kC), N = call.cols(kC);
  if (!call.fitsInt32(kC, M, "rows") || !call.fitsInt32(kC, N, "columns") ||
      !call.atLeast(kValues, count, "position"))
    return;
  if (count > 0 && M == 0) {
    call.reject(kC, "has no rows, so the positions of %s cannot be split",
                call.argument(kPositions).text);
    return;
  }
  // Within 1..M*L: every entry's column of S has an output row.
  if (!call.positions(kPositions, positions, std::min<int64_t>(M * L, INT32_MAX))) return;

  double* out = call.output(0, L, N);
  sparseTransposeDenseColumns(out, values, positions.values(), static_cast<int32_t>(count), L, C,
                              static_cast<int32_t>(N), static_cast<int32_t>(M));
}

}  // namespace

HOST_MODULE(colrunprod, kNames, gateway)
