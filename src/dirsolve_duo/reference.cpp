// The one-column forms of what the module runs on panels (the block
// products) and the one-block passes that applyBlockSgs interleaves, kept
// as their reference for the tests; the module does not call them.
#include "dirsolve_duo/dirsolve_duo.hpp"

void blockSgsWhole(const BlockLayout& layout, const DiagBlocks& D, int32_t b, double* z,
                   const double* r) {
  const uint64_t lo = layout.blockStart[b], hi = layout.blockStart[b + 1];
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

void blockSgsLower(const BlockLayout& layout, const DiagBlocks& D, int32_t b, double* z,
                   double* s) {
  const uint64_t lo = layout.blockStart[b], hi = layout.blockStart[b + 1];
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

// Blocks whose couplings are added together: each block k's slice of x is
// then read once for the tile, not once for every block of it.
constexpr int32_t kTile = 8;

// y[blocks b0 .. b1-1] += their couplings with every block. Every output
// still takes its pairs in ascending k, in stored order within a pair.
void addCouplings(const BlockLayout& layout, const CouplingLists& C, double* y, const double* x,
                  int32_t b0, int32_t b1) {
  const uint64_t nb = static_cast<uint64_t>(layout.numBlocks);
  const uint64_t* bs = layout.blockStart;
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
void blockProductWhole(const BlockLayout& layout, const DiagBlocks& D, const CouplingLists& C,
                       double* y, const double* x, int32_t first, int32_t end) {
  const uint64_t* cs = D.diagColStart;
  const uint16_t* row = D.diagRow;
  const double* val = D.diagValue;
  for (int32_t b0 = first; b0 < end; b0 += kTile) {
    const int32_t b1 = end - b0 > kTile ? b0 + kTile : end;
    for (int32_t b = b0; b < b1; ++b) {
      const uint64_t lo = layout.blockStart[b], hi = layout.blockStart[b + 1];
      const double* xb = x + lo;
      for (uint64_t i = lo; i < hi; ++i) {
        double s = 0.0;
        for (uint64_t e = cs[i]; e < cs[i + 1]; ++e) s = s + xb[row[e]] * val[e];
        y[i] = s;
      }
    }
    addCouplings(layout, C, y, x, b0, b1);
  }
}

void blockProductLower(const BlockLayout& layout, const DiagBlocks& D, const CouplingLists& C,
                       double* y, const double* x, int32_t first, int32_t end) {
  const uint64_t* cs = D.diagColStart;
  const uint16_t* row = D.diagRow;
  const double* val = D.diagValue;
  for (int32_t b0 = first; b0 < end; b0 += kTile) {
    const int32_t b1 = end - b0 > kTile ? b0 + kTile : end;
    for (int32_t b = b0; b < b1; ++b) {
      const uint64_t lo = layout.blockStart[b], hi = layout.blockStart[b + 1];
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
    addCouplings(layout, C, y, x, b0, b1);
  }
}
