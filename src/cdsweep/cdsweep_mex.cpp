// [delta, quad, sweeps, worst] = cdsweep(W, index, U or D, ei, ej, g, theta, delta0, lambda,
//                                        sweeps, numThreads, tol)
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>

#include "cdsweep/cdsweep.hpp"
#include "cdsweep/direction.hpp"
#include "cdsweep/entrymap.hpp"
#include "common/threads.hpp"
#include "host/module.hpp"

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
  kTol,
  kArgCount
};
const char* const kNames[kArgCount] = {"W",     "index",  "U|D",    "ei",     "ej",        "g",
                                       "theta", "delta0", "lambda", "sweeps", "numThreads", "tol"};
constexpr int kRequiredArgs = kNumThreads;

// The arguments, bound and checked against each other's sizes.
struct Args {
  const double *W = nullptr, *U = nullptr, *g = nullptr, *theta = nullptr, *delta0 = nullptr;
  host::List index, ei, ej;
  host::SparseArg D;       // the direction's lower triangle, when `direction`
  bool direction = false;  // the third argument is D (sparse), not U
  double lambda = 0.0, tol = -1.0;
  int32_t sweeps = 0, numThreads = 1;
  int64_t n = 0, m = 0, L = 0;
};

bool bindArgs(host::Call& call, Args* a) {
  // The third argument is either U = Delta W(:, index) or, sparse, the
  // lower triangle D of the direction, from which U is formed here.
  a->direction = call.isSparse(kU);
  if (!call.dense(kW, &a->W) || !call.list(kIndex, ListLength::elements, "elements", &a->index) ||
      !(a->direction ? call.sparse(kU, &a->D) : call.dense(kU, &a->U)) ||
      !call.list(kEi, ListLength::elements, "elements", &a->ei) ||
      !call.list(kEj, ListLength::elements, "elements", &a->ej) || !call.dense(kG, &a->g) ||
      !call.dense(kTheta, &a->theta) || !call.dense(kDelta0, &a->delta0) ||
      !call.scalar(kLambda, &a->lambda) || !call.intScalar(kSweeps, &a->sweeps))
    return false;
  // One thread unless asked: a barrier per update stalls whenever another
  // process holds one of the cores.
  if (call.nrhs() > kNumThreads && call.present(kNumThreads) &&
      !call.intScalar(kNumThreads, &a->numThreads))
    return false;
  // Without a tolerance every sweep is made.
  if (call.nrhs() > kTol && call.present(kTol) && !call.scalar(kTol, &a->tol)) return false;
  const int64_t n = a->n = call.rows(kW), m = a->m = call.cols(kW), L = a->L = a->ei.count();
  if (!call.fitsInt32(kW, n, "rows") || !call.fitsInt32(kW, m, "columns") ||
      !call.exactly(kIndex, m, "elements", "column of W") ||
      !(a->direction ? call.shape(kU, n, n) : call.shape(kU, n, m)) ||
      !call.exactly(kEj, L, "elements", "element of ei") ||
      !call.exactly(kG, L, "elements", "entry") || !call.exactly(kTheta, L, "elements", "entry") ||
      (call.present(kDelta0) && !call.exactly(kDelta0, L, "elements", "entry")))
    return false;
  if (!(a->lambda >= 0.0 && std::isfinite(a->lambda)))
    return call.reject(kLambda, "expected a finite value of at least 0, found %s",
                       host::formatValue(a->lambda).text);
  a->sweeps = std::max(a->sweeps, 0);
  return true;
}

// Every row number of ei or ej is a column of the block; out receives the
// local columns.
bool inBlock(const host::Call& call, int k, const host::List& list, const int32_t* local,
             int32_t* out) {
  const int32_t e = entryColumns(list.values(), static_cast<int32_t>(list.count()), local, out);
  if (e < 0) return true;
  return call.reject(k, "element %d is %d, not in index", e + 1, truncToInt32(list.values()[e]));
}

// D holds the lower triangle with the rows of each column ascending, as
// the product's order and the search for listed pairs take it.
bool lowerLayout(const host::Call& call, const LowerColumns& D) {
  int32_t c;
  const int64_t k = firstMisplacedEntry(D, &c);
  if (k < 0) return true;
  const uint64_t r = D.Ir[k];
  if (r >= static_cast<uint64_t>(D.n))
    return call.reject(kU, "column %d stores row %" PRIu64 ", outside 1..%d", c + 1, r + 1, D.n);
  if (r < static_cast<uint64_t>(c))
    return call.reject(kU,
                       "entry (%" PRIu64
                       ", %d) lies above the diagonal; D holds the lower "
                       "triangle only",
                       r + 1, c + 1);
  return call.reject(kU, "row indices of column %d do not ascend at entry (%" PRIu64 ", %d)", c + 1,
                     r + 1, c + 1);
}

