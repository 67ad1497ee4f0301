#include "gramprod/gramprod.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <tuple>
#include <vector>

#include "common/scratch.hpp"

namespace {

using Triple = std::tuple<int32_t, int32_t, double>;

std::vector<Triple> run(const std::vector<double>& X, int64_t M, int64_t N, double tau,
                        int64_t capacity = 1 << 22) {
  GramEntries list;
  EXPECT_TRUE(list.init(capacity));
  EXPECT_TRUE(gramThreshold(X.data(), N, M, tau, list));
  std::vector<Triple> out;
  for (int64_t i = 0; i < list.count(); ++i)
    out.emplace_back(list.row()[i], list.col()[i], list.value()[i]);
  return out;
}

// Small integers keep every entry of G exact whatever the summation order.
std::vector<double> randomX(int64_t M, int64_t N, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> small(-2, 2);
  std::vector<double> X(M * N);
  for (double& v : X) v = small(gen);
  return X;
}

double gram(const std::vector<double>& X, int64_t M, int64_t i, int64_t k) {
  double s = 0;
  for (int64_t m = 0; m < M; ++m) s += X[m + i * M] * X[m + k * M];
  return s;
}

// The listing written out plainly: block pairs column block first, then
// each pair column by column, rows ascending, upper triangle on the diagonal.
std::vector<Triple> reference(const std::vector<double>& X, int64_t M, int64_t N, double tau) {
  const int64_t nb = (N + kGramBlock - 1) / kGramBlock;
  std::vector<Triple> out;
  for (int64_t p = 0; p < nb; ++p)
    for (int64_t q = p; q < nb; ++q)
      for (int64_t c = p * kGramBlock; c < std::min(N, (p + 1) * kGramBlock); ++c)
        for (int64_t r = q * kGramBlock; r < std::min(N, (q + 1) * kGramBlock); ++r) {
          if (p == q && r > c) continue;
          const double v = gram(X, M, r, c);
          if (std::fabs(v) > tau) out.emplace_back(int32_t(r), int32_t(c), r == c ? v * 0.5 : v);
        }
  return out;
}

TEST(GramprodKernel, WorkedExamples) {
  EXPECT_EQ(run({1, 1}, 1, 2, 0), (std::vector<Triple>{{0, 0, 0.5}, {0, 1, 1.0}, {1, 1, 0.5}}));
  EXPECT_EQ(run({1, 0, 0, 2}, 2, 2, 0.5), (std::vector<Triple>{{0, 0, 0.5}, {1, 1, 2.0}}));
}

TEST(GramprodKernel, ThresholdIsStrictAndDiagonalHalvedAfterIt) {
  // G = [4 2; 2 1]: tau 2 drops the tie, keeps 4 as 2 and drops 1.
  EXPECT_EQ(run({2, 1}, 1, 2, 2), (std::vector<Triple>{{0, 0, 2.0}}));
  // Negative tau lists every candidate, zeros included; NaN never.
  EXPECT_EQ(run({1, 0}, 1, 2, -1), (std::vector<Triple>{{0, 0, 0.5}, {0, 1, 0.0}, {1, 1, 0.0}}));
  EXPECT_EQ(run({NAN, 1}, 1, 2, -1), (std::vector<Triple>{{1, 1, 0.5}}));
  EXPECT_TRUE(run({1, 1}, 1, 2, NAN).empty());
}

TEST(GramprodKernel, WalkVisitsEveryPairInOrder) {
  for (int64_t nb = 1; nb <= 40; ++nb) {
    int64_t t = 0;
    for (int64_t p = 0; p < nb; ++p)
      for (int64_t q = p; q < nb; ++q, ++t) {
        int64_t gp = -1, gq = -1;
        gramBlockPair(t, nb, &gp, &gq);
        ASSERT_EQ(gp, p) << "nb " << nb << " t " << t;
        ASSERT_EQ(gq, q) << "nb " << nb << " t " << t;
      }
  }
}

TEST(GramprodKernel, BlockBordersOrderTheList) {
  for (int64_t N : {2047, 2048, 2049, 2 * 2048 + 3}) {
    SCOPED_TRACE(N);
    const int64_t M = 3;
    const std::vector<double> X = randomX(M, N, unsigned(N));
    const std::vector<Triple> got = run(X, M, N, 5);
    EXPECT_EQ(got, reference(X, M, N, 5));
    // Negative tau: the whole triangle, N(N+1)/2 entries.
    EXPECT_EQ(int64_t(run(X, M, N, -1).size()), N * (N + 1) / 2);
  }
  // N = 2049: the last column pairs with block 0 below the diagonal, and
  // its own diagonal entry comes last.
  const std::vector<double> X(2049, 1.0);
  const std::vector<Triple> all = run(X, 1, 2049, 0);
  ASSERT_EQ(all.size(), size_t(2048 * 2049 / 2 + 2048 + 1));
  EXPECT_EQ(all[2048 * 2049 / 2], Triple(2048, 0, 1.0));
  EXPECT_EQ(all[2048 * 2049 / 2 + 2047], Triple(2048, 2047, 1.0));
  EXPECT_EQ(all.back(), Triple(2048, 2048, 0.5));
}

TEST(GramprodKernel, GrowthFromCapacityOneGivesTheSameList) {
  const std::vector<double> X = randomX(4, 300, 9);
  const std::vector<Triple> big = run(X, 4, 300, 3);
  ASSERT_GT(big.size(), 1000u);
  EXPECT_EQ(run(X, 4, 300, 3, 1), big);
  EXPECT_EQ(run(X, 4, 300, 3, -7), big);
}

TEST(GramprodKernel, EmptyShapes) {
  EXPECT_TRUE(run({}, 3, 0, -1).empty());
  // M = 0: G is all zeros.
  EXPECT_EQ(run({}, 0, 2, -1), (std::vector<Triple>{{0, 0, 0.0}, {0, 1, 0.0}, {1, 1, 0.0}}));
}

TEST(GramprodKernel, NoRowsListNothingAtOnceForAnyTauNotBelowZero) {
  // 2^31 - 1 columns would be 2^60 pairs to walk; nothing is read of X.
  for (double tau : {0.0, -0.0, 0.5, 2147483646.0, double(NAN)}) {
    SCOPED_TRACE(tau);
    GramEntries list;
    ASSERT_TRUE(list.init(1));
    EXPECT_TRUE(gramThreshold(nullptr, INT32_MAX, 0, tau, list));
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(gramMostEntries(INT32_MAX, 0, tau), 0);
  }
  EXPECT_EQ(gramMostEntries(5, 0, -1.0), 15);
  EXPECT_EQ(gramMostEntries(5, 3, 0.5), 15);
}

TEST(GramprodKernel, EachFailedAllocationIsReported) {
  const std::vector<double> X = randomX(2, 40, 4);
  const std::vector<Triple> want = run(X, 2, 40, 1);
  // Three initial arrays, the scratch, then three per doubling from 1.
  for (long k = 1; k <= 4 + 3 * 12; ++k) {
    SCOPED_TRACE(k);
    GramEntries list;
    scratch::failCountdown = k;
    bool ok = list.init(1);
    if (ok) ok = gramThreshold(X.data(), 40, 2, 1, list);
    const bool failed = scratch::failCountdown == 0;
    scratch::failCountdown = 0;
    EXPECT_EQ(ok, !failed);
    for (int64_t i = 0; i < list.count(); ++i)
      EXPECT_EQ(Triple(list.row()[i], list.col()[i], list.value()[i]), want[i]);
  }
}

}  // namespace
