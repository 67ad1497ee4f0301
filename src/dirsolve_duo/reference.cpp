// The one-block passes that applyBlockSgs interleaves, kept as its
// reference for the tests; the module does not call them.
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
