#include "colrunprod/colrunprod.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <cstring>
#include <random>
#include <vector>

#include "helpers.hpp"

namespace {

Vec product(const Vec& values, const Vec& positions, int L, const Vec& C, int N, int M) {
  Vec out(static_cast<size_t>(L) * N, 0.0);
  sparseTransposeDenseColumns(out.data(), values.data(), positions.data(),
                              static_cast<int32_t>(positions.size()), L, C.data(), N, M);
  return out;
}

TEST(ColRunProd, HandCheckedProduct) {
  // S is 3 x 3: column 0 holds 2 at row 1; column 2 holds 1 at row 0 and
  // 3 at row 2; column 1 is empty. C is 3 x 2.
  const Vec values = {2, 1, 3}, positions = {2, 7, 9.5};
  const Vec C = {1, 2, 3, 10, 20, 30};
  EXPECT_EQ(product(values, positions, 3, C, 2, 3), (Vec{4, 0, 10, 40, 0, 100}));
}

TEST(ColRunProd, SplitColumnKeepsOnlyItsLaterRun) {
  // Column 1 of S (M = 2) appears, is left for column 0, and comes back:
  // its output row holds the later run alone.
  const Vec values = {1, 2, 4, 8, 16}, positions = {3, 4, 1, 3, 4};
  const Vec C = {1, 1};
  EXPECT_EQ(product(values, positions, 2, C, 1, 2), (Vec{4, 24}));
}

TEST(ColRunProd, RowsWithoutEntriesStayZeroAndOneRowMakesEveryPositionAColumn) {
  // M = 1: position k is column k - 1; columns 0, 2 and 4 are empty.
  const Vec values = {5, 7}, positions = {2, 4};
  const Vec C = {3, -1};
  EXPECT_EQ(product(values, positions, 5, C, 2, 1), (Vec{0, 15, 0, 21, 0, 0, -5, 0, -7, 0}));
  // No entries, or no columns of C.
  EXPECT_EQ(product({}, {}, 3, C, 2, 1), Vec(6, 0.0));
  EXPECT_TRUE(product(values, positions, 5, {}, 0, 1).empty());
}

TEST(ColRunProd, BlocksAndThreadsChangeNoBits) {
  // Every output column equals a walk of its own, for column counts that
  // give blocks of each width and remainders, on one and two threads.
  const int M = 53, L = 29;
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Vec values, positions;
  for (int k = 0; k < M * L; ++k)
    if (gen() % 4 == 0) {
      positions.push_back(k + 1);
      values.push_back(u(gen) * (gen() % 2 ? 1e12 : 1.0));
    }
  // A split run as well.
  positions.push_back(3);
  values.push_back(0.5);
  const int saved = omp_get_max_threads();
  for (int N : {1, 2, 3, 5, 8, 13, 21}) {
    Vec C(static_cast<size_t>(M) * N);
    for (double& x : C) x = u(gen);
    omp_set_num_threads(1);
    const Vec one = product(values, positions, L, C, N, M);
    omp_set_num_threads(2);
    const Vec two = product(values, positions, L, C, N, M);
    EXPECT_TRUE(sameBits(one, two)) << "N " << N;
    for (int j = 0; j < N; ++j) {
      const Vec column(C.begin() + static_cast<size_t>(j) * M,
                       C.begin() + static_cast<size_t>(j + 1) * M);
      const Vec alone = product(values, positions, L, column, 1, M);
      EXPECT_TRUE(std::memcmp(alone.data(), one.data() + static_cast<size_t>(j) * L,
                              L * sizeof(double)) == 0)
          << "N " << N << " column " << j;
    }
  }
  omp_set_num_threads(saved);
}

}  // namespace
