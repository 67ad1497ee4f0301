#include "thresh/thresh.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// One entry with D = 1, so u = X - G and T = lambda.
double step(double lambda, double X, double mu, double G, double D = 1.0) {
  double out = 0.0;
  const double pos = 1.0;
  softThresholdStep(&out, lambda, &D, &X, &G, mu, &pos, 1);
  return out;
}

TEST(SoftThresholdStep, ShrinksTowardZeroByT) {
  for (double X : {-3.0, -0.5, 0.0, 0.25, 2.0}) {
    for (double G = -4.0; G <= 4.0; G += 0.125) {
      const double u = X - G, T = 0.75;
      const double shrunk = std::copysign(std::max(std::fabs(u) - T, 0.0), u);
      EXPECT_EQ(step(T, X, 0.0, G), shrunk - X) << X << " " << G;
    }
  }
}

TEST(SoftThresholdStep, BordersAndMarginBandGiveZero) {
  // u = 2 - 0.5 * 2 = 1, T = 0.5 * 0.5 = 0.25; borders at +-(mu + T).
  EXPECT_EQ(step(0.5, 2.0, 0.75, 2.0, 0.5), -2.0);
  EXPECT_EQ(step(0.5, 0.0, 0.75, -2.0, 0.5), 0.0);  // u = 1 too
  EXPECT_EQ(step(0.5, -2.0, 0.75, -2.0, 0.5), 2.0);  // u = -1
  // T < |u| <= mu + T: zero, though |u| exceeds the amount removed.
  EXPECT_EQ(step(0.25, 3.0, 1.0, 2.0), -3.0);
  // Just outside the band only T is subtracted.
  EXPECT_EQ(step(0.25, 3.0, 0.5, 1.0), 1.75 - 3.0);
  EXPECT_EQ(step(0.25, -3.0, 0.5, -1.0), -1.75 + 3.0);
}

TEST(SoftThresholdStep, UnchangedValueStoresZero) {
  // u - T equals X exactly.
  EXPECT_TRUE(!std::signbit(step(0.5, 1.0, 0.0, -0.5)) && step(0.5, 1.0, 0.0, -0.5) == 0.0);
}

TEST(SoftThresholdStep, NaNReachesTheResult) {
  EXPECT_TRUE(std::isnan(step(0.5, kNaN, 0.0, 1.0)));
  EXPECT_TRUE(std::isnan(step(0.5, 1.0, 0.0, kNaN)));
  EXPECT_TRUE(std::isnan(step(0.5, 1.0, 0.0, 1.0, kNaN)));
  EXPECT_TRUE(std::isnan(step(kNaN, 1.0, 0.0, 1.0)));
  // The unselected candidate times 0 still enters: infinite u gives NaN.
  EXPECT_TRUE(std::isnan(step(0.5, kInf, 0.0, 1.0)));
  // A NaN margin fails both tests: the new value is 0.
  EXPECT_EQ(step(0.5, 4.0, kNaN, 1.0), -4.0);
}

TEST(SoftThresholdStep, NegativeThresholdAddsBothCandidates) {
  // mu + T = -1 < 0 and |u| = 0.5 < 1: both tests hold.
  const double u = 0.5, T = 1.0;
  EXPECT_EQ(step(T, 0.5, -2.0, 0.0), ((T + u) + (u - T)) - 0.5);
}

TEST(SoftThresholdStep, WritesListedPositionsOnly) {
  const std::vector<double> X = {1, 2, 3, 4, 5}, G = {3, 3, 3, 3, 3}, D = {1, 1, 1, 1, 1};
  const std::vector<double> pos = {4.9, 2, 4};  // 4.9 is 4; repeats store the same value
  std::vector<double> out(5, 42.0);
  softThresholdStep(out.data(), 0.5, D.data(), X.data(), G.data(), 0.0, pos.data(), 3);
  EXPECT_EQ(out, (std::vector<double>{42, -2.5, 42, -3.5, 42}));
  // count 0 touches nothing.
  softThresholdStep(out.data(), 0.5, D.data(), X.data(), G.data(), 0.0, pos.data(), 0);
  EXPECT_EQ(out[0], 42.0);
}

TEST(SoftThresholdStep, SameBitsOnOneAndTwoThreads) {
  const int n = 200000, count = 150000;
  std::mt19937 gen(3);
  std::normal_distribution<double> N;
  std::vector<double> X(n), G(n), D(n), pos(count);
  for (int i = 0; i < n; ++i) {
    X[i] = N(gen);
    G[i] = N(gen);
    D[i] = std::fabs(N(gen));
  }
  std::uniform_int_distribution<int> P(1, n);
  for (double& p : pos) p = P(gen);
  const std::vector<double> X0 = X, G0 = G, D0 = D, pos0 = pos;
  std::vector<double> one(n, 0.0), two(n, 0.0);
  const int saved = omp_get_max_threads();
  omp_set_num_threads(1);
  softThresholdStep(one.data(), 0.1, D.data(), X.data(), G.data(), 0.02, pos.data(), count);
  omp_set_num_threads(2);
  softThresholdStep(two.data(), 0.1, D.data(), X.data(), G.data(), 0.02, pos.data(), count);
  omp_set_num_threads(saved);
  EXPECT_EQ(std::memcmp(one.data(), two.data(), n * sizeof(double)), 0);
  EXPECT_EQ(X, X0);
  EXPECT_EQ(G, G0);
  EXPECT_EQ(D, D0);
  EXPECT_EQ(pos, pos0);
}

}  // namespace
