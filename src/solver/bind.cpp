#include "solver/bind.hpp"

bool bindSolverArgs(host::Call& call, const SolverArgSlots& slot, SolverArgs* out) {
  ColumnRequest& rq = out->request;
  host::SparseArg& A = out->A;
  if (!call.sparse(slot.A, &A) || !call.shape(slot.A, A.cols, A.cols)) return false;
  rq.n = A.cols;

  if (!call.dense(slot.B, &rq.B)) return false;
  rq.k = call.cols(slot.B);
  rq.canonical = call.rows(slot.B) == 1;

  if (!call.intScalar(slot.maxIter, &rq.maxIter) || !call.scalar(slot.tol, &rq.tol)) return false;

  const bool hasXin = call.present(slot.xIn);
  if (rq.canonical && hasXin) {
    return call.verbatim("ERROR: canonical + x_in not implemented\n");
  }
  if (!call.fitsInt32(slot.B, rq.k, "columns")) return false;
  if (!rq.canonical && !call.shape(slot.B, rq.n, rq.k)) return false;
  if (hasXin && (!call.dense(slot.xIn, &rq.xIn) || !call.shape(slot.xIn, rq.n, rq.k))) return false;

  if (!call.intScalar(slot.numThreads, &out->numThreads)) return false;

  if (call.present(slot.rowSubset)) {
    host::List rows;
    if (!call.list(slot.rowSubset, ListLength::longerSide, "rows", &rows) ||
        !call.positions(slot.rowSubset, rows, rq.n))
      return false;
    rq.rowSubset = rows.values();
    rq.m = rows.count();
  }
  // Canonical B is one row: a list of k indices.
  host::List indices;
  return !rq.canonical || (call.list(slot.B, ListLength::elements, "columns", &indices) &&
                           call.positions(slot.B, indices, rq.n));
}

ColumnReport solverInfo(host::Call& call, int slot, int64_t k) {
  static const char* const names[] = {"passes", "relres"};
  double* data[2];
  call.rowStruct(slot, names, 2, k, data);
  ColumnReport report;
  report.passes = data[0];
  report.relres = data[1];
  return report;
}