// The listed entries are the ones the sweeps move: D must not hold them too.
bool noListedPair(const host::Call& call, const LowerColumns& D, const int32_t* rows,
                  const int32_t* li, const int32_t* lj, int32_t count) {
  const int32_t e = firstStoredPair(D, rows, li, lj, count);
  if (e < 0) return true;
  const int32_t i = rows[li[e]], j = rows[lj[e]];
  return call.reject(kU, "stores (%d, %d), the pair of entry %d, (%d, %d), of the list",
                     std::max(i, j) + 1, std::min(i, j) + 1, e + 1, i + 1, j + 1);
}

void gateway(host::Call& call) {
  if (!call.needArgs(kRequiredArgs)) return;
  Args a;
  if (!bindArgs(call, &a)) return;
  const int32_t n = static_cast<int32_t>(a.n), m = static_cast<int32_t>(a.m);
  const int32_t count = static_cast<int32_t>(a.L);
  const LowerColumns lower{a.D.Ir, a.D.Jc, a.D.values, n};
  if (a.direction && !lowerLayout(call, lower)) return;

  // Index rows distinct and in 1..n; every entry's rows in the block, no
  // pair listed twice, none stored in D.
  if (!call.positions(kIndex, a.index, n)) return;
  ScratchArray<int32_t> local = makeScratch<int32_t>(n), rows = makeScratch<int32_t>(m);
  ScratchArray<int32_t> li = makeScratch<int32_t>(count), lj = makeScratch<int32_t>(count);
  if (!local || !rows || !li || !lj) {
    call.outOfMemory();
    return;
  }
  int32_t earlier;
  const int32_t repeat = mapIndexColumns(a.index.values(), m, n, local.get(), rows.get(), &earlier);
  if (repeat >= 0) {
    call.reject(kIndex, "element %d repeats row %d of element %d", repeat + 1, rows[earlier] + 1,
                earlier + 1);
    return;
  }
  if (!call.positions(kEi, a.ei, n) || !call.positions(kEj, a.ej, n) ||
      !inBlock(call, kEi, a.ei, local.get(), li.get()) ||
      !inBlock(call, kEj, a.ej, local.get(), lj.get()))
    return;
  bool outOfMemory = false;
  const int32_t twice = firstRepeatedPair(li.get(), lj.get(), count, m, &earlier, &outOfMemory);
  if (outOfMemory) {
    call.outOfMemory();
    return;
  }
  if (twice >= 0) {
    call.reject(kEj, "entry %d, (%d, %d), names the pair of entry %d, (%d, %d)", twice + 1,
                rows[li[twice]] + 1, rows[lj[twice]] + 1, earlier + 1, rows[li[earlier]] + 1,
                rows[lj[earlier]] + 1);
    return;
  }
  if (a.direction && !noListedPair(call, lower, rows.get(), li.get(), lj.get(), count)) return;
  // Every column, in order, with D: the whole form, U formed in the rows'
  // own scratch.
  bool whole = a.direction && m == n;
  for (int32_t c = 0; whole && c < m; ++c) whole = rows[c] == c;
  ScratchArray<double> ownU;
  if (a.direction && !whole && !(ownU = allocateProduct(n, m))) {
    call.outOfMemory();
    return;
  }

  double* delta = call.output(0, a.L, 1);
  const bool hasDelta0 = call.present(kDelta0);
  if (hasDelta0) std::copy(a.delta0, a.delta0 + a.L, delta);
  const SweepList list{li.get(), lj.get(), a.g, a.theta, count};
  // A barrier per update pays only on long columns: a thread per 8,192 rows.
  const int32_t threads = threadCount(a.numThreads, n / 8192);
  const SweepControl control{a.lambda, a.sweeps, a.tol, threads};
  SweepResult result;
  bool ok;
  if (whole) {
    ok = wholeSweeps(a.W, rows.get(), n, lower, list, control, delta, &result);
  } else {
    if (a.direction) {
      directionProduct(lower, a.W, m, rows.get(), list, hasDelta0 ? a.delta0 : nullptr, threads,
                       ownU.get());
      a.U = ownU.get();
    }
    ok = coordinateSweeps(SweepBlock{a.W, a.U, rows.get(), n, m}, list, control, delta, &result);
  }
  if (!ok) {
    call.discardOutputs();
    call.outOfMemory();
    return;
  }
  if (double* out = call.output(1, 1, 1)) *out = result.quad;
  if (double* out = call.output(2, 1, 1)) *out = result.sweeps;
  if (double* out = call.output(3, 1, 1)) *out = result.worst;
}

}  // namespace

HOST_MODULE(cdsweep, kNames, gateway)
