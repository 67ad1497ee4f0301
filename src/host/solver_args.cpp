#include "host/solver_args.hpp"

#include <algorithm>
#include <cinttypes>

namespace host {

bool bindSolverArgs(const Call& call, const SolverArgSlots& slot, SolverArgs* out) {
  SolverArgs& a = *out;
  if (!call.sparse(slot.A, "A", &a.A) || !call.shape(slot.A, "A", a.A.cols, a.A.cols)) return false;
  a.n = a.A.cols;

  if (!call.dense(slot.B, "B", &a.B)) return false;
  a.k = call.cols(slot.B);
  a.canonical = call.rows(slot.B) == 1;

  if (!call.intScalar(slot.maxIter, "maxIter", &a.maxIter) || !call.scalar(slot.tol, "tol", &a.tol))
    return false;

  const bool hasXin = call.present(slot.xIn);
  if (a.canonical && hasXin) {
    mexPrintf("ERROR: canonical + x_in not implemented\n");
    return false;
  }
  if (!call.fitsInt32(slot.B, "B", a.k, "columns")) return false;
  if (!a.canonical && !call.shape(slot.B, "B", a.n, a.k)) return false;
  if (hasXin && (!call.dense(slot.xIn, "x_in", &a.xIn) || !call.shape(slot.xIn, "x_in", a.n, a.k)))
    return false;

  if (!call.intScalar(slot.numThreads, "numThreads", &a.numThreads)) return false;

  if (call.present(slot.rowSubset)) {
    host::List rows;
    if (!call.list(slot.rowSubset, "rowSubset", ListLength::longerSide, "rows", &rows) ||
        !call.positions(slot.rowSubset, "rowSubset", rows, a.n))
      return false;
    a.rowSubset = rows.values();
    a.m = rows.count();
  }
  // Canonical B is one row: a list of k indices.
  host::List indices;
  return !a.canonical || (call.list(slot.B, "B", ListLength::elements, "columns", &indices) &&
                          call.positions(slot.B, "B", indices, a.n));
}

ColumnReport solverInfo(Call& call, int slot, int64_t k) {
  static const char* const names[] = {"passes", "relres"};
  double* data[2];
  call.rowStruct(slot, names, 2, k, data);
  ColumnReport report;
  report.passes = data[0];
  report.relres = data[1];
  return report;
}

}  // namespace host
