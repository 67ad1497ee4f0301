// out = entryprod(A1, B, A2, list1, rowMap1, list2, rowMap2, L, columnMap2)
#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>

#include "entryprod/entryprod.hpp"
#include "host/module.hpp"

namespace {

enum Arg { kA1, kB, kA2, kList1, kRowMap1, kList2, kRowMap2, kL, kColumnMap2, kArgCount };
const char* const kNames[kArgCount] = {"A1",    "B",       "A2", "list1",     "rowMap1",
                                       "list2", "rowMap2", "L",  "columnMap2"};

// Every row-map value a listed entry reads names a column of its left
// factor, argument `factor`; A2's columns are those of A1's row count.
bool rowMapValues(const host::Call& call, int listArg, const host::List& list, int mapArg,
                  const double* map, int32_t L, int64_t columns, int factor) {
  const int32_t count = static_cast<int32_t>(list.count());
  const int64_t i = firstBadRowMapEntry(list.values(), count, map, L, columns);
  if (i < 0) return true;
  const int32_t r = (truncToInt32(list.values()[i]) - 1) % L;
  char what[256];
  std::snprintf(what, sizeof what, factor == kA1 ? "%s" : "%s taken with the row count of %s",
                call.argument(factor).text, call.argument(kA1).text);
  return call.reject(mapArg,
                     "element %d is %s, outside 1..%" PRId64
                     " (the columns of %s), read by element %" PRId64 " of %s",
                     r + 1, host::formatValue(map[r]).text, columns, what, i + 1,
                     call.argument(listArg).text);
}

// Every mirrored store of the symmetric pass lands in the output.
bool mirrorValues(const host::Call& call, const host::List& list, const double* rowMap,
                  const double* columnMap, int32_t L, int64_t N) {
  const int32_t count = static_cast<int32_t>(list.count());
  const int64_t i = firstBadMirrorEntry(list.values(), count, rowMap, columnMap, L, N);
  if (i < 0) return true;
  const int32_t k = truncToInt32(list.values()[i]) - 1;
  const int32_t j = k / L, r = k % L;
  if (truncToInt32(rowMap[r]) - 1 >= N)
    return call.reject(kRowMap2,
                       "element %d is %s, beyond the %" PRId64
                       " output columns of the mirrored store, read by element %" PRId64
                       " of %s",
                       r + 1, host::formatValue(rowMap[r]).text, N, i + 1,
                       call.argument(kList2).text);
  return call.reject(kColumnMap2, "element %d is %s, outside 1..%d (the output rows)", j + 1,
                     host::formatValue(columnMap[j]).text, L);
}

void gateway(host::Call& call) {
  if (!call.needArgs(kArgCount)) return;

  const double *A1, *B;
  if (!call.dense(kA1, &A1) || !call.dense(kB, &B)) return;
  if (call.rows(kB) != call.rows(kA1)) {
    call.verbatim("Error: Input matrices should have the number of rows\n");
    return;
  }
  const int64_t m = call.rows(kA1);
  const int64_t N = call.cols(kB);
  if (!call.fitsInt32(kA1, m, "rows")) return;

  // A list's length is its row count.
  const double *A2, *rowMap1, *rowMap2, *columnMap2;
  host::List list1, list2;
  int32_t L;
  if (!call.dense(kA2, &A2) || !call.list(kList1, ListLength::rows, "entries", &list1) ||
      !call.dense(kRowMap1, &rowMap1) || !call.list(kList2, ListLength::rows, "entries", &list2) ||
      !call.dense(kRowMap2, &rowMap2) || !call.intScalar(kL, &L))
    return;
  if (L < 0) {
    call.reject(kL, "expected a row count of at least 0, found %d", L);
    return;
  }
  if (!call.dense(kColumnMap2, &columnMap2)) return;

  const int64_t cells = std::min<int64_t>(static_cast<int64_t>(L) * N, INT32_MAX);
  if (!call.positions(kList1, list1, cells) || !call.positions(kList2, list2, cells)) return;

  // Maps are read only for listed entries. A1 has its own columns; A2 is
  // read with A1's column stride m.
  const bool any1 = list1.count() > 0, any2 = list2.count() > 0;
  const int64_t columns1 = call.cols(kA1);
  const int64_t columns2 = m > 0 ? call.numel(kA2) / m : call.cols(kA2);
  if ((any1 && !call.atLeast(kRowMap1, L, "output row")) ||
      !rowMapValues(call, kList1, list1, kRowMap1, rowMap1, L, columns1, kA1) ||
      (any2 && !call.atLeast(kRowMap2, L, "output row")) ||
      !rowMapValues(call, kList2, list2, kRowMap2, rowMap2, L, columns2, kA2) ||
      (any2 && !call.atLeast(kColumnMap2, N, "output column")) ||
      !mirrorValues(call, list2, rowMap2, columnMap2, L, N))
    return;

  double* out = call.output(0, L, N);
  // Pass 2 starts after pass 1 has stored everything: where both store, pass 2 wins.
  const int32_t c1 = static_cast<int32_t>(list1.count()), c2 = static_cast<int32_t>(list2.count());
  // Positions lie below 2^31, and so do the columns they reach.
  const int32_t n = static_cast<int32_t>(std::min<int64_t>(N, INT32_MAX));
  productEntriesPass(out, A1, B, static_cast<int32_t>(m), list1.values(), c1, rowMap1, nullptr, L,
                     n, false);
  productEntriesPass(out, A2, B, static_cast<int32_t>(m), list2.values(), c2, rowMap2, columnMap2,
                     L, n, true);
}

}  // namespace

HOST_MODULE(entryprod, kNames, gateway)
