#include "dirsolve_duo/dirsolve_duo.hpp"

#include <cmath>
#include <cstring>

#include "solver/columnloop.hpp"

namespace {

// Lanes of one application: blocks swept side by side. A block's rows
// depend on each other, blocks do not, so interleaving kSgsLanes of them
// lets the processor overlap their dependence chains; each block's own
// order of operations is unchanged. A lane of length 0 is idle.
struct SweepLanes {
  uint64_t lo[kSgsLanes];
  uint64_t len[kSgsLanes];
  double* s[kSgsLanes];  // the lower variant's local residual copies
  uint64_t maxLen;
};

// Whole blocks. Forward, z is still 0 at and after row i, so with finite
// entries those products are +-0 and are left out: rows ascend, so they
// end the column, and subtracting +-0 changes at most the sign of a zero
// t, which z[i] = t * inv + 0 does not keep.
template <bool SkipZeros>
void sweepWholeLanes(const DiagBlocks& D, const SweepLanes& W, double* z, const double* r) {
  const uint64_t* cs = D.diagColStart;
  const uint16_t* row = D.diagRow;
  const double* val = D.diagValue;
  const double* inv = D.invDiag;
  for (uint64_t q = 0; q < W.maxLen; ++q) {
    for (int g = 0; g < kSgsLanes; ++g) {
      if (q >= W.len[g]) continue;
      const uint64_t i = W.lo[g] + q;
      const double* zb = z + W.lo[g];
      double t = r[i];
      uint64_t e = cs[i];
      const uint64_t end = cs[i + 1];
      if constexpr (SkipZeros) {
        for (; e < end && row[e] < q; ++e) t = t - zb[row[e]] * val[e];
      } else {
        for (; e < end; ++e) t = t - zb[row[e]] * val[e];
      }
      z[i] = t * inv[i] + z[i];
    }
  }
  for (uint64_t q = 0; q < W.maxLen; ++q) {
    for (int g = 0; g < kSgsLanes; ++g) {
      if (q >= W.len[g]) continue;
      const uint64_t i = W.lo[g] + (W.len[g] - 1 - q);
      const double* zb = z + W.lo[g];
      double t = r[i];
      for (uint64_t e = cs[i]; e < cs[i + 1]; ++e) t = t - zb[row[e]] * val[e];
      z[i] = t * inv[i] + z[i];
    }
  }
}

// Lower triangles. Forward, every product of the gather meets a z that is
// still 0 (the diagonal and the rows below), so with finite entries t is
// s alone, up to the sign of a zero that z[i] = t / d + 0 does not keep.
template <bool SkipZeros>
void sweepLowerLanes(const DiagBlocks& D, const SweepLanes& W, double* z) {
  const uint64_t* cs = D.diagColStart;
  const uint16_t* row = D.diagRow;
  const double* val = D.diagValue;
  for (uint64_t q = 0; q < W.maxLen; ++q) {
    for (int g = 0; g < kSgsLanes; ++g) {
      if (q >= W.len[g]) continue;
      const uint64_t i = W.lo[g] + q;
      const double* zb = z + W.lo[g];
      double* s = W.s[g];
      const uint64_t e0 = cs[i], end = cs[i + 1];
      double t = s[q];
      if constexpr (!SkipZeros) {
        for (uint64_t e = e0; e < end; ++e) t = t - zb[row[e]] * val[e];
      }
      t = t / val[e0];
      z[i] = t + z[i];
      for (uint64_t e = e0 + 1; e < end; ++e) s[row[e]] = s[row[e]] - t * val[e];
    }
  }
  for (uint64_t q = 0; q < W.maxLen; ++q) {
    for (int g = 0; g < kSgsLanes; ++g) {
      if (q >= W.len[g]) continue;
      const uint64_t local = W.len[g] - 1 - q;
      const uint64_t i = W.lo[g] + local;
      const double* zb = z + W.lo[g];
      const uint64_t e0 = cs[i], end = cs[i + 1];
      double t = W.s[g][local];
      for (uint64_t e = e0; e < end; ++e) t = t - zb[row[e]] * val[e];
      t = t / val[e0];
      z[i] = t + z[i];
    }
  }
}

template <bool SkipZeros>
void applyLanes(const BlockLayout& layout, const DiagBlocks& D, double* z, const double* r,
                double* s) {
  const uint64_t* bs = layout.blockStart;
  const bool whole = layout.wholeBlocks == 1;
  uint64_t w = 0;
  if (!whole) largestBlock(layout, &w);
  SweepLanes W;
  int used = 0;
  auto run = [&] {
    for (int g = used; g < kSgsLanes; ++g) W.len[g] = 0;
    W.maxLen = 0;
    for (int g = 0; g < used; ++g) W.maxLen = W.len[g] > W.maxLen ? W.len[g] : W.maxLen;
    if (whole)
      sweepWholeLanes<SkipZeros>(D, W, z, r);
    else
      sweepLowerLanes<SkipZeros>(D, W, z);
    used = 0;
  };
  for (int32_t b = 0; b < layout.numBlocks; ++b) {
    const uint64_t lo = bs[b], len = bs[b + 1] - lo;
    // A block's pass writes only its own slice of z, from 0.
    std::memset(z + lo, 0, sizeof(double) * len);
    double ss = 0.0;
    for (uint64_t i = lo; i < lo + len; ++i) ss += r[i] * r[i];
    if (kNegligible > ss) continue;
    W.lo[used] = lo;
    W.len[used] = len;
    if (!whole) {
      W.s[used] = s + static_cast<uint64_t>(used) * w;
      std::memcpy(W.s[used], r + lo, sizeof(double) * len);
    }
    if (++used == kSgsLanes) run();
  }
  if (used > 0) run();
}

}  // namespace

