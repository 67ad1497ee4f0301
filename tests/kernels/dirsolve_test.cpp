#include "dirsolve/dirsolve.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "common/scratch.hpp"
#include "dirsolve/panels.hpp"
#include "helpers.hpp"

namespace {

// The shared system with the reciprocal diagonals its factors take here.
struct TestSystem : SpdSystem {
  Vec lRecip, uRecip;
  SparseColumns A() const { return {aIr.data(), aJc.data(), aV.data()}; }
  Factor L() const { return {{lIr.data(), lJc.data(), lV.data()}, lRecip.data()}; }
  Factor U() const { return {{uIr.data(), uJc.data(), uV.data()}, uRecip.data()}; }
};

TestSystem makeSystem(int64_t n, unsigned seed) {
  TestSystem s{makeSpdSystem(n, seed), Vec(n), Vec(n)};
  reciprocalDiagonal(s.lRecip.data(), n, s.L().m, true);
  reciprocalDiagonal(s.uRecip.data(), n, s.U().m, false);
  return s;
}

TEST(SymUpperProduct, MatchesDenseProduct) {
  const TestSystem s = makeSystem(40, 1);
  const std::vector<double> p = randomVector(s.n, 2);
  std::vector<double> q(s.n, 7.0), want(s.n, 0.0);
  for (int64_t j = 0; j < s.n; ++j)
    for (int64_t i = 0; i < s.n; ++i) want[i] += s.dense[i + j * s.n] * p[j];
  symUpperProduct(q.data(), p.data(), s.n, s.A());
  EXPECT_LT(maxAbsDiff(q, want), 1e-12);
}

TEST(TriangularSolves, InvertTheFactorInPlaceAndApart) {
  const TestSystem s = makeSystem(35, 3);
  const int64_t n = s.n;
  const std::vector<double> r = randomVector(n, 4);
  // L z = r checked by multiplying back.
  std::vector<double> z(n), zInPlace = r, zUpper(n);
  forwardSolveLower(z.data(), r.data(), n, s.L());
  forwardSolveLower(zInPlace.data(), zInPlace.data(), n, s.L());
  EXPECT_EQ(z, zInPlace);
  forwardSolveUpperT(zUpper.data(), r.data(), n, s.U());
  EXPECT_LT(maxAbsDiff(z, zUpper), 1e-12);
  std::vector<double> back(n, 0.0);
  for (int64_t j = 0; j < n; ++j)
    for (int64_t e = s.lJc[j]; e < static_cast<int64_t>(s.lJc[j + 1]); ++e)
      back[s.lIr[e]] += s.lV[e] * z[j];
  EXPECT_LT(maxAbsDiff(back, r), 1e-12);
  // L' y = z, in place as the preconditioner calls it.
  std::vector<double> y = z;
  backwardSolveLowerT(y.data(), y.data(), n, s.L());
  std::vector<double> check(n, 0.0);
  for (int64_t j = 0; j < n; ++j)
    for (int64_t e = s.lJc[j]; e < static_cast<int64_t>(s.lJc[j + 1]); ++e)
      check[j] += s.lV[e] * y[s.lIr[e]];
  EXPECT_LT(maxAbsDiff(check, z), 1e-12);
}

TEST(LayoutChecks, NameTheFirstBrokenColumn) {
  // Columns: {0}, {0,1}, {2}: a valid upper triangle.
  const uint64_t upIr[] = {0, 0, 1, 2}, upJc[] = {0, 1, 3, 4};
  EXPECT_EQ(firstBadUpperColumn(3, upIr, upJc), -1);
  EXPECT_EQ(firstBadLowerColumn(3, upIr, upJc), 1);
  const uint64_t noDiagIr[] = {0, 0, 2}, noDiagJc[] = {0, 1, 2, 3};  // column 1 holds row 0 only
  EXPECT_EQ(firstBadUpperColumn(3, noDiagIr, noDiagJc), 1);
  const uint64_t emptyJc[] = {0, 1, 1, 2}, emptyIr[] = {0, 2};
  EXPECT_EQ(firstBadUpperColumn(3, emptyIr, emptyJc), 1);
  EXPECT_EQ(firstBadLowerColumn(3, emptyIr, emptyJc), 1);
  // Lower: {0,2}, {1}, {2} valid; a row above the diagonal breaks it.
  const uint64_t loIr[] = {0, 2, 1, 2}, loJc[] = {0, 2, 3, 4};
  EXPECT_EQ(firstBadLowerColumn(3, loIr, loJc), -1);
  const uint64_t aboveIr[] = {0, 1, 0, 2}, aboveJc[] = {0, 1, 3, 4};
  EXPECT_EQ(firstBadLowerColumn(3, aboveIr, aboveJc), 1);
}

DirsolveProblem problemFor(const TestSystem& s, const std::vector<double>& B, int64_t k) {
  DirsolveProblem pb;
  pb.request.n = s.n;
  pb.request.k = k;
  pb.A = s.A();
  pb.request.B = B.data();
  pb.request.maxIter = 200;
  pb.request.tol = 1e-9;
  return pb;
}

std::vector<double> solve(const DirsolveProblem& pb, int threads,
                          std::vector<double>* passes = nullptr,
                          std::vector<double>* relres = nullptr) {
  const int64_t rows = pb.request.rowSubset ? pb.request.m : pb.request.n;
  // Scratch full of NaN, so that nothing left unwritten goes unnoticed.
  const double nan = std::nan("");
  std::vector<double> X(rows * pb.request.k, nan), R(dirsolveScratch(pb, threads), nan),
      P(R.size(), nan), Z(R.size(), nan), XF(R.size(), nan);
  ColumnReport report;
  if (passes) passes->assign(pb.request.k, -1.0), report.passes = passes->data();
  if (relres) relres->assign(pb.request.k, -1.0), report.relres = relres->data();
  solveColumns(pb, X.data(), threads, {R.data(), P.data(), Z.data(), XF.data()}, report);
  return X;
}

// The kernels and the iteration as plain scalar loops, in the order of
// operations the module promises; panels must reproduce them bit for bit.
namespace ref {

void symUpper(double* q, const double* p, const TestSystem& s) {
  std::fill(q, q + s.n, 0.0);
  for (int64_t c = 0; c < s.n; ++c) {
    double sum = 0.0;
    const uint64_t d = s.aJc[c + 1] - 1;
    for (uint64_t e = s.aJc[c]; e < d; ++e) {
      const uint64_t i = s.aIr[e];
      q[i] = s.aV[e] * p[c] + q[i];
      sum = sum + s.aV[e] * p[i];
    }
    q[c] = (p[s.aIr[d]] * s.aV[d] + sum) + q[c];
  }
}

void forwardLower(double* z, const double* r, const TestSystem& s) {
  std::copy(r, r + s.n, z);
  for (int64_t i = 0; i < s.n; ++i) {
    const double t = s.lRecip[i] * z[i];
    for (uint64_t e = s.lJc[i] + 1; e < s.lJc[i + 1]; ++e) z[s.lIr[e]] = z[s.lIr[e]] - t * s.lV[e];
    z[i] = t;
  }
}

void forwardUpperT(double* z, const double* r, const TestSystem& s) {
  for (int64_t i = 0; i < s.n; ++i) {
    double sum = r[i];
    for (uint64_t e = s.uJc[i]; e + 1 < s.uJc[i + 1]; ++e) sum = sum - z[s.uIr[e]] * s.uV[e];
    z[i] = sum * s.uRecip[i];
  }
}

void backwardLowerT(double* z, const double* y, const TestSystem& s) {
  for (int64_t c = s.n - 1; c >= 0; --c) {
    double sum = y[c];
    for (uint64_t e = s.lJc[c] + 1; e < s.lJc[c + 1]; ++e) sum = sum - z[s.lIr[e]] * s.lV[e];
    z[c] = s.lRecip[c] * sum;
  }
}

double dot(const std::vector<double>& a, const std::vector<double>& b) {
  double acc = 0.0;
  for (size_t i = 0; i < a.size(); ++i) acc += a[i] * b[i];
  return acc;
}

// 0: no preconditioner; 1: through L alone; 2: forward through U^T.
struct Outcome {
  std::vector<double> x;
  double passes, relres;
};
Outcome solve(const TestSystem& s, int variant, std::vector<double> r, std::vector<double> x,
              int32_t maxIter, double tol) {
  const int64_t n = s.n;
  std::vector<double> p(n), z(n), y(n);
  auto precondition = [&] {
    if (variant == 2)
      forwardUpperT(y.data(), r.data(), s);
    else
      forwardLower(y.data(), r.data(), s);
    backwardLowerT(z.data(), y.data(), s);
  };
  const double delta0 = dot(r, r);
  double delta = delta0;
  int32_t passes = 0;
  auto done = [&] {
    return Outcome{x, double(passes), delta0 == 0.0 ? 0.0 : std::sqrt(delta) / std::sqrt(delta0)};
  };
  if (1e-16 > delta0 || maxIter <= 0) return done();
  double rho = delta0;
  if (variant > 0) {
    precondition();
    p = z;
    rho = dot(r, z);
  } else {
    p = r;
  }
  const double eps = (tol * tol) * delta0;
  for (int32_t pass = 1;; ++pass) {
    symUpper(z.data(), p.data(), s);
    const double alpha = rho / dot(p, z);
    if (!std::isfinite(alpha)) return done();
    double acc = 0.0;
    for (int64_t i = 0; i < n; ++i) {
      x[i] = alpha * p[i] + x[i];
      r[i] = r[i] - alpha * z[i];
      acc += r[i] * r[i];
    }
    passes = pass;
    delta = acc;
    if (eps > acc || pass >= maxIter) return done();
    if (variant > 0) {
      precondition();
      acc = dot(r, z);
    }
    const double beta = acc / rho;
    rho = acc;
    if (!std::isfinite(beta)) return done();
    for (int64_t i = 0; i < n; ++i) p[i] = beta * p[i] + (variant > 0 ? z[i] : r[i]);
  }
}

}  // namespace ref

template <int W>
void expectPanelKernelsMatchScalar(const TestSystem& s) {
  const int64_t n = s.n;
  std::vector<double> in(n * W);
  for (int w = 0; w < W; ++w) {
    const std::vector<double> v = randomVector(n, 40 + w);
    for (int64_t i = 0; i < n; ++i) in[i * W + w] = v[i];
  }
  const Factor L = s.L(), U = s.U();
  std::vector<double> out(n * W, 7.0), inPlace = in, want(n);
  auto check = [&](const char* what, const std::vector<double>& got,
                   void (*scalar)(double*, const double*, const TestSystem&)) {
    for (int w = 0; w < W; ++w) {
      const std::vector<double> x = lane(in, W, w);
      scalar(want.data(), x.data(), s);
      EXPECT_TRUE(sameBits(lane(got, W, w), want)) << what << ", W " << W << ", lane " << w;
    }
  };
  dirsolvepanels::symUpperProductPanel<W>(out.data(), in.data(), n, s.A());
  check("product", out, ref::symUpper);
  dirsolvepanels::forwardSolveLowerPanel<W>(out.data(), in.data(), n, L);
  check("forward L", out, ref::forwardLower);
  dirsolvepanels::forwardSolveLowerPanel<W>(inPlace.data(), inPlace.data(), n, L);
  check("forward L in place", inPlace, ref::forwardLower);
  dirsolvepanels::forwardSolveUpperTPanel<W>(out.data(), in.data(), n, U);
  check("forward U^T", out, ref::forwardUpperT);
  inPlace = in;
  dirsolvepanels::backwardSolveLowerTPanel<W>(inPlace.data(), inPlace.data(), n, L);
  check("backward L^T in place", inPlace, ref::backwardLowerT);
}

TEST(PanelKernels, EveryLaneComputesTheScalarBits) {
  const TestSystem s = makeSystem(41, 30);
  expectPanelKernelsMatchScalar<1>(s);
  expectPanelKernelsMatchScalar<2>(s);
  expectPanelKernelsMatchScalar<8>(s);
  expectPanelKernelsMatchScalar<16>(s);
}

TEST(SolveColumns, PanelsGiveEachColumnItsScalarBits) {
  const TestSystem s = makeSystem(45, 18);
  const int64_t n = s.n, k = 37;  // panels of 16, 16, 4 and 1
  std::vector<double> B = randomVector(n * k, 19);
  // Close to the leading eigenvector (by power steps): plain conjugate
  // gradients stop within a pass or two while the other lanes run on.
  std::vector<double> e(n, 1.0), Ae(n);
  for (int step = 0; step < 400; ++step) {
    ref::symUpper(Ae.data(), e.data(), s);
    const double norm = std::sqrt(ref::dot(Ae, Ae));
    for (int64_t i = 0; i < n; ++i) e[i] = Ae[i] / norm;
  }
  for (int64_t i = 0; i < n; ++i) {
    B[i + 1 * n] = e[i];
    B[i + 2 * n] = 0.0;     // no pass at all, relres 0
    B[i + 20 * n] = 1e-10;  // below the absolute level, relres 1
    B[i + 33 * n] = 1e200;  // r'r overflows: the first step is not finite
  }
  const Factor L = s.L(), U = s.U();
  for (int variant = 0; variant < 3; ++variant) {
    DirsolveProblem pb = problemFor(s, B, k);
    pb.request.tol = 1e-7;
    if (variant >= 1) pb.L = &L;
    if (variant == 2) pb.U = &U;
    std::vector<double> first;
    for (bool wide : {true, false})
      for (int threads = 1; threads <= 3; ++threads) {
        pb.wideVectors = wide;
        std::vector<double> passes, relres;
        const std::vector<double> X = solve(pb, threads, &passes, &relres);
        if (first.empty()) {
          first = X;
          for (int64_t j = 0; j < k; ++j) {
            const ref::Outcome want = ref::solve(
                s, variant, std::vector<double>(B.begin() + j * n, B.begin() + (j + 1) * n),
                std::vector<double>(n, 0.0), pb.request.maxIter, pb.request.tol);
            EXPECT_TRUE(
                sameBits(std::vector<double>(X.begin() + j * n, X.begin() + (j + 1) * n), want.x))
                << "column " << j << " variant " << variant;
            EXPECT_TRUE(sameBits(passes[j], want.passes)) << "column " << j;
            EXPECT_TRUE(sameBits(relres[j], want.relres)) << "column " << j;
          }
          EXPECT_EQ(passes[2], 0.0);
          EXPECT_EQ(relres[2], 0.0);
          EXPECT_EQ(relres[20], 1.0);
          EXPECT_EQ(passes[33], 0.0);
          if (variant == 0) {
            EXPECT_LE(passes[1], 2.0);
            EXPECT_GT(passes[0], 5.0);
          }
        } else {
          EXPECT_TRUE(sameBits(X, first))
              << "variant " << variant << " wide " << wide << " threads " << threads;
        }
      }
    // Without the report the same bits.
    EXPECT_TRUE(sameBits(solve(pb, 2), first));
  }
}

TEST(SolveColumns, PanelsWithoutAPassReturnTheirStart) {
  const TestSystem s = makeSystem(20, 24);
  const int64_t n = s.n, k = 18;
  const Factor L = s.L(), U = s.U();
  std::vector<double> idx(k);
  for (int64_t j = 0; j < k; ++j) idx[j] = 1 + j % n;
  std::vector<double> zeroB(n * k, 0.0);
  for (bool canonical : {true, false}) {
    DirsolveProblem pb = problemFor(s, canonical ? idx : zeroB, k);
    pb.request.canonical = canonical;
    pb.L = &L;
    pb.U = &U;
    if (canonical) pb.request.maxIter = 0;  // every lane stops before its first pass
    std::vector<double> passes, relres;
    const std::vector<double> X = solve(pb, 2, &passes, &relres);
    for (double v : X) EXPECT_TRUE(sameBits(v, 0.0));
    for (int64_t j = 0; j < k; ++j) {
      EXPECT_EQ(passes[j], 0.0);
      EXPECT_EQ(relres[j], canonical ? 1.0 : 0.0);
    }
  }
}

TEST(SolveColumns, StartingPointsCappedPassesAndRowsInPanels) {
  const TestSystem s = makeSystem(38, 21);
  const int64_t n = s.n, k = 19;
  const std::vector<double> B = randomVector(n * k, 22), x0 = randomVector(n * k, 23);
  const std::vector<double> rows = {7, 1, 38, 7};
  const Factor L = s.L(), U = s.U();
  DirsolveProblem pb = problemFor(s, B, k);
  pb.L = &L;
  pb.U = &U;
  pb.request.xIn = x0.data();
  pb.request.rowSubset = rows.data();
  pb.request.m = 4;
  pb.request.tol = 0.0;  // every column runs to the cap
  pb.request.maxIter = 3;
  for (bool wide : {true, false}) {
    pb.wideVectors = wide;
    std::vector<double> passes;
    const std::vector<double> X = solve(pb, 2, &passes);
    for (int64_t j = 0; j < k; ++j) {
      const ref::Outcome want =
          ref::solve(s, 2, std::vector<double>(B.begin() + j * n, B.begin() + (j + 1) * n),
                     std::vector<double>(x0.begin() + j * n, x0.begin() + (j + 1) * n), 3, 0.0);
      EXPECT_EQ(passes[j], 3.0);
      for (int64_t i = 0; i < 4; ++i)
        EXPECT_TRUE(sameBits(X[j * 4 + i], want.x[static_cast<int64_t>(rows[i]) - 1]))
            << "column " << j << " row " << i << " wide " << wide;
    }
  }
}

TEST(SolveColumns, CanonicalRowSubsetAndStartingPoint) {
  const TestSystem s = makeSystem(30, 16);
  const int64_t n = s.n;
  const Factor L = s.L();
  // Canonical indices 4.9 and 1 are the unit vectors e4 and e1; 19 of
  // them fill panels of 16, 2 and 1.
  const int64_t k = 19;
  std::vector<double> idx = {4.9, 1.0}, unit(n * k, 0.0);
  for (int64_t j = 2; j < k; ++j) idx.push_back(double((7 * j) % n + 1));
  for (int64_t j = 0; j < k; ++j) unit[j * n + static_cast<int64_t>(idx[j]) - 1] = 1.0;
  DirsolveProblem canon = problemFor(s, idx, k);
  canon.request.canonical = true;
  canon.L = &L;
  DirsolveProblem dense = problemFor(s, unit, k);
  dense.L = &L;
  std::vector<double> passes, relres, canonPasses, canonRelres;
  const std::vector<double> full = solve(dense, 2, &passes, &relres);
  EXPECT_EQ(solve(canon, 2, &canonPasses, &canonRelres), full);
  EXPECT_EQ(canonPasses, passes);
  EXPECT_TRUE(sameBits(canonRelres, relres));
  canon.L = nullptr;  // plain: r'r is also the first rho
  dense.L = nullptr;
  EXPECT_EQ(solve(canon, 1), solve(dense, 3));
  canon.L = &L;
  dense.L = &L;
  // Without memory to order the columns by index, the same bits.
  scratch::failCountdown = 1;
  EXPECT_EQ(solve(canon, 2), full);
  scratch::failCountdown = 0;
  // A factor with an infinite value: the leading rows are solved, not
  // assumed 0 (NaN where the full solve has NaN), in both forward forms.
  TestSystem bad = s;
  bad.lV[bad.lJc[1]] = INFINITY;  // column 1's diagonal: reciprocal 0
  bad.lRecip[1] = 0.0;
  bad.uV[bad.uJc[3]] = -INFINITY;  // a row 0 entry of U
  const Factor badL = bad.L(), badU = bad.U();
  for (const Factor* U : {static_cast<const Factor*>(nullptr), &badU}) {
    canon.L = dense.L = &badL;
    canon.U = dense.U = U;
    canon.A = dense.A = bad.A();
    EXPECT_TRUE(sameBits(solve(canon, 2), solve(dense, 1))) << (U ? "U" : "L");
  }
  canon.L = dense.L = &L;
  canon.U = dense.U = nullptr;

  const std::vector<double> rows = {5, 2, 5};
  dense.request.rowSubset = rows.data();
  dense.request.m = 3;
  const std::vector<double> sub = solve(dense, 2);
  for (int64_t j = 0; j < k; ++j)
    for (int64_t i = 0; i < 3; ++i)
      EXPECT_EQ(sub[i + 3 * j], full[static_cast<int64_t>(rows[i]) - 1 + j * n]);

  // Starting from x0 adds the estimate of A^-1 b to x0.
  dense.request.rowSubset = nullptr;
  const std::vector<double> x0 = randomVector(n * k, 17);
  dense.request.xIn = x0.data();
  const std::vector<double> shifted = solve(dense, 1);
  for (int64_t i = 0; i < n * k; ++i) EXPECT_NEAR(shifted[i], x0[i] + full[i], 1e-9);
}

}  // namespace
