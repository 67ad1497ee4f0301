#pragma once
// What the kernel tests share: exact comparison, seeded data, and a small
// symmetric positive-definite system in dense and compressed forms.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

using Vec = std::vector<double>;

// The same bits: -0 apart from +0, a NaN equal to the same NaN.
inline bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
inline bool sameBits(const Vec& a, const Vec& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// n values uniform in [-1, 1), the same for the same seed.
inline Vec randomVector(int64_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Vec v(n);
  for (double& x : v) x = u(gen);
  return v;
}

inline double maxAbsDiff(const Vec& a, const Vec& b) {
  double m = 0.0;
  for (size_t i = 0; i < a.size(); ++i) m = std::max(m, std::fabs(a[i] - b[i]));
  return m;
}

// Lanes hold W values per row (element (i, w) at i * W + w): lane w of a
// panel, and the panel of W columns of n values each.
inline Vec lane(const Vec& panel, int W, int w) {
  Vec v(panel.size() / W);
  for (size_t i = 0; i < v.size(); ++i) v[i] = panel[i * W + w];
  return v;
}
inline Vec panelOf(const Vec& columns, int64_t n, int W) {
  Vec p(n * W);
  for (int w = 0; w < W; ++w)
    for (int64_t i = 0; i < n; ++i) p[i * W + w] = columns[i + w * n];
  return p;
}

// A grid Laplacian with random extra couplings and a diagonal shift, so
// that columns hold a few scattered entries: A whole and dense, its upper
// triangle in compressed columns, and its Cholesky factor A = L L', dense
// and as compressed L (diagonal first) and U = L' (diagonal last).
struct SpdSystem {
  int64_t n = 0;
  Vec dense, factor;  // column-major n x n: A and L
  std::vector<uint64_t> aIr, aJc, lIr, lJc, uIr, uJc;
  Vec aV, lV, uV;
};

inline SpdSystem makeSpdSystem(int64_t n, unsigned seed) {
  SpdSystem s;
  s.n = n;
  s.dense.assign(n * n, 0.0);
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  auto at = [&](int64_t i, int64_t j) -> double& { return s.dense[i + j * n]; };
  for (int64_t i = 0; i + 1 < n; ++i) at(i, i + 1) = at(i + 1, i) = -1.0;
  for (int64_t t = 0; t < n; ++t) {
    const int64_t i = gen() % n, j = gen() % n;
    if (i != j) at(i, j) = at(j, i) = 0.5 * u(gen);
  }
  for (int64_t i = 0; i < n; ++i) {
    double off = 0.0;
    for (int64_t j = 0; j < n; ++j)
      if (j != i) off += std::fabs(at(i, j));
    at(i, i) = off + 0.1 + std::fabs(u(gen));
  }
  Vec& l = s.factor;
  l.assign(n * n, 0.0);
  for (int64_t j = 0; j < n; ++j) {
    double d = at(j, j);
    for (int64_t k = 0; k < j; ++k) d -= l[j + k * n] * l[j + k * n];
    l[j + j * n] = std::sqrt(d);
    for (int64_t i = j + 1; i < n; ++i) {
      double v = at(i, j);
      for (int64_t k = 0; k < j; ++k) v -= l[i + k * n] * l[j + k * n];
      l[i + j * n] = v / l[j + j * n];
    }
  }
  s.aJc.push_back(0);
  s.lJc.push_back(0);
  s.uJc.push_back(0);
  for (int64_t j = 0; j < n; ++j) {
    for (int64_t i = 0; i <= j; ++i)
      if (at(i, j) != 0.0) s.aIr.push_back(i), s.aV.push_back(at(i, j));
    for (int64_t i = j; i < n; ++i)
      if (i == j || l[i + j * n] != 0.0) s.lIr.push_back(i), s.lV.push_back(l[i + j * n]);
    for (int64_t i = 0; i <= j; ++i)  // U = L'
      if (i == j || l[j + i * n] != 0.0) s.uIr.push_back(i), s.uV.push_back(l[j + i * n]);
    s.aJc.push_back(s.aIr.size());
    s.lJc.push_back(s.lIr.size());
    s.uJc.push_back(s.uIr.size());
  }
  return s;
}
