#include "stepcoef/stepcoef.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Out {
  double lin = -1, quad = -1;
  std::vector<double> xs, vs;
};

Out run(const std::vector<double>& X, const std::vector<double>& V, const std::vector<double>& H,
        const std::vector<double>& G, const std::vector<double>& P, const std::vector<double>& Q) {
  Out o;
  const int32_t c = static_cast<int32_t>(P.size()), d = static_cast<int32_t>(Q.size());
  o.xs.assign(c + d, -7.0);
  o.vs.assign(c + d, -7.0);
  stepCoefficients(X.data(), V.data(), H.data(), G.data(), P.data(), Q.data(), c, d, &o.lin,
                   &o.quad, o.xs.data(), o.vs.data());
  return o;
}

TEST(StepCoefficients, StacksDoubledPEntriesBeforeQEntries) {
  const Out o = run({1, 2, 3}, {10, 20, 30}, {1, 0, 0}, {1, 1, 1}, {2}, {1, 3});
  EXPECT_EQ(o.xs, (std::vector<double>{4, 1, 3}));
  EXPECT_EQ(o.vs, (std::vector<double>{40, 10, 30}));
  EXPECT_EQ(o.lin, 80.0);
  EXPECT_EQ(o.quad, 5.0);
}

TEST(StepCoefficients, EmptyListsGiveZeroSums) {
  const Out o = run({1}, {1}, {1}, {1}, {}, {});
  EXPECT_TRUE(o.xs.empty());
  EXPECT_EQ(o.lin, 0.0);
  EXPECT_EQ(o.quad, 0.0);
}

TEST(StepCoefficients, EntryInBothListsWeighsThree) {
  // Fractions truncate: 1.9 is entry 1.
  const Out o = run({5, 6}, {2, 3}, {7, 1}, {0.5, 1}, {1.9}, {1});
  EXPECT_EQ(o.xs, (std::vector<double>{10, 5}));
  EXPECT_EQ(o.vs, (std::vector<double>{4, 2}));
  EXPECT_EQ(o.lin, 0.5 * 4 + 0.5 * 2);
  EXPECT_EQ(o.quad, 0.5 * (7 * 4 + 7 * 2));
}

TEST(StepCoefficients, SumsRunInStackingOrder) {
  // 1e16 + 1 - 1e16 is 0 left to right, but 1 in any order that takes the
  // two large terms first.
  const Out o = run({0, 0, 0}, {0.5e16, 1, -1e16}, {1, 1, 1}, {1, 1, 1}, {1}, {2, 3});
  EXPECT_EQ(o.lin, 0.0);
  EXPECT_EQ(o.quad, 0.0);
  const Out r = run({0, 0, 0}, {0.5e16, 1, -1e16}, {1, 1, 1}, {1, 1, 1}, {1}, {3, 2});
  EXPECT_EQ(r.lin, 1.0);
}

TEST(StepCoefficients, SumsWithoutStoredVectorsAreTheSame) {
  const std::vector<double> X = {1, -2, 3, 0.25}, V = {0.1, 0.7, -3, 9}, H = {2, 3, 5, 7},
                            G = {-1, 0.3, 1e-3, 4}, P = {4, 2}, Q = {1, 3, 3};
  const Out full = run(X, V, H, G, P, Q);
  double lin, quad;
  stepCoefficients(X.data(), V.data(), H.data(), G.data(), P.data(), Q.data(), 2, 3, &lin, &quad,
                   nullptr, nullptr);
  EXPECT_EQ(lin, full.lin);
  EXPECT_EQ(quad, full.quad);
  std::vector<double> vs(5);
  stepCoefficients(X.data(), V.data(), H.data(), G.data(), P.data(), Q.data(), 2, 3, &lin, &quad,
                   nullptr, vs.data());
  EXPECT_EQ(vs, full.vs);
}

}  // namespace
