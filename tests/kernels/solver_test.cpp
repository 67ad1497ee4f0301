// The conjugate-gradient iteration, its lanes and the column loop, on a
// toy operator: the dense product and an exact Cholesky preconditioner.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "helpers.hpp"
#include "solver/columnloop.hpp"
#include "solver/columns.hpp"
#include "solver/pcg.hpp"

namespace {

// z = A p, ascending over the columns of the dense A; panels lane by lane.
struct DenseOperator {
  const SpdSystem& s;
  void apply(double* z, const double* p) const { applyPanel<1>(z, p); }
  template <int W>
  void applyPanel(double* z, const double* p) const {
    const int64_t n = s.n;
    std::fill(z, z + n * W, 0.0);
    for (int64_t j = 0; j < n; ++j)
      for (int64_t i = 0; i < n; ++i)
        for (int w = 0; w < W; ++w) z[i * W + w] += s.dense[i + j * n] * p[j * W + w];
  }
};

// z = (L L')^-1 r with the dense factor: M^-1 = A^-1 up to rounding.
struct CholeskyPreconditioner {
  const SpdSystem& s;
  void apply(double* z, const double* r) const { applyPanel<1>(z, r); }
  template <int W>
  void applyPanel(double* z, const double* r) const {
    const int64_t n = s.n;
    const Vec& l = s.factor;
    for (int64_t i = 0; i < n; ++i)
      for (int w = 0; w < W; ++w) {
        double t = r[i * W + w];
        for (int64_t k = 0; k < i; ++k) t -= l[i + k * n] * z[k * W + w];
        z[i * W + w] = t / l[i + i * n];
      }
    for (int64_t i = n - 1; i >= 0; --i)
      for (int w = 0; w < W; ++w) {
        double t = z[i * W + w];
        for (int64_t k = i + 1; k < n; ++k) t -= l[k + i * n] * z[k * W + w];
        z[i * W + w] = t / l[i + i * n];
      }
  }
};

TEST(PcgSolveColumn, ConvergesToTheDirectSolution) {
  const SpdSystem s = makeSpdSystem(60, 5);
  const int64_t n = s.n;
  const std::vector<double> b = randomVector(n, 6);
  // Reference: the exact factor as preconditioner solves in one pass.
  std::vector<double> want(n, 0.0), r = b, p(n), z(n);
  CholeskyPreconditioner exact{s};
  exact.apply(want.data(), b.data());
  std::vector<double> x(n, 0.0);
  const int32_t passes = pcgSolveColumn(DenseOperator{s}, NoPreconditioner{}, n, x.data(), 500,
                                        1e-13, r.data(), p.data(), z.data());
  EXPECT_GT(passes, 1);
  EXPECT_LT(maxAbsDiff(x, want), 1e-10);
  std::vector<double> xp(n, 0.0);
  r = b;
  EXPECT_EQ(pcgSolveColumn(DenseOperator{s}, exact, n, xp.data(), 500, 1e-10, r.data(), p.data(),
                           z.data()),
            1);
  EXPECT_LT(maxAbsDiff(xp, want), 1e-10);
}

TEST(PcgSolveColumn, KeepsTheStartingPointWithoutWork) {
  const SpdSystem s = makeSpdSystem(20, 7);
  const int64_t n = s.n;
  std::vector<double> x0 = randomVector(n, 8), x = x0, r(n, 0.0), p(n), z(n);
  double relres = -1.0;
  // b = 0: nothing to reduce, relres 0.
  EXPECT_EQ(pcgSolveColumn(DenseOperator{s}, CholeskyPreconditioner{s}, n, x.data(), 100, 1e-6,
                           r.data(), p.data(), z.data(), &relres),
            0);
  EXPECT_EQ(relres, 0.0);
  r[3] = 0.9e-8;  // r'r below the absolute level: never iterated, relres 1
  EXPECT_EQ(pcgSolveColumn(DenseOperator{s}, NoPreconditioner{}, n, x.data(), 100, 1e-6, r.data(),
                           p.data(), z.data(), &relres),
            0);
  EXPECT_EQ(relres, 1.0);
  EXPECT_EQ(x, x0);
  r = randomVector(n, 9);
  relres = -1.0;
  EXPECT_EQ(pcgSolveColumn(DenseOperator{s}, CholeskyPreconditioner{s}, n, x.data(), 0, 1e-6,
                           r.data(), p.data(), z.data(), &relres),
            0);
  EXPECT_EQ(relres, 1.0);
  EXPECT_EQ(x, x0);
  // tol >= 1: exactly one pass whenever the residual shrinks.
  EXPECT_EQ(pcgSolveColumn(DenseOperator{s}, NoPreconditioner{}, n, x.data(), 100, 1.0, r.data(),
                           p.data(), z.data(), &relres),
            1);
  EXPECT_LT(relres, 1.0);
}

// sqrt(r'r) / sqrt(b'b), each sum ascending as the iteration forms it.
double ratioOfNorms(const std::vector<double>& r, const std::vector<double>& b) {
  double rr = 0.0, bb = 0.0;
  for (double v : r) rr += v * v;
  for (double v : b) bb += v * v;
  return std::sqrt(rr) / std::sqrt(bb);
}

TEST(PcgSolveColumn, ReportsPassesAndTheLastResidual) {
  const SpdSystem s = makeSpdSystem(60, 20);
  const int64_t n = s.n;
  const std::vector<double> b = randomVector(n, 21);
  std::vector<double> x(n), r(n), p(n), z(n), Ax(n);
  for (int variant = 0; variant < 2; ++variant) {
    // tol 0 runs every cap to its end; relres is the returned residual's.
    for (int32_t cap : {1, 2, 7}) {
      std::fill(x.begin(), x.end(), 0.0);
      r = b;
      double relres = -1.0;
      const int32_t passes =
          variant == 0 ? pcgSolveColumn(DenseOperator{s}, NoPreconditioner{}, n, x.data(), cap, 0.0,
                                        r.data(), p.data(), z.data(), &relres)
                       : pcgSolveColumn(DenseOperator{s}, CholeskyPreconditioner{s}, n, x.data(),
                                        cap, 0.0, r.data(), p.data(), z.data(), &relres);
      EXPECT_EQ(passes, cap);
      EXPECT_EQ(relres, ratioOfNorms(r, b)) << "cap " << cap << " variant " << variant;
    }
  }
  // Converged: below tol, and close to the true ||b - A x|| / ||b||.
  std::fill(x.begin(), x.end(), 0.0);
  r = b;
  double relres = -1.0;
  const int32_t passes = pcgSolveColumn(DenseOperator{s}, NoPreconditioner{}, n, x.data(), 500,
                                        1e-9, r.data(), p.data(), z.data(), &relres);
  EXPECT_GT(passes, 2);
  EXPECT_LT(relres, 1e-9);
  DenseOperator{s}.apply(Ax.data(), x.data());
  for (int64_t i = 0; i < n; ++i) Ax[i] = b[i] - Ax[i];
  EXPECT_NEAR(relres, ratioOfNorms(Ax, b), 1e-12);
}

struct ZeroOp {
  int64_t n;
  void apply(double* z, const double*) const { std::memset(z, 0, sizeof(double) * n); }
};
struct ZeroPrec {
  int64_t n;
  void apply(double* z, const double*) const { std::memset(z, 0, sizeof(double) * n); }
};

// The operator of s until `good` products have been made, then 0.
struct FailingOp {
  const SpdSystem& s;
  int good;
  mutable int calls = 0;
  void apply(double* z, const double* p) const {
    if (calls++ < good)
      DenseOperator{s}.apply(z, p);
    else
      std::memset(z, 0, sizeof(double) * s.n);
  }
};

TEST(PcgSolveColumn, BreakdownStopsWithTheLastFiniteIterate) {
  const int64_t n = 10;
  const SpdSystem s = makeSpdSystem(n, 10);
  std::vector<double> x0 = randomVector(n, 11), x = x0, r = randomVector(n, 12), p(n), z(n);
  double relres = -1.0;
  // Zero curvature: alpha = rho / 0.
  EXPECT_EQ(pcgSolveColumn(ZeroOp{n}, NoPreconditioner{}, n, x.data(), 50, 1e-8, r.data(), p.data(),
                           z.data(), &relres),
            0);
  EXPECT_EQ(x, x0);
  EXPECT_EQ(relres, 1.0);
  // A preconditioner that returns 0: rho = 0 and alpha = 0 / 0.
  r = randomVector(n, 13);
  pcgSolveColumn(DenseOperator{s}, ZeroPrec{n}, n, x.data(), 50, 1e-8, r.data(), p.data(),
                 z.data());
  EXPECT_EQ(x, x0);
  for (double v : r) EXPECT_TRUE(std::isfinite(v));
  // Breakdown in the third pass: two passes count, and relres is that of
  // the residual they left.
  const std::vector<double> b = randomVector(n, 14);
  r = b;
  EXPECT_EQ(pcgSolveColumn(FailingOp{s, 2}, NoPreconditioner{}, n, x.data(), 50, 0.0, r.data(),
                           p.data(), z.data(), &relres),
            2);
  EXPECT_EQ(relres, ratioOfNorms(r, b));
  EXPECT_LT(relres, 1.0);
}

// Right-hand sides that stop lanes at every point: early (close to the
// leading eigenvector), at once (b = 0, b below the absolute level), at
// the first step (r'r overflows), or at the cap.
Vec awkwardColumns(const SpdSystem& s, int W, unsigned seed) {
  const int64_t n = s.n;
  Vec B = randomVector(n * W, seed), e(n, 1.0), Ae(n);
  for (int step = 0; step < 400; ++step) {
    DenseOperator{s}.apply(Ae.data(), e.data());
    double norm = 0.0;
    for (double v : Ae) norm += v * v;
    norm = std::sqrt(norm);
    for (int64_t i = 0; i < n; ++i) e[i] = Ae[i] / norm;
  }
  const double fill[] = {0.0, 1e-10, 1e200};
  for (int w = 1; w < W && w < 5; ++w)
    for (int64_t i = 0; i < n; ++i) B[i + w * n] = w == 1 ? e[i] : fill[w - 2];
  return B;
}

template <int W, class Preconditioner>
void expectLanesAreSingleColumns(const SpdSystem& s, const Preconditioner& M, int32_t maxIter,
                                 double tol) {
  const int64_t n = s.n;
  const Vec B = awkwardColumns(s, W, 50 + W), X0 = randomVector(n * W, 60 + W);
  Vec x = panelOf(X0, n, W), r = panelOf(B, n, W), p(n * W), z(n * W);
  int32_t passes[W];
  double relres[W];
  pcgSolvePanel<W>(DenseOperator{s}, M, n, x.data(), maxIter, tol, r.data(), p.data(), z.data(),
                   passes, relres);
  for (int w = 0; w < W; ++w) {
    Vec xw(X0.begin() + w * n, X0.begin() + (w + 1) * n),
        rw(B.begin() + w * n, B.begin() + (w + 1) * n);
    Vec pw(n), zw(n);
    double rel;
    const int32_t pass = pcgSolveColumn(DenseOperator{s}, M, n, xw.data(), maxIter, tol, rw.data(),
                                        pw.data(), zw.data(), &rel);
    EXPECT_TRUE(sameBits(lane(x, W, w), xw)) << "W " << W << " lane " << w;
    EXPECT_TRUE(sameBits(lane(r, W, w), rw)) << "W " << W << " lane " << w;
    EXPECT_EQ(passes[w], pass) << "W " << W << " lane " << w;
    EXPECT_TRUE(sameBits(relres[w], rel)) << "W " << W << " lane " << w;
  }
}

TEST(PcgSolvePanel, EveryLaneComputesItsSingleColumnBits) {
  const SpdSystem s = makeSpdSystem(23, 40);
  const CholeskyPreconditioner M{s};
  for (int32_t maxIter : {3, 200}) {
    expectLanesAreSingleColumns<2>(s, NoPreconditioner{}, maxIter, 1e-9);
    expectLanesAreSingleColumns<4>(s, NoPreconditioner{}, maxIter, 1e-9);
    expectLanesAreSingleColumns<8>(s, NoPreconditioner{}, maxIter, 1e-9);
    expectLanesAreSingleColumns<16>(s, NoPreconditioner{}, maxIter, 0.0);
    expectLanesAreSingleColumns<4>(s, M, maxIter, 1e-9);
    expectLanesAreSingleColumns<16>(s, M, maxIter, 1e-12);
  }
}

TEST(PcgSolvePanel, WhatTheStartSaysChangesNoBit) {
  const SpdSystem s = makeSpdSystem(17, 41);
  const int64_t n = s.n;
  constexpr int W = 4;
  // Unit right-hand sides and a solution known to start at 0, told or not.
  Vec B(n * W, 0.0);
  for (int w = 0; w < W; ++w) B[(3 * w + 2) + w * n] = 1.0;
  for (bool precondition : {false, true}) {
    Vec want[2];
    for (bool told : {false, true}) {
      const double nan = std::nan("");
      Vec x(n * W, told ? nan : 0.0), r = panelOf(B, n, W), p(n * W), z(n * W);
      int32_t passes[W];
      double relres[W];
      PanelStart start;
      start.unitResiduals = start.zeroSolution = told;
      if (precondition)
        pcgSolvePanel<W>(DenseOperator{s}, CholeskyPreconditioner{s}, n, x.data(), 50, 1e-10,
                         r.data(), p.data(), z.data(), passes, relres, start);
      else
        pcgSolvePanel<W>(DenseOperator{s}, NoPreconditioner{}, n, x.data(), 50, 1e-10, r.data(),
                         p.data(), z.data(), passes, relres, start);
      want[told] = x;
    }
    EXPECT_TRUE(sameBits(want[1], want[0])) << precondition;
  }
}

// One column the long way: into the positions, solved alone, back out.
struct ColumnReference {
  Vec x;  // the rows asked for, in the caller's numbering
  double passes, relres;
};
ColumnReference solveAlone(const SpdSystem& s, const std::vector<uint64_t>& perm,
                           const std::vector<uint64_t>& invPerm, const ColumnRequest& rq, int64_t j,
                           bool precondition) {
  const int64_t n = s.n;
  Vec r(n, 0.0), x(n, 0.0), p(n), z(n);
  if (rq.canonical) {
    r[invPerm[static_cast<int64_t>(rq.B[j]) - 1]] = 1.0;
  } else {
    for (int64_t i = 0; i < n; ++i) r[i] = rq.B[perm[i] + j * n];
  }
  if (rq.xIn)
    for (int64_t i = 0; i < n; ++i) x[i] = rq.xIn[perm[i] + j * n];
  double relres;
  const int32_t passes =
      precondition ? pcgSolveColumn(DenseOperator{s}, CholeskyPreconditioner{s}, n, x.data(),
                                    rq.maxIter, rq.tol, r.data(), p.data(), z.data(), &relres)
                   : pcgSolveColumn(DenseOperator{s}, NoPreconditioner{}, n, x.data(), rq.maxIter,
                                    rq.tol, r.data(), p.data(), z.data(), &relres);
  ColumnReference out{{}, double(passes), relres};
  const int64_t m = rq.rowSubset ? rq.m : n;
  for (int64_t i = 0; i < m; ++i)
    out.x.push_back(x[invPerm[rq.rowSubset ? static_cast<int64_t>(rq.rowSubset[i]) - 1 : i]]);
  return out;
}

template <int MaxWidth, class Numbering>
void expectLoopSolvesEachColumnAlone(const SpdSystem& s, const std::vector<uint64_t>& perm,
                                     const std::vector<uint64_t>& invPerm, const Numbering& num,
                                     const ColumnRequest& rq, bool precondition, int threads) {
  const ColumnPlan plan = planColumns(rq.n, rq.k, threads, MaxWidth);
  const uint64_t doubles = panelDoubles(rq.n, rq.k, threads, MaxWidth);
  const double nan = std::nan("");
  Vec R(doubles, nan), P(doubles, nan), Z(doubles, nan), XF(doubles, nan);
  const int64_t m = rq.rowSubset ? rq.m : rq.n;
  Vec X(m * rq.k, nan), passes(rq.k, -1.0), relres(rq.k, -1.0);
  const PanelBuffers buf{R.data(), P.data(), Z.data(), XF.data()};
  const ColumnReport report{passes.data(), relres.data()};
  if (precondition)
    solveColumnLoop<MaxWidth>(
        rq, plan, DenseOperator{s}, [&](int) { return CholeskyPreconditioner{s}; }, num, X.data(),
        threads, buf, report);
  else
    solveColumnLoop<MaxWidth>(
        rq, plan, DenseOperator{s}, [](int) { return NoPreconditioner{}; }, num, X.data(), threads,
        buf, report);
  for (int64_t j = 0; j < rq.k; ++j) {
    const ColumnReference want = solveAlone(s, perm, invPerm, rq, j, precondition);
    EXPECT_TRUE(sameBits(Vec(X.begin() + j * m, X.begin() + (j + 1) * m), want.x))
        << "column " << j << " width " << MaxWidth << " canonical " << rq.canonical;
    EXPECT_EQ(passes[j], want.passes) << "column " << j;
    EXPECT_TRUE(sameBits(relres[j], want.relres)) << "column " << j;
  }
}

TEST(ColumnLoop, EachColumnIsItsSolveAloneInTheCallersNumbering) {
  const SpdSystem s = makeSpdSystem(30, 42);
  const int64_t n = s.n, k = 19;  // panels of 16, 2 and 1
  std::vector<uint64_t> identity(n), perm(n), invPerm(n);
  std::iota(identity.begin(), identity.end(), 0);
  perm = identity;
  std::shuffle(perm.begin(), perm.end(), std::mt19937(7));
  for (int64_t i = 0; i < n; ++i) invPerm[perm[i]] = i;
  const Vec B = randomVector(n * k, 43), X0 = randomVector(n * k, 44);
  Vec indices(k), rows = {5, 2, 5, 30};
  for (int64_t j = 0; j < k; ++j) indices[j] = double((7 * j) % n + 1);
  for (int variant = 0; variant < 3; ++variant) {
    ColumnRequest rq;
    rq.n = n;
    rq.k = k;
    rq.maxIter = 40;
    rq.tol = 1e-9;
    rq.canonical = variant == 1;
    rq.B = rq.canonical ? indices.data() : B.data();
    rq.xIn = variant == 2 ? X0.data() : nullptr;
    rq.rowSubset = variant >= 1 ? rows.data() : nullptr;
    rq.m = rq.rowSubset ? int64_t(rows.size()) : 0;
    for (bool precondition : {false, true}) {
      expectLoopSolvesEachColumnAlone<16>(s, identity, identity, IdentityNumbering{}, rq,
                                          precondition, 2);
      const PermutedNumbering permuted{perm.data(), invPerm.data()};
      expectLoopSolvesEachColumnAlone<16>(s, perm, invPerm, permuted, rq, precondition, 3);
      expectLoopSolvesEachColumnAlone<1>(s, perm, invPerm, permuted, rq, precondition, 2);
    }
  }
}

TEST(Panels, CoverEveryColumnOnceInOrder) {
  for (int width : {1, 2, 4, 8, 16})
    for (int64_t k = 0; k <= 40; ++k) {
      int64_t next = 0;
      for (int64_t u = 0; u < panelCount(k, width); ++u) {
        const Panel c = panelAt(u, k, width);
        EXPECT_EQ(c.first, next) << "k " << k << " width " << width;
        EXPECT_TRUE(c.width == width || (c.width < width && (k % width) & c.width));
        next = c.first + c.width;
      }
      EXPECT_EQ(next, k) << "k " << k << " width " << width;
    }
  // 37 columns in panels of 16: 16, 16, 4, 1.
  EXPECT_EQ(panelCount(37, 16), 4);
  EXPECT_EQ(panelAt(2, 37, 16).width, 4);
  EXPECT_EQ(panelAt(3, 37, 16).first, 36);
}

TEST(Panels, WidthKeepsThreadsBusyAndMemoryBounded) {
  EXPECT_EQ(planColumns(1000, 512, 2, kMaxLanes).width, 16);
  EXPECT_EQ(planColumns(1000, 20, 2, kMaxLanes).width, 8);  // two panels of 8, not one of 16
  EXPECT_EQ(planColumns(1000, 3, 3, kMaxLanes).width, 1);
  // 16 lanes would take 256 MB a panel.
  EXPECT_EQ(planColumns(2000000, 512, 1, kMaxLanes).width, 4);
  EXPECT_EQ(planColumns(100000000, 512, 1, kMaxLanes).width, 2);
  // Whole cache lines per thread, and room to align the start.
  EXPECT_GE(panelDoubles(1001, 512, 3, kMaxLanes), uint64_t(3 * 16 * 1001 + 8));
}

}  // namespace
