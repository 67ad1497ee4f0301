#include "gramprod/gramprod.hpp"

#include <algorithm>
#include <cmath>

#include "common/blas.hpp"
#include "common/scratch.hpp"

void gramBlockPair(int64_t t, int64_t nb, int64_t* p, int64_t* q) {
  // H(p): pairs whose column block is at most p.
  auto H = [nb](int64_t c) { return (c + 1) * (2 * nb - c) / 2; };
  int64_t lo = 0, hi = nb - 1, mid = 0;
  for (;;) {
    mid = (lo + hi) / 2;
    if (H(mid) <= t)
      lo = mid + 1;
    else if (t < H(mid) - (nb - mid))
      hi = mid - 1;
    else
      break;
  }
  *p = mid;
  *q = t - H(mid) + nb;
}

bool gramDiagonalBlock(const double* X, double* S, int64_t a, int64_t M, GramEntries& list,
                       double tau, int64_t start) {
  const int64_t ld = std::max<int64_t>(M, 1);
  const double* Xs = X + start * M;
  // Formed in full by dgemm; only the upper triangle is read.
  denseProduct('T', 'N', a, a, M, Xs, ld, Xs, ld, S, a);
  for (int64_t c = 0; c < a; ++c) {
    const double* s = S + c * a;
    const int32_t col = static_cast<int32_t>(start + c);
    for (int64_t r = 0; r < c; ++r) {
      const double v = s[r];
      if (std::fabs(v) > tau && !list.append(static_cast<int32_t>(start + r), col, v)) return false;
    }
    // The diagonal counts once in G but twice in the list plus its transpose.
    const double v = s[c];
    if (std::fabs(v) > tau && !list.append(col, col, v * 0.5)) return false;
  }
  return true;
}

bool gramOffDiagonalBlock(const double* X, double* S, int64_t a, int64_t b, int64_t M,
                          GramEntries& list, double tau, int64_t rowStart, int64_t colStart) {
  const int64_t ld = std::max<int64_t>(M, 1);
  denseProduct('T', 'N', a, b, M, X + rowStart * M, ld, X + colStart * M, ld, S, a);
  for (int64_t c = 0; c < b; ++c) {
    const double* s = S + c * a;
    const int32_t col = static_cast<int32_t>(colStart + c);
    for (int64_t r = 0; r < a; ++r) {
      const double v = s[r];
      if (std::fabs(v) > tau && !list.append(static_cast<int32_t>(rowStart + r), col, v))
        return false;
    }
  }
  return true;
}

int64_t gramMostEntries(int64_t N, int64_t M, double tau) {
  // Without rows every product is 0, which only a negative tau lists; the
  // answer is then known without walking N(N+1)/2 pairs, which for a large
  // N would run for hours inside a call that cannot be interrupted.
  if (M == 0 && !(0.0 > tau)) return 0;
  return N * (N + 1) / 2;
}

bool gramThreshold(const double* X, int64_t N, int64_t M, double tau, GramEntries& list) {
  if (gramMostEntries(N, M, tau) == 0) return true;
  const int64_t nb = (N + kGramBlock - 1) / kGramBlock;
  const int64_t w0 = std::min(N, kGramBlock);
  ScratchArray<double> S = makeScratch<double>(static_cast<std::size_t>(w0 * w0));
  if (!S) return false;
  auto width = [N](int64_t block) { return std::min(kGramBlock, N - kGramBlock * block); };

  const int64_t pairs = nb * (nb + 1) / 2;
  for (int64_t t = 0; t < pairs; ++t) {
    int64_t p, q;
    gramBlockPair(t, nb, &p, &q);
    const bool ok = p == q ? gramDiagonalBlock(X, S.get(), width(p), M, list, tau, kGramBlock * p)
                           : gramOffDiagonalBlock(X, S.get(), width(q), width(p), M, list, tau,
                                                  kGramBlock * q, kGramBlock * p);
    if (!ok) return false;
  }
  return true;
}
