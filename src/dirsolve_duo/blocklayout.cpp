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

namespace {

// Stable counting sort of the variables by block: perm, invPerm and
// blockStart. False when a block holds more than kMaxBlockSize variables.
bool sortByBlock(BlockLayout& layout) {
  const uint64_t n = layout.n, nb = static_cast<uint64_t>(layout.numBlocks);
  const uint64_t* blk = layout.blockIndex;
  uint64_t* bs = layout.blockStart;
  std::memset(bs, 0, sizeof(uint64_t) * (nb + 1));
  for (uint64_t u = 0; u < n; ++u) ++bs[blk[u] + 1];
  for (uint64_t b = 1; b <= nb; ++b) bs[b] += bs[b - 1];
  for (uint64_t u = 0; u < n; ++u) layout.perm[bs[blk[u]]++] = u;
  // Each cursor now stands at the start of the next block.
  for (uint64_t b = nb; b > 0; --b) bs[b] = bs[b - 1];
  bs[0] = 0;
  bs[nb] = n;
  for (uint64_t b = 0; b < nb; ++b)
    if (bs[b + 1] - bs[b] > kMaxBlockSize) return false;
  for (uint64_t i = 0; i < n; ++i) layout.invPerm[layout.perm[i]] = i;
  return true;
}

struct EntryCounts {
  uint64_t inBlock = 0, lower = 0, couplings = 0;
};

// Counts the in-block entries (all and lower) and the couplings, and
// leaves C.pairStart holding the start of every block pair.
EntryCounts countEntries(const BlockLayout& layout, CouplingLists& C) {
  const uint64_t n = layout.n, nb = static_cast<uint64_t>(layout.numBlocks);
  const uint64_t pairs = nb * nb;
  const uint64_t* blk = layout.blockIndex;
  const uint64_t* bs = layout.blockStart;
  uint64_t* ps = C.pairStart;
  std::memset(ps, 0, sizeof(uint64_t) * (pairs + 1));
  EntryCounts count;
  for (uint64_t c = 0; c < n; ++c) {
    const uint64_t cb = blk[c];
    const uint64_t lo = bs[cb], hi = bs[cb + 1];
    for (uint64_t e = layout.Jc[c]; e < layout.Jc[c + 1]; ++e) {
      const uint64_t r = layout.Ir[e];
      const uint64_t d = layout.invPerm[r];
      if (lo <= d && d < hi) {
        ++count.inBlock;
        if (c <= r) ++count.lower;
      } else {
        ++ps[cb * nb + blk[r] + 1];
        ++count.couplings;
      }
    }
  }
  ps[0] = 0;
  for (uint64_t p = 1; p <= pairs; ++p) ps[p] += ps[p - 1];
  return count;
}

// Fills the diagonal blocks and the coupling lists, column by column in
// position order; pairStart serves as the fill cursor of every pair and
// holds the pairs' starts again at the end.
void fillEntries(const BlockLayout& layout, DiagBlocks& D, CouplingLists& C, uint64_t couplings) {
  const uint64_t n = layout.n, nb = static_cast<uint64_t>(layout.numBlocks);
  const uint64_t pairs = nb * nb;
  const uint64_t* blk = layout.blockIndex;
  const uint64_t* bs = layout.blockStart;
  const bool whole = layout.wholeBlocks != 0;
  uint64_t* ps = C.pairStart;
  uint64_t count = 0;
  for (uint64_t i = 0; i < n; ++i) {
    D.diagColStart[i] = count;
    const uint64_t c = layout.perm[i];
    const uint64_t cb = blk[c];
    const uint64_t lo = bs[cb], hi = bs[cb + 1];
    for (uint64_t e = layout.Jc[c]; e < layout.Jc[c + 1]; ++e) {
      const uint64_t r = layout.Ir[e];
      const uint64_t d = layout.invPerm[r];
      if (lo <= d && d < hi) {
        if (whole || d >= i) {
          D.diagRow[count] = static_cast<uint16_t>(d - lo);
          D.diagValue[count] = layout.values[e];
          ++count;
        }
      } else {
        const uint64_t rb = blk[r];
        const uint64_t q = ps[cb * nb + rb]++;
        C.coupleValue[q] = layout.values[e];
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
  ps[pairs] = couplings;
}

}  // namespace

LayoutStatus buildBlockLayout(BlockLayout& layout, DiagBlocks& D, CouplingLists& C) {
  const uint64_t n = layout.n;
  layout.perm = layout.invPerm = layout.blockStart = nullptr;
  D = DiagBlocks{};
  C = CouplingLists{};

  uint64_t top = 0;
  for (uint64_t u = 0; u < n; ++u)
    if (layout.blockIndex[u] > top) top = layout.blockIndex[u];
  // numBlocks is a signed 32-bit count.
  if (top >= static_cast<uint64_t>(INT32_MAX)) return LayoutStatus::tooManyBlocks;
  const uint64_t nb = top + 1;
  layout.numBlocks = static_cast<int32_t>(nb);

  // Everything whose size is known up front, the pair table first, so that
  // a block count too large for it fails before anything else is taken.
  // Below 2^62 pairs, so no size overflows.
  C.pairStart = allocScratch<uint64_t>(nb * nb + 1);
  layout.blockStart = allocScratch<uint64_t>(nb + 1);
  layout.perm = allocScratch<uint64_t>(n);
  layout.invPerm = allocScratch<uint64_t>(n);
  D.diagColStart = allocScratch<uint64_t>(n + 1);
  if (!layout.blockStart || !layout.perm || !layout.invPerm || !C.pairStart || !D.diagColStart)
    return LayoutStatus::outOfMemory;

  if (!sortByBlock(layout)) return LayoutStatus::blockTooLarge;
  const EntryCounts count = countEntries(layout, C);

  C.coupleRow = allocScratch<uint16_t>(count.couplings);
  C.coupleCol = allocScratch<uint16_t>(count.couplings);
  C.coupleValue = allocScratch<double>(count.couplings);
  const uint64_t diagEntries = layout.wholeBlocks != 0 ? count.inBlock : count.lower;
  D.diagRow = allocScratch<uint16_t>(diagEntries);
  D.diagValue = allocScratch<double>(diagEntries);
  if (!C.coupleRow || !C.coupleCol || !C.coupleValue || !D.diagRow || !D.diagValue)
    return LayoutStatus::outOfMemory;

  fillEntries(layout, D, C, count.couplings);
  return LayoutStatus::ok;
}

bool computeInverseDiagonal(const BlockLayout& layout, DiagBlocks& D) {
  D.invDiag = allocScratch<double>(layout.n);
  if (!D.invDiag) return false;
  for (int32_t b = 0; b < layout.numBlocks; ++b) {
    const uint64_t lo = layout.blockStart[b];
    for (uint64_t i = lo; i < layout.blockStart[b + 1]; ++i)
      for (uint64_t e = D.diagColStart[i]; e < D.diagColStart[i + 1]; ++e)
        if (lo + D.diagRow[e] == i) D.invDiag[i] = 1.0 / D.diagValue[e];
  }
  return true;
}

int32_t largestBlock(const BlockLayout& layout, uint64_t* size) {
  int32_t best = 0;
  uint64_t w = 0;
  for (int32_t b = 0; b < layout.numBlocks; ++b) {
    const uint64_t s = layout.blockStart[b + 1] - layout.blockStart[b];
    if (s > w) {
      w = s;
      best = b;
    }
  }
  if (size) *size = w;
  return best;
}

void freeBlockLayout(BlockLayout& layout, DiagBlocks& D, CouplingLists& C) {
  release(layout.perm);
  release(layout.invPerm);
  release(layout.blockStart);
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