void applyBlockSgs(const BlockLayout& layout, const DiagBlocks& D, double* z, const double* r,
                   double* s, bool finite) {
  if (finite)
    applyLanes<true>(layout, D, z, r, s);
  else
    applyLanes<false>(layout, D, z, r, s);
}

uint64_t blockSgsScratch(const BlockLayout& layout) {
  if (layout.wholeBlocks == 1) return 0;
  uint64_t w = 0;
  largestBlock(layout, &w);
  return static_cast<uint64_t>(kSgsLanes) * w;
}

bool finiteBlocks(const DiagBlocks& D) {
  for (uint64_t e = 0; e < D.diagCount; ++e)
    if (!std::isfinite(D.diagValue[e])) return false;
  return true;
}

int64_t firstBadWholeColumn(int64_t n, const uint64_t* Ir, const uint64_t* Jc) {
  for (int64_t j = 0; j < n; ++j) {
    const uint64_t b = Jc[j], e = Jc[j + 1];
    bool diagonal = false;
    for (uint64_t t = b; t < e; ++t) {
      if (Ir[t] >= static_cast<uint64_t>(n) || (t > b && Ir[t] <= Ir[t - 1])) return j;
      diagonal = diagonal || Ir[t] == static_cast<uint64_t>(j);
    }
    if (!diagonal) return j;
  }
  return -1;
}

uint64_t sgsScratchSize(const DuoProblem& pb) {
  return pb.precondition ? blockSgsScratch(*pb.layout) : 0;
}

namespace {

struct WholeOperator {
  const BlockLayout& layout;
  const DiagBlocks& D;
  const CouplingLists& C;
  void apply(double* z, const double* p) const {
    blockProductWhole(layout, D, C, z, p, 0, layout.numBlocks);
  }
};

struct LowerOperator {
  const BlockLayout& layout;
  const DiagBlocks& D;
  const CouplingLists& C;
  void apply(double* z, const double* p) const {
    std::memset(z, 0, sizeof(double) * layout.n);
    blockProductLower(layout, D, C, z, p, 0, layout.numBlocks);
  }
};

// One per thread: s is that thread's slice, held for the whole call.
struct BlockSgs {
  const BlockLayout& layout;
  const DiagBlocks& D;
  double* s;
  bool finite;
  void apply(double* z, const double* r) const { applyBlockSgs(layout, D, z, r, s, finite); }
};

// Columns one at a time: the block products and sweeps have no panel form.
constexpr int kDuoLanes = 1;

template <class Operator>
void solveWith(const DuoProblem& pb, const Operator& A, double* X, int numThreads,
               const PanelBuffers& buf, double* S, const ColumnReport& report) {
  const ColumnRequest& rq = pb.request;
  const ColumnPlan plan = planColumns(rq.n, rq.k, numThreads, kDuoLanes);
  // Right-hand sides and starting points go in in block order, solutions
  // out in the caller's.
  const PermutedNumbering numbering{pb.layout->perm, pb.layout->invPerm};
  if (pb.precondition) {
    const uint64_t w = sgsScratchSize(pb);
    const bool finite = finiteBlocks(*pb.diag);
    auto sweepsFor = [&](int t) {
      return BlockSgs{*pb.layout, *pb.diag, S ? S + static_cast<uint64_t>(t) * w : nullptr, finite};
    };
    solveColumnLoop<kDuoLanes>(rq, plan, A, sweepsFor, numbering, X, numThreads, buf, report);
  } else {
    solveColumnLoop<kDuoLanes>(
        rq, plan, A, [](int) { return NoPreconditioner{}; }, numbering, X, numThreads, buf, report);
  }
}

}  // namespace

uint64_t duoScratch(const DuoProblem& pb, int numThreads) {
  return panelDoubles(pb.request.n, pb.request.k, numThreads, kDuoLanes);
}

void solveBlockColumns(const DuoProblem& pb, double* X, int numThreads, const PanelBuffers& buf,
                       double* S, const ColumnReport& report) {
  const BlockLayout& layout = *pb.layout;
  if (layout.wholeBlocks == 1)
    solveWith(pb, WholeOperator{layout, *pb.diag, *pb.couple}, X, numThreads, buf, S, report);
  else
    solveWith(pb, LowerOperator{layout, *pb.diag, *pb.couple}, X, numThreads, buf, S, report);
}
