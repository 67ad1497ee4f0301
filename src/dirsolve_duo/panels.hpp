#pragma once
// dirsolve_duo's block products and block sweeps on panels of W columns,
// its operators and preconditioner, and their column loop. Built once for
// the baseline instruction set (dirsolve_duo.cpp) and, where the compiler
// can, once more for AVX-512 (dirsolve_duo_avx512.cpp); dirsolve_duo.cpp
// picks one at run time. All of it lives in the solver's instruction-set
// namespace and calls no inline function from elsewhere, so the two builds
// share no code.
//
// A panel holds n positions of W values (element (i, w) at i * W + w):
// every lane takes exactly the operations, in the order, of the one-column
// kernels (blockProductWhole, blockProductLower, blockSgsWhole,
// blockSgsLower), and the layout is read once for all lanes.
#include <cstdint>
#include <cstring>

#include "dirsolve_duo/dirsolve_duo.hpp"
#include "solver/columnloop.hpp"
#include "solver/lanes.hpp"
#include "solver/pcg.hpp"

inline namespace PCG_ISA {
namespace duopanels {

// Blocks whose couplings are added together: each block k's slice of x is
// then read once for the tile, not once for every block of it.
constexpr int32_t kTile = 8;

// y[blocks b0 .. b1-1] += their couplings with every block. Every output
// still takes its pairs in ascending k, in stored order within a pair.
template <int W>
void addCouplingsPanel(const BlockLayout& layout, const CouplingLists& C, double* y,
                       const double* x, int32_t b0, int32_t b1) {
  using V = Lanes<W>;
  const uint64_t nb = static_cast<uint64_t>(layout.numBlocks);
  const uint64_t* bs = layout.blockStart;
  const uint16_t* col = C.coupleCol;
  const uint16_t* row = C.coupleRow;
  const double* val = C.coupleValue;
  for (uint64_t k = 0; k < nb; ++k) {
    const double* xk = x + bs[k] * W;
    for (int32_t b = b0; b < b1; ++b) {
      const uint64_t* ps = C.pairStart + static_cast<uint64_t>(b) * nb + k;
      double* yb = y + bs[b] * W;
      for (uint64_t e = ps[0]; e < ps[1]; ++e) {
        double* yi = yb + col[e] * W;
        (V::load(xk + row[e] * W) * val[e] + V::load(yi)).store(yi);
      }
    }
  }
}

// y = A x on blocks first .. end-1, layout built whole; y must not alias x.
template <int W>
void blockProductWholePanel(const BlockLayout& layout, const DiagBlocks& D,
                            const CouplingLists& C, double* y, const double* x, int32_t first,
                            int32_t end) {
  using V = Lanes<W>;
  const uint64_t* cs = D.diagColStart;
  const uint16_t* row = D.diagRow;
  const double* val = D.diagValue;
  for (int32_t b0 = first; b0 < end; b0 += kTile) {
    const int32_t b1 = end - b0 > kTile ? b0 + kTile : end;
    for (int32_t b = b0; b < b1; ++b) {
      const uint64_t lo = layout.blockStart[b], hi = layout.blockStart[b + 1];
      const double* xb = x + lo * W;
      for (uint64_t i = lo; i < hi; ++i) {
        V s = V::zero();
        for (uint64_t e = cs[i]; e < cs[i + 1]; ++e) s = s + V::load(xb + row[e] * W) * val[e];
        s.store(y + i * W);
      }
    }
    addCouplingsPanel<W>(layout, C, y, x, b0, b1);
  }
}

// y = A x on blocks first .. end-1, layout built lower; y must not alias
// x. Each block's slice is cleared just before its entries add to it, so
// the clearing is no pass of its own over y.
template <int W>
void blockProductLowerPanel(const BlockLayout& layout, const DiagBlocks& D,
                            const CouplingLists& C, double* y, const double* x, int32_t first,
                            int32_t end) {
  using V = Lanes<W>;
  const uint64_t* cs = D.diagColStart;
  const uint16_t* row = D.diagRow;
  const double* val = D.diagValue;
  for (int32_t b0 = first; b0 < end; b0 += kTile) {
    const int32_t b1 = end - b0 > kTile ? b0 + kTile : end;
    for (int32_t b = b0; b < b1; ++b) {
      const uint64_t lo = layout.blockStart[b], hi = layout.blockStart[b + 1];
      const double* xb = x + lo * W;
      double* yb = y + lo * W;
      std::memset(yb, 0, sizeof(double) * (hi - lo) * W);
      for (uint64_t i = lo; i < hi; ++i) {
        const uint64_t e0 = cs[i];
        const V xi = V::load(x + i * W);
        V s = V::zero();
        // Each stored off-diagonal entry serves as (j, i) and as (i, j).
        for (uint64_t e = e0 + 1; e < cs[i + 1]; ++e) {
          const double a = val[e];
          double* yj = yb + row[e] * W;
          (a * xi + V::load(yj)).store(yj);
          s = s + a * V::load(xb + row[e] * W);
        }
        V yi = s + V::load(y + i * W);
        yi = V::load(xb + row[e0] * W) * val[e0] + yi;
        yi.store(y + i * W);
      }
    }
    addCouplingsPanel<W>(layout, C, y, x, b0, b1);
  }
}

// Blocks swept side by side. A block's rows depend on each other, blocks
// do not, so interleaving kSgsLanes of them lets the processor overlap
// their dependence chains; each block's own order is unchanged. A slot of
// length 0 is idle.
struct SweepSlots {
  uint64_t lo[kSgsLanes];
  uint64_t len[kSgsLanes];
  double* s[kSgsLanes];  // the lower variant's local residual panels
  uint64_t maxLen;
};

// Whole blocks. Forward, z is still 0 at and after row i in every lane, so
// with finite entries those products are +-0 and are left out: rows
// ascend, so they end the column, and subtracting +-0 changes at most the
// sign of a zero t, which z[i] = t * inv + 0 does not keep.
template <int W, bool SkipZeros>
void sweepWhole(const DiagBlocks& D, const SweepSlots& S, double* z, const double* r) {
  using V = Lanes<W>;
  const uint64_t* cs = D.diagColStart;
  const uint16_t* row = D.diagRow;
  const double* val = D.diagValue;
  const double* inv = D.invDiag;
  for (uint64_t q = 0; q < S.maxLen; ++q) {
    for (int g = 0; g < kSgsLanes; ++g) {
      if (q >= S.len[g]) continue;
      const uint64_t i = S.lo[g] + q;
      const double* zb = z + S.lo[g] * W;
      V t = V::load(r + i * W);
      uint64_t e = cs[i];
      const uint64_t end = cs[i + 1];
      if constexpr (SkipZeros) {
        for (; e < end && row[e] < q; ++e) t = t - V::load(zb + row[e] * W) * val[e];
      } else {
        for (; e < end; ++e) t = t - V::load(zb + row[e] * W) * val[e];
      }
      (t * inv[i] + V::load(z + i * W)).store(z + i * W);
    }
  }
  for (uint64_t q = 0; q < S.maxLen; ++q) {
    for (int g = 0; g < kSgsLanes; ++g) {
      if (q >= S.len[g]) continue;
      const uint64_t i = S.lo[g] + (S.len[g] - 1 - q);
      const double* zb = z + S.lo[g] * W;
      V t = V::load(r + i * W);
      for (uint64_t e = cs[i]; e < cs[i + 1]; ++e) t = t - V::load(zb + row[e] * W) * val[e];
      (t * inv[i] + V::load(z + i * W)).store(z + i * W);
    }
  }
}

// Lower triangles. Forward, every product of the gather meets a z that is
// still 0 (the diagonal and the rows below), so with finite entries t is
// s alone, up to the sign of a zero that z[i] = t / d + 0 does not keep.
template <int W, bool SkipZeros>
void sweepLower(const DiagBlocks& D, const SweepSlots& S, double* z) {
  using V = Lanes<W>;
  const uint64_t* cs = D.diagColStart;
  const uint16_t* row = D.diagRow;
  const double* val = D.diagValue;
  for (uint64_t q = 0; q < S.maxLen; ++q) {
    for (int g = 0; g < kSgsLanes; ++g) {
      if (q >= S.len[g]) continue;
      const uint64_t i = S.lo[g] + q;
      const double* zb = z + S.lo[g] * W;
      double* s = S.s[g];
      const uint64_t e0 = cs[i], end = cs[i + 1];
      V t = V::load(s + q * W);
      if constexpr (!SkipZeros) {
        for (uint64_t e = e0; e < end; ++e) t = t - V::load(zb + row[e] * W) * val[e];
      }
      t = t / val[e0];
      (t + V::load(z + i * W)).store(z + i * W);
      for (uint64_t e = e0 + 1; e < end; ++e) {
        double* sr = s + row[e] * W;
        (V::load(sr) - t * val[e]).store(sr);
      }
    }
  }
  for (uint64_t q = 0; q < S.maxLen; ++q) {
    for (int g = 0; g < kSgsLanes; ++g) {
      if (q >= S.len[g]) continue;
      const uint64_t local = S.len[g] - 1 - q;
      const uint64_t i = S.lo[g] + local;
      const double* zb = z + S.lo[g] * W;
      const uint64_t e0 = cs[i], end = cs[i + 1];
      V t = V::load(S.s[g] + local * W);
      for (uint64_t e = e0; e < end; ++e) t = t - V::load(zb + row[e] * W) * val[e];
      t = t / val[e0];
      (t + V::load(z + i * W)).store(z + i * W);
    }
  }
}

// z = M^-1 r on a panel: every lane gets the bits of blockSgsWhole or
// blockSgsLower on each block in turn. A block is swept when any lane's
// residual on it is not negligible; the lanes whose residual is are set
// back to 0 there afterwards (lanes never mix, so the others are as if
// swept alone). s: blockSgsScratch(layout, W) doubles.
template <int W, bool SkipZeros>
void applyBlockSgsPanel(const BlockLayout& layout, const DiagBlocks& D, double* z,
                        const double* r, double* s) {
  using V = Lanes<W>;
  const uint64_t* bs = layout.blockStart;
  const bool whole = layout.wholeBlocks == 1;
  uint64_t w = 0;
  if (!whole) largestBlock(layout, &w);
  SweepSlots S;
  bool idle[kSgsLanes][W];  // lanes of each slot left out of the pass
  int used = 0;
  auto run = [&] {
    for (int g = used; g < kSgsLanes; ++g) S.len[g] = 0;
    S.maxLen = 0;
    for (int g = 0; g < used; ++g) S.maxLen = S.len[g] > S.maxLen ? S.len[g] : S.maxLen;
    if (whole)
      sweepWhole<W, SkipZeros>(D, S, z, r);
    else
      sweepLower<W, SkipZeros>(D, S, z);
    for (int g = 0; g < used; ++g)
      for (int l = 0; l < W; ++l)
        if (idle[g][l])
          for (uint64_t i = S.lo[g]; i < S.lo[g] + S.len[g]; ++i) z[i * W + l] = 0.0;
    used = 0;
  };
  for (int32_t b = 0; b < layout.numBlocks; ++b) {
    const uint64_t lo = bs[b], len = bs[b + 1] - lo;
    // A block's pass writes only its own slice of z, from 0.
    std::memset(z + lo * W, 0, sizeof(double) * len * W);
    V ss = V::zero();
    for (uint64_t i = lo; i < lo + len; ++i) {
      const V ri = V::load(r + i * W);
      ss = ss + ri * ri;
    }
    double sums[W];
    ss.store(sums);
    bool any = false;
    for (int l = 0; l < W; ++l) {
      idle[used][l] = kNegligible > sums[l];
      any = any || !idle[used][l];
    }
    if (!any) continue;
    S.lo[used] = lo;
    S.len[used] = len;
    if (!whole) {
      S.s[used] = s + static_cast<uint64_t>(used) * w * W;
      std::memcpy(S.s[used], r + lo * W, sizeof(double) * len * W);
    }
    if (++used == kSgsLanes) run();
  }
  if (used > 0) run();
}

template <int W>
void applyBlockSgsPanel(const BlockLayout& layout, const DiagBlocks& D, double* z,
                        const double* r, double* s, bool finite) {
  if (finite)
    applyBlockSgsPanel<W, true>(layout, D, z, r, s);
  else
    applyBlockSgsPanel<W, false>(layout, D, z, r, s);
}

struct WholeOperator {
  const BlockLayout& layout;
  const DiagBlocks& D;
  const CouplingLists& C;
  void apply(double* z, const double* p) const { applyPanel<1>(z, p); }
  template <int W>
  void applyPanel(double* z, const double* p) const {
    blockProductWholePanel<W>(layout, D, C, z, p, 0, layout.numBlocks);
  }
};

struct LowerOperator {
  const BlockLayout& layout;
  const DiagBlocks& D;
  const CouplingLists& C;
  void apply(double* z, const double* p) const { applyPanel<1>(z, p); }
  template <int W>
  void applyPanel(double* z, const double* p) const {
    blockProductLowerPanel<W>(layout, D, C, z, p, 0, layout.numBlocks);
  }
};

// One per thread: s is that thread's slice, held for the whole call.
struct BlockSgs {
  const BlockLayout& layout;
  const DiagBlocks& D;
  double* s;
  bool finite;
  void apply(double* z, const double* r) const { applyPanel<1>(z, r); }
  template <int W>
  void applyPanel(double* z, const double* r) const {
    applyBlockSgsPanel<W>(layout, D, z, r, s, finite);
  }
};

template <class Operator>
void solveWith(const DuoProblem& pb, const ColumnPlan& plan, const Operator& A, double* X,
               int numThreads, const PanelBuffers& buf, double* S, const ColumnReport& report) {
  // Right-hand sides and starting points go in in block order, solutions
  // out in the caller's.
  const PermutedNumbering numbering{pb.layout->perm, pb.layout->invPerm};
  if (pb.precondition) {
    const uint64_t w = blockSgsScratch(*pb.layout, plan.width);
    const bool finite = finiteBlocks(*pb.diag);
    auto sweepsFor = [&](int t) {
      return BlockSgs{*pb.layout, *pb.diag, S ? S + static_cast<uint64_t>(t) * w : nullptr, finite};
    };
    solveColumnLoop<kDuoLanes>(pb.request, plan, A, sweepsFor, numbering, X, numThreads, buf,
                               report);
  } else {
    solveColumnLoop<kDuoLanes>(
        pb.request, plan, A, [](int) { return NoPreconditioner{}; }, numbering, X, numThreads, buf,
        report);
  }
}

// The column loop with the operator of the layout's variant.
inline void solveColumnsWith(const DuoProblem& pb, const ColumnPlan& plan, double* X,
                             int numThreads, const PanelBuffers& buf, double* S,
                             const ColumnReport& report) {
  const BlockLayout& layout = *pb.layout;
  if (layout.wholeBlocks == 1)
    solveWith(pb, plan, WholeOperator{layout, *pb.diag, *pb.couple}, X, numThreads, buf, S,
              report);
  else
    solveWith(pb, plan, LowerOperator{layout, *pb.diag, *pb.couple}, X, numThreads, buf, S,
              report);
}

}  // namespace duopanels
}  // namespace PCG_ISA

// The AVX-512 build of solveColumnsWith, where the compiler can make one.
void solveBlockColumnsAvx512(const DuoProblem& pb, const ColumnPlan& plan, double* X,
                             int numThreads, const PanelBuffers& buf, double* S,
                             const ColumnReport& report);
