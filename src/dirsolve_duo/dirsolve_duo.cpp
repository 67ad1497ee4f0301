#include "dirsolve_duo/dirsolve_duo.hpp"

#include <omp.h>

#include <cmath>
#include <cstring>

#include "common/convert.hpp"
#include "pcg/pcg.hpp"

namespace {

// Below this a block's residual slice is taken as zero.
constexpr double kNegligible = 1e-16;

}  // namespace

void blockSgsWhole(const BlockLayout& L, const DiagBlocks& D, int32_t b, double* z,
                   const double* r) {
  const uint64_t lo = L.blockStart[b], hi = L.blockStart[b + 1];
  double ss = 0.0;
  for (uint64_t i = lo; i < hi; ++i) ss += r[i] * r[i];
  if (kNegligible > ss) return;

  const uint64_t* cs = D.diagColStart;
  const uint16_t* row = D.diagRow;
  const double* val = D.diagValue;
  const double* inv = D.invDiag;
  double* zb = z + lo;
  // A is symmetric, so column i gathers row i of the block.
  for (uint64_t i = lo; i < hi; ++i) {
    double t = r[i];
    for (uint64_t e = cs[i]; e < cs[i + 1]; ++e) t = t - zb[row[e]] * val[e];
    z[i] = t * inv[i] + z[i];
  }
  for (uint64_t i = hi; i-- > lo;) {
    double t = r[i];
    for (uint64_t e = cs[i]; e < cs[i + 1]; ++e) t = t - zb[row[e]] * val[e];
    z[i] = t * inv[i] + z[i];
  }
}

void blockSgsLower(const BlockLayout& L, const DiagBlocks& D, int32_t b, double* z, double* s) {
  const uint64_t lo = L.blockStart[b], hi = L.blockStart[b + 1];
  if (lo == hi) return;
  double ss = 0.0;
  for (uint64_t i = 0; i < hi - lo; ++i) ss += s[i] * s[i];
  if (kNegligible > ss) return;

  const uint64_t* cs = D.diagColStart;
  const uint16_t* row = D.diagRow;
  const double* val = D.diagValue;
  double* zb = z + lo;
  // Forward: the rows above the diagonal arrive through s, carried down
  // from the columns already solved.
  for (uint64_t i = lo; i < hi; ++i) {
    const uint64_t e0 = cs[i];
    double t = s[i - lo];
    for (uint64_t e = e0; e < cs[i + 1]; ++e) t = t - zb[row[e]] * val[e];
    t = t / val[e0];
    z[i] = t + z[i];
    for (uint64_t e = e0 + 1; e < cs[i + 1]; ++e) s[row[e]] = s[row[e]] - t * val[e];
  }
  // Backward: s[i] holds r[i] less the row's part left of the diagonal at
  // the forward iterate, which z still holds there; s is not needed after.
  for (uint64_t i = hi; i-- > lo;) {
    const uint64_t e0 = cs[i];
    double t = s[i - lo];
    for (uint64_t e = e0; e < cs[i + 1]; ++e) t = t - zb[row[e]] * val[e];
    t = t / val[e0];
    z[i] = t + z[i];
  }
}

