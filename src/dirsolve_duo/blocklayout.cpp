#include "dirsolve_duo/blocklayout.hpp"

#include <cstdlib>
#include <cstring>

#include "common/scratch.hpp"

namespace {

template <class T>
void release(T*& p) {
  std::free(p);
  p = nullptr;
}

}  // namespace

LayoutStatus buildBlockLayout(BlockLayout& L, DiagBlocks& D, CouplingLists& C) {
  const uint64_t n = L.n;
  const uint64_t* Ir = L.Ir;
  const uint64_t* Jc = L.Jc;
  const double* v = L.values;
  const uint64_t* blk = L.blockIndex;
  L.perm = L.invPerm = L.blockStart = nullptr;
  D = DiagBlocks{};
  C = CouplingLists{};

  uint64_t top = 0;
  for (uint64_t u = 0; u < n; ++u)
    if (blk[u] > top) top = blk[u];
  // numBlocks is a signed 32-bit count.
  if (top >= static_cast<uint64_t>(INT32_MAX)) return LayoutStatus::tooManyBlocks;
  const uint64_t nb = top + 1;
  L.numBlocks = static_cast<int32_t>(nb);
  // Below 2^62, so neither this nor the pair table's size overflows.
  const uint64_t pairs = nb * nb;

  // Everything whose size is known up front, the pair table first, so that
  // a block count too large for it fails before anything else is taken.
  C.pairStart = allocScratch<uint64_t>(pairs + 1);
  L.blockStart = allocScratch<uint64_t>(nb + 1);
  L.perm = allocScratch<uint64_t>(n);
  L.invPerm = allocScratch<uint64_t>(n);
  D.diagColStart = allocScratch<uint64_t>(n + 1);
  if (!L.blockStart || !L.perm || !L.invPerm || !C.pairStart || !D.diagColStart)
    return LayoutStatus::outOfMemory;

  // Stable counting sort of the variables by block.
  uint64_t* bs = L.blockStart;
  std::memset(bs, 0, sizeof(uint64_t) * (nb + 1));
  for (uint64_t u = 0; u < n; ++u) ++bs[blk[u] + 1];
  for (uint64_t b = 1; b <= nb; ++b) bs[b] += bs[b - 1];
  for (uint64_t u = 0; u < n; ++u) L.perm[bs[blk[u]]++] = u;
  // Each cursor now stands at the start of the next block.
  for (uint64_t b = nb; b > 0; --b) bs[b] = bs[b - 1];
  bs[0] = 0;
  bs[nb] = n;
  for (uint64_t b = 0; b < nb; ++b)
    if (bs[b + 1] - bs[b] > kMaxBlockSize) return LayoutStatus::blockTooLarge;
  for (uint64_t i = 0; i < n; ++i) L.invPerm[L.perm[i]] = i;

  // Counting pass: in-block entries (all and lower) and pair sizes.
  uint64_t* ps = C.pairStart;
  std::memset(ps, 0, sizeof(uint64_t) * (pairs + 1));
  uint64_t inCount = 0, lowerCount = 0, coupleCount = 0;
  for (uint64_t c = 0; c < n; ++c) {
    const uint64_t cb = blk[c];
    const uint64_t lo = bs[cb], hi = bs[cb + 1];
    for (uint64_t e = Jc[c]; e < Jc[c + 1]; ++e) {
      const uint64_t r = Ir[e];
      const uint64_t d = L.invPerm[r];
      if (lo <= d && d < hi) {
        ++inCount;
        if (c <= r) ++lowerCount;
      } else {
        ++ps[cb * nb + blk[r] + 1];
        ++coupleCount;
      }
    }
  }
  ps[0] = 0;
  for (uint64_t p = 1; p <= pairs; ++p) ps[p] += ps[p - 1];

  C.coupleRow = allocScratch<uint16_t>(coupleCount);
  C.coupleCol = allocScratch<uint16_t>(coupleCount);
  C.coupleValue = allocScratch<double>(coupleCount);
  const bool whole = L.wholeBlocks != 0;
  const uint64_t diagEntries = whole ? inCount : lowerCount;
  D.diagRow = allocScratch<uint16_t>(diagEntries);
  D.diagValue = allocScratch<double>(diagEntries);
  if (!C.coupleRow || !C.coupleCol || !C.coupleValue || !D.diagRow || !D.diagValue)
    return LayoutStatus::outOfMemory;

  // Filling pass, column by column in position order; pairStart serves as
  // the fill cursor of every pair.
  uint64_t count = 0;
  for (uint64_t i = 0; i < n; ++i) {
    D.diagColStart[i] = count;
    const uint64_t c = L.perm[i];
    const uint64_t cb = blk[c];
    const uint64_t lo = bs[cb], hi = bs[cb + 1];
    for (uint64_t e = Jc[c]; e < Jc[c + 1]; ++e) {
      const uint64_t r = Ir[e];
      const uint64_t d = L.invPerm[r];
      if (lo <= d && d < hi) {
        if (whole || d >= i) {
          D.diagRow[count] = static_cast<uint16_t>(d - lo);
          D.diagValue[count] = v[e];
          ++count;
        }
      } else {
        const uint64_t rb = blk[r];
        const uint64_t q = ps[cb * nb + rb]++;
        C.coupleValue[q] = v[e];
        C.coupleCol[q] = static_cast<uint16_t>(i - lo);
        C.coupleRow[q] = static_cast<uint16_t>(d - bs[rb]);
      }
    }
  }
  D.diagColStart[n] = count;
  D.diagCount = count;
  // Each cursor stands at the start of the next pair: move them back.
  for (uint64_t p = pairs; p > 0; --p) ps[p] = ps[p - 1];
  ps[0] = 0;
  ps[pairs] = coupleCount;
  return LayoutStatus::ok;
}

