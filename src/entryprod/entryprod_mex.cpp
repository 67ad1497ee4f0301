// out = entryprod(A1, B, A2, list1, rowMap1, list2, rowMap2, L, columnMap2)
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "entryprod/entryprod.hpp"
#include "host/mexhost.hpp"

namespace {

enum Arg { kA1, kB, kA2, kList1, kRowMap1, kList2, kRowMap2, kL, kColumnMap2, kArgCount };

const char* const kNames[kArgCount] = {"A1",    "B",       "A2", "list1",     "rowMap1",
                                       "list2", "rowMap2", "L",  "columnMap2"};

// A map value as the host would print it: NaN and Inf by name.
const char* describe(double v, char* buf, size_t size) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Inf" : "-Inf";
  std::snprintf(buf, size, "%.17g", v);
  return buf;
}

bool bindDense(const host::Call& call, int k, const double** data) {
  return call.dense(k, kNames[k], data);
}

// The map holds at least `need` values when any entry reads it.
bool mapLength(const host::Call& call, int k, int32_t entries, int64_t need, const char* per) {
  if (entries == 0 || call.numel(k) >= need) return true;
  return call.reject("argument %d (%s): expected %" PRId64 " values, one per %s, found %" PRId64,
                     k + 1, kNames[k], need, per, call.numel(k));
}

// Every row-map value a listed entry reads names a column of its left factor.
bool rowMapValues(const host::Call& call, int listArg, int mapArg, const double* list,
                  int32_t count, const double* map, int32_t L, int64_t columns,
                  const char* factor) {
  const int64_t i = firstBadRowMapEntry(list, count, map, L, columns);
  if (i < 0) return true;
  const int32_t r = (truncToInt32(list[i]) - 1) % L;
  char buf[32];
  return call.reject("argument %d (%s): element %d is %s, outside 1..%" PRId64
                     " (the columns of %s), read by element %" PRId64 " of argument %d",
                     mapArg + 1, kNames[mapArg], r + 1, describe(map[r], buf, sizeof buf), columns,
                     factor, i + 1, listArg + 1);
}

bool mirrorValues(const host::Call& call, const double* list, int32_t count, const double* rowMap,
                  const double* columnMap, int32_t L, int64_t N) {
  const int64_t i = firstBadMirrorEntry(list, count, rowMap, columnMap, L, N);
  if (i < 0) return true;
  const int32_t k = truncToInt32(list[i]) - 1;
  const int32_t j = k / L, r = k % L;
  char buf[32];
  if (truncToInt32(rowMap[r]) - 1 >= N)
    return call.reject("argument %d (%s): element %d is %.17g, beyond the %" PRId64
                       " output columns of the mirrored store, read by element %" PRId64
                       " of argument %d",
                       kRowMap2 + 1, kNames[kRowMap2], r + 1, rowMap[r], N, i + 1, kList2 + 1);
  return call.reject("argument %d (%s): element %d is %s, outside 1..%d (the output rows)",
                     kColumnMap2 + 1, kNames[kColumnMap2], j + 1,
                     describe(columnMap[j], buf, sizeof buf), L);
}

void gateway(host::Call& call) {
  if (!call.needArgs(kArgCount)) return;

  const double *A1, *B;
  if (!bindDense(call, kA1, &A1) || !bindDense(call, kB, &B)) return;
  // The historical message, printed as it always was: no prefix, no line feed.
  if (call.rows(kB) != call.rows(kA1)) {
    mexPrintf("Error: Input matrices should have the number of rows");
    return;
  }
  const int64_t m = call.rows(kA1);
  const int64_t N = call.cols(kB);
  if (!call.fitsInt32(kA1, kNames[kA1], m, "rows")) return;

  // A list's length is its row count.
  const double *A2, *rowMap1, *rowMap2, *columnMap2;
  host::List list1, list2;
  if (!bindDense(call, kA2, &A2) ||
      !call.list(kList1, kNames[kList1], ListLength::rows, "entries", &list1) ||
      !bindDense(call, kRowMap1, &rowMap1) ||
      !call.list(kList2, kNames[kList2], ListLength::rows, "entries", &list2) ||
      !bindDense(call, kRowMap2, &rowMap2))
    return;
  int32_t L;
  if (!call.intScalar(kL, kNames[kL], &L)) return;
  if (L < 0) {
    call.reject("argument %d (L): expected a row count of at least 0, found %d", kL + 1, L);
    return;
  }
  if (!bindDense(call, kColumnMap2, &columnMap2)) return;

  const int32_t c1 = static_cast<int32_t>(list1.count());
  const int32_t c2 = static_cast<int32_t>(list2.count());
  const int64_t cells = std::min<int64_t>(static_cast<int64_t>(L) * N, INT32_MAX);
  if (!call.positions(kList1, kNames[kList1], list1, cells) ||
      !call.positions(kList2, kNames[kList2], list2, cells))
    return;

  // A1 has its own columns; A2 is read with A1's column stride m.
  const int64_t columns1 = call.cols(kA1);
  const int64_t columns2 = m > 0 ? call.numel(kA2) / m : call.cols(kA2);
  if (!mapLength(call, kRowMap1, c1, L, "output row") ||
      !rowMapValues(call, kList1, kRowMap1, list1.values(), c1, rowMap1, L, columns1,
                    "argument 1") ||
      !mapLength(call, kRowMap2, c2, L, "output row") ||
      !rowMapValues(call, kList2, kRowMap2, list2.values(), c2, rowMap2, L, columns2,
                    "argument 3 taken with the row count of argument 1") ||
      !mapLength(call, kColumnMap2, c2, N, "output column") ||
      !mirrorValues(call, list2.values(), c2, rowMap2, columnMap2, L, N))
    return;

  double* out = call.output(0, L, N);
  // Pass 2 starts after pass 1 has stored everything: where both store, pass 2 wins.
  productEntriesPass(out, A1, B, static_cast<int32_t>(m), list1.values(), c1, rowMap1, nullptr, L,
                     false);
  productEntriesPass(out, A2, B, static_cast<int32_t>(m), list2.values(), c2, rowMap2, columnMap2,
                     L, true);
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  host::Call call("entryprod", nlhs, plhs, nrhs, prhs);
  host::runGuarded(call, [&] { gateway(call); });
}