namespace {

// Lanes of one application: blocks swept side by side. A block's rows
// depend on each other, blocks do not, so interleaving kSgsLanes of them
// lets the processor overlap their dependence chains; each block's own
// order of operations is unchanged. A lane of length 0 is idle.
struct Lanes {
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
void sweepWholeLanes(const DiagBlocks& D, const Lanes& W, double* z, const double* r) {
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
void sweepLowerLanes(const DiagBlocks& D, const Lanes& W, double* z) {
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
void applyLanes(const BlockLayout& L, const DiagBlocks& D, double* z, const double* r, double* s) {
  const uint64_t* bs = L.blockStart;
  const bool whole = L.wholeBlocks == 1;
  uint64_t w = 0;
  if (!whole) largestBlock(L, &w);
  Lanes W;
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
  for (int32_t b = 0; b < L.numBlocks; ++b) {
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

void applyBlockSgs(const BlockLayout& L, const DiagBlocks& D, double* z, const double* r, double* s,
                   bool finite) {
  if (finite)
    applyLanes<true>(L, D, z, r, s);
  else
    applyLanes<false>(L, D, z, r, s);
}

uint64_t blockSgsScratch(const BlockLayout& L) {
  if (L.wholeBlocks == 1) return 0;
  uint64_t w = 0;
  largestBlock(L, &w);
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
  const BlockLayout& L;
  const DiagBlocks& D;
  const CouplingLists& C;
  void apply(double* z, const double* p) const { blockProductWhole(L, D, C, z, p, 0, L.numBlocks); }
};

struct LowerOperator {
  const BlockLayout& L;
  const DiagBlocks& D;
  const CouplingLists& C;
  void apply(double* z, const double* p) const {
    std::memset(z, 0, sizeof(double) * L.n);
    blockProductLower(L, D, C, z, p, 0, L.numBlocks);
  }
};

// One per thread: s is that thread's slice, held for the whole call.
struct BlockSgs {
  const BlockLayout& L;
  const DiagBlocks& D;
  double* s;
  bool finite;
  void apply(double* z, const double* r) const { applyBlockSgs(L, D, z, r, s, finite); }
};

template <class Operator, bool Precondition>
void solveAll(const DuoProblem& pb, const Operator& A, double* X, int numThreads, double* R,
              double* P, double* Z, double* XF, double* S, uint64_t w, bool finite,
              const ColumnReport& report) {
  const int64_t n = pb.n;
  const uint64_t* perm = pb.layout->perm;
  const uint64_t* invPerm = pb.layout->invPerm;
  const int32_t k = static_cast<int32_t>(pb.k);
#pragma omp parallel num_threads(numThreads)
  {
    const int64_t t = omp_get_thread_num();
    double* r = R + t * n;
    double* p = P + t * n;
    double* z = Z + t * n;
    double* x = XF + t * n;
    const BlockSgs M{*pb.layout, *pb.diag, S ? S + static_cast<uint64_t>(t) * w : nullptr, finite};
#pragma omp for schedule(dynamic, 1)
    for (int32_t j = 0; j < k; ++j) {
      // Right-hand side and starting point in block order.
      if (pb.canonical) {
        std::memset(r, 0, sizeof(double) * n);
        r[invPerm[truncToInt32(pb.B[j]) - 1]] = 1.0;
      } else {
        const double* b = pb.B + j * n;
        for (int64_t i = 0; i < n; ++i) r[i] = b[perm[i]];
      }
      if (pb.xIn) {
        const double* x0 = pb.xIn + j * n;
        for (int64_t i = 0; i < n; ++i) x[i] = x0[perm[i]];
      } else {
        std::memset(x, 0, sizeof(double) * n);
      }

      double relres;
      int32_t passes;
      if constexpr (Precondition)
        passes = pcgSolveColumn(A, M, n, x, pb.maxIter, pb.tol, r, p, z, &relres);
      else
        passes = pcgSolveColumn(A, NoPreconditioner{}, n, x, pb.maxIter, pb.tol, r, p, z, &relres);
      reportColumn(report, j, passes, relres);

      // Back to the caller's numbering.
      if (pb.rowSubset) {
        double* out = X + j * pb.m;
        for (int64_t i = 0; i < pb.m; ++i) out[i] = x[invPerm[truncToInt32(pb.rowSubset[i]) - 1]];
      } else {
        double* out = X + j * n;
        for (int64_t u = 0; u < n; ++u) out[u] = x[invPerm[u]];
      }
    }
  }
}

template <class Operator>
void solveWith(const DuoProblem& pb, const Operator& A, double* X, int numThreads, double* R,
               double* P, double* Z, double* XF, double* S, const ColumnReport& report) {
  const uint64_t w = sgsScratchSize(pb);
  if (pb.precondition)
    solveAll<Operator, true>(pb, A, X, numThreads, R, P, Z, XF, S, w, finiteBlocks(*pb.diag),
                             report);
  else
    solveAll<Operator, false>(pb, A, X, numThreads, R, P, Z, XF, S, w, false, report);
}

}  // namespace

void solveBlockColumns(const DuoProblem& pb, double* X, int numThreads, double* R, double* P,
                       double* Z, double* XF, double* S, const ColumnReport& report) {
  const BlockLayout& L = *pb.layout;
  if (L.wholeBlocks == 1)
    solveWith(pb, WholeOperator{L, *pb.diag, *pb.couple}, X, numThreads, R, P, Z, XF, S, report);
  else
    solveWith(pb, LowerOperator{L, *pb.diag, *pb.couple}, X, numThreads, R, P, Z, XF, S, report);
}