bool computeInverseDiagonal(const BlockLayout& L, DiagBlocks& D) {
  D.invDiag = allocScratch<double>(L.n);
  if (!D.invDiag) return false;
  for (int32_t b = 0; b < L.numBlocks; ++b) {
    const uint64_t lo = L.blockStart[b];
    for (uint64_t i = lo; i < L.blockStart[b + 1]; ++i)
      for (uint64_t e = D.diagColStart[i]; e < D.diagColStart[i + 1]; ++e)
        if (lo + D.diagRow[e] == i) D.invDiag[i] = 1.0 / D.diagValue[e];
  }
  return true;
}

int32_t largestBlock(const BlockLayout& L, uint64_t* size) {
  int32_t best = 0;
  uint64_t w = 0;
  for (int32_t b = 0; b < L.numBlocks; ++b) {
    const uint64_t s = L.blockStart[b + 1] - L.blockStart[b];
    if (s > w) {
      w = s;
      best = b;
    }
  }
  if (size) *size = w;
  return best;
}

namespace {

// Blocks whose couplings are added together: each block k's slice of x is
// then read once for the tile, not once for every block of it.
constexpr int32_t kTile = 8;

// y[blocks b0 .. b1-1] += their couplings with every block. Every output
// still takes its pairs in ascending k, in stored order within a pair.
void addCouplings(const BlockLayout& L, const CouplingLists& C, double* y, const double* x,
                  int32_t b0, int32_t b1) {
  const uint64_t nb = static_cast<uint64_t>(L.numBlocks);
  const uint64_t* bs = L.blockStart;
  const uint16_t* col = C.coupleCol;
  const uint16_t* row = C.coupleRow;
  const double* val = C.coupleValue;
  for (uint64_t k = 0; k < nb; ++k) {
    const double* xk = x + bs[k];
    for (int32_t b = b0; b < b1; ++b) {
      const uint64_t* ps = C.pairStart + static_cast<uint64_t>(b) * nb + k;
      double* yb = y + bs[b];
      for (uint64_t e = ps[0]; e < ps[1]; ++e) yb[col[e]] = xk[row[e]] * val[e] + yb[col[e]];
    }
  }
}

}  // namespace

// A block's couplings write only its own slice, so a tile of blocks can be
// finished before the next without changing any sum.
void blockProductWhole(const BlockLayout& L, const DiagBlocks& D, const CouplingLists& C, double* y,
                       const double* x, int32_t first, int32_t end) {
  const uint64_t* cs = D.diagColStart;
  const uint16_t* row = D.diagRow;
  const double* val = D.diagValue;
  for (int32_t b0 = first; b0 < end; b0 += kTile) {
    const int32_t b1 = end - b0 > kTile ? b0 + kTile : end;
    for (int32_t b = b0; b < b1; ++b) {
      const uint64_t lo = L.blockStart[b], hi = L.blockStart[b + 1];
      const double* xb = x + lo;
      for (uint64_t i = lo; i < hi; ++i) {
        double s = 0.0;
        for (uint64_t e = cs[i]; e < cs[i + 1]; ++e) s = s + xb[row[e]] * val[e];
        y[i] = s;
      }
    }
    addCouplings(L, C, y, x, b0, b1);
  }
}

void blockProductLower(const BlockLayout& L, const DiagBlocks& D, const CouplingLists& C, double* y,
                       const double* x, int32_t first, int32_t end) {
  const uint64_t* cs = D.diagColStart;
  const uint16_t* row = D.diagRow;
  const double* val = D.diagValue;
  for (int32_t b0 = first; b0 < end; b0 += kTile) {
    const int32_t b1 = end - b0 > kTile ? b0 + kTile : end;
    for (int32_t b = b0; b < b1; ++b) {
      const uint64_t lo = L.blockStart[b], hi = L.blockStart[b + 1];
      const double* xb = x + lo;
      double* yb = y + lo;
      for (uint64_t i = lo; i < hi; ++i) {
        const uint64_t e0 = cs[i];
        const double xi = x[i];
        double s = 0.0;
        // Each stored off-diagonal entry serves as (j, i) and as (i, j).
        for (uint64_t e = e0 + 1; e < cs[i + 1]; ++e) {
          const uint16_t j = row[e];
          const double a = val[e];
          yb[j] = a * xi + yb[j];
          s = s + a * xb[j];
        }
        y[i] = s + y[i];
        y[i] = xb[row[e0]] * val[e0] + y[i];
      }
    }
    addCouplings(L, C, y, x, b0, b1);
  }
}

void freeBlockLayout(BlockLayout& L, DiagBlocks& D, CouplingLists& C) {
  release(L.perm);
  release(L.invPerm);
  release(L.blockStart);
  release(D.diagColStart);
  release(D.diagRow);
  release(D.diagValue);
  release(D.invDiag);
  release(C.coupleCol);
  release(C.coupleRow);
  release(C.coupleValue);
  release(C.pairStart);
  D.diagCount = 0;
}
