#include "slopemask/slopemask.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/blas.hpp"
#include "common/scratch.hpp"

uint64_t diagonalRow(double c) {
  // 2^64 and beyond do not convert; their row lies past every slice anyway.
  if (!(c >= 1.0) || c >= 18446744073709551616.0) return UINT64_MAX;
  return static_cast<uint64_t>(c) - 1;
}

namespace {

// Appends the selected candidates lo..end-1 of one block column. w holds the
// slice's products for this column (row r at w[r - g]); inPattern, when not
// null, flags the rows the pattern stores and is cleared on the way.
bool selectColumn(const double* w, const double* rj, int64_t g, int64_t lo, int64_t end,
                  uint64_t base, double lambda, uint8_t* inPattern, FreeEntries& list) {
  if (!inPattern) {
    for (int64_t r = lo; r < end; ++r) {
      const double p = w[r - g];
      const double D = p - rj[r];
      if (std::fabs(D) > lambda && !list.append(static_cast<uint32_t>(base + r), D, p))
        return false;
    }
    return true;
  }
  for (int64_t r = lo; r < end; ++r) {
    const double p = w[r - g];
    const double D = p - rj[r];
    // NaN fails the threshold and falls to the pattern, as a non-match should.
    const bool selected = std::fabs(D) > lambda || inPattern[r - g];
    inPattern[r - g] = 0;
    if (selected && !list.append(static_cast<uint32_t>(base + r), D, p)) return false;
  }
  return true;
}

}  // namespace

bool selectFreeEntries(const FreeSetProblem& pb, FreeEntries& list) {
  const int64_t M = pb.M, N = pb.N, K = pb.K;
  if (N == 0 || K == 0) return true;
  const int64_t hMax = std::min(N, kSliceRows);
  ScratchArray<double> W = makeScratch<double>(static_cast<std::size_t>(hMax * K));
  ScratchArray<uint8_t> inPattern = makeScratch<uint8_t>(static_cast<std::size_t>(hMax));
  if (!W || !inPattern) return false;
  std::memset(inPattern.get(), 0, static_cast<std::size_t>(hMax));
  const int64_t ld = std::max<int64_t>(M, 1);

  for (int64_t g = 0; g < N; g += kSliceRows) {
    const int64_t h = std::min(kSliceRows, N - g), end = g + h;
    // W(r - g, j) = sum_k X(k, r) Q(k, j) for the slice's rows.
    denseProduct('T', 'N', h, K, M, pb.X + g * M, ld, pb.Q, ld, W.get(), h);
    for (int64_t j = 0; j < K; ++j) {
      int64_t lo = g;
      if (!pb.wholeColumns) {
        const uint64_t d = diagonalRow(pb.colIndex[j]);
        if (d >= static_cast<uint64_t>(end)) continue;
        lo = std::max(g, static_cast<int64_t>(d));
      }
      // Flag the pattern's rows among the candidates once, rather than
      // searching the column for every row that misses the threshold.
      bool flagged = false;
      for (uint64_t e = pb.patternJc[j]; e < pb.patternJc[j + 1]; ++e) {
        const uint64_t r = pb.patternIr[e];
        if (r >= static_cast<uint64_t>(lo) && r < static_cast<uint64_t>(end)) {
          inPattern[r - g] = 1;
          flagged = true;
        }
      }
      if (!selectColumn(W.get() + j * h, pb.R + j * N, g, lo, end, static_cast<uint64_t>(j * N),
                        pb.lambda, flagged ? inPattern.get() : nullptr, list))
        return false;
    }
  }
  return true;
}
