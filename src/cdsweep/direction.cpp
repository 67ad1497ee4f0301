#include "cdsweep/direction.hpp"

#include <algorithm>

#include "common/pages.hpp"

namespace {

// Columns of W and U one pass over D carries in registers: each pass reads
// all of D again, so wider groups move less of it, up to what the
// registers hold.
constexpr int32_t kGroup = 8;

// Rows of U zeroed at once ahead of the writes (2 KB of each column).
constexpr int64_t kZeroRows = 256;

// Columns q0..q0+G-1 of U. Row c of U is final once column c of D is done
// (later columns write rows beyond c only), so U(c, q) is summed in a
// register along column c, and rows are zeroed just ahead of their first
// write rather than in a pass of their own, which keeps a banded D's writes
// in cache.
template <int G>
void groupProduct(const LowerColumns& D, const double* W, const int32_t* rows,
                  const SweepList& list, const double* delta0, int64_t q0, double* U) {
  const int64_t n = D.n;
  const double* w = W + q0 * n;
  double* u = U + q0 * n;
  int64_t zeroed = 0;
  for (int64_t c = 0; c < n; ++c) {
    const uint64_t k0 = D.Jc[c], k1 = D.Jc[c + 1];
    if (k0 == k1) continue;
    const int64_t last = static_cast<int64_t>(D.Ir[k1 - 1]);
    if (last >= zeroed) {
      // A stretch at a time: one call per row would cost more than the zeros.
      const int64_t end = std::min(n, std::max(last + 1, zeroed + kZeroRows));
      for (int g = 0; g < G; ++g) std::fill(u + g * n + zeroed, u + g * n + end, 0.0);
      zeroed = end;
    }
    double wc[G], acc[G];
    for (int g = 0; g < G; ++g) {
      wc[g] = w[g * n + c];
      acc[g] = u[g * n + c];
    }
    for (uint64_t k = k0; k < k1; ++k) {
      const double v = D.values[k];
      if (v == 0.0) continue;
      const int64_t r = static_cast<int64_t>(D.Ir[k]);
      if (r == c) {
        for (int g = 0; g < G; ++g) acc[g] += v * wc[g];
        continue;
      }
      for (int g = 0; g < G; ++g) {
        u[g * n + r] += v * wc[g];
        acc[g] += v * w[g * n + r];
      }
    }
    for (int g = 0; g < G; ++g) u[g * n + c] = acc[g];
  }
  for (int g = 0; g < G; ++g) std::fill(u + g * n + zeroed, u + (g + 1) * n, 0.0);
  if (!delta0) return;
  for (int32_t e = 0; e < list.count; ++e) {
    const double d = delta0[e];
    if (d == 0.0) continue;
    const int64_t i = rows[list.li[e]], j = rows[list.lj[e]];
    for (int g = 0; g < G; ++g) u[g * n + i] += d * w[g * n + j];
    if (i != j)
      for (int g = 0; g < G; ++g) u[g * n + j] += d * w[g * n + i];
  }
}

}  // namespace

int64_t firstMisplacedEntry(const LowerColumns& D, int32_t* column) {
  for (int32_t c = 0; c < D.n; ++c) {
    // Each row must lie beyond the one before, the first at or below the
    // diagonal.
    uint64_t above = static_cast<uint64_t>(c);
    for (uint64_t k = D.Jc[c]; k < D.Jc[c + 1]; ++k) {
      const uint64_t r = D.Ir[k];
      if (r < above || r >= static_cast<uint64_t>(D.n)) {
        *column = c;
        return static_cast<int64_t>(k);
      }
      above = r + 1;
    }
  }
  return -1;
}

int32_t firstStoredPair(const LowerColumns& D, const int32_t* rows, const int32_t* li,
                        const int32_t* lj, int32_t count) {
  for (int32_t e = 0; e < count; ++e) {
    const int32_t i = rows[li[e]], j = rows[lj[e]];
    const uint64_t hi = static_cast<uint64_t>(std::max(i, j));
    const int32_t lo = std::min(i, j);
    if (std::binary_search(D.Ir + D.Jc[lo], D.Ir + D.Jc[lo + 1], hi)) return e;
  }
  return -1;
}

void directionProduct(const LowerColumns& D, const double* W, int32_t m, const int32_t* rows,
                      const SweepList& list, const double* delta0, int32_t threads, double* U) {
  // Whole groups, then 4, 2 and 1 columns for the rest, so that no more
  // than three extra passes read D. Every column's sums are the same
  // whatever group carries it, so the split cannot change a bit.
  const int32_t whole = m / kGroup;
  const int32_t rest = m % kGroup;
  const int32_t items = whole + (rest >> 2 & 1) + (rest >> 1 & 1) + (rest & 1);
  const int32_t team = std::max(1, std::min(threads, items));
#pragma omp parallel for schedule(static) num_threads(team) if (team > 1)
  for (int32_t t = 0; t < items; ++t) {
    if (t < whole) {
      groupProduct<kGroup>(D, W, rows, list, delta0, static_cast<int64_t>(t) * kGroup, U);
      continue;
    }
    // The tail: item whole + s takes the s-th of the set bits 4, 2, 1 of rest.
    int64_t q0 = static_cast<int64_t>(whole) * kGroup;
    int32_t s = t - whole;
    for (int32_t width = 4; width >= 1; width /= 2) {
      if (!(rest & width)) continue;
      if (s-- > 0) {
        q0 += width;
        continue;
      }
      if (width == 4) groupProduct<4>(D, W, rows, list, delta0, q0, U);
      if (width == 2) groupProduct<2>(D, W, rows, list, delta0, q0, U);
      if (width == 1) groupProduct<1>(D, W, rows, list, delta0, q0, U);
      break;
    }
  }
}

ScratchArray<double> allocateProduct(int32_t n, int32_t m) {
  const std::size_t nm = static_cast<std::size_t>(n) * static_cast<std::size_t>(m);
  ScratchArray<double> U = makeScratch<double>(nm);
  if (U) adviseHugePages(U.get(), nm * sizeof(double));
  return U;
}
