#include "colsetprod/colsetprod.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <cstring>
#include <random>
#include <vector>

#include "helpers.hpp"

namespace {

Vec product(const Vec& values, const Vec& X, const Vec& positions, const Vec& map, const Vec& mask,
            int n, int N) {
  Vec out(static_cast<size_t>(n) * N, 0.0);
  symBlockTimesDense(out.data(), values.data(), X.data(), positions.data(),
                     static_cast<int32_t>(positions.size()), map.data(), mask.data(), n, N);
  return out;
}

TEST(ColSetProd, SingleBlockColumnFillsItsRowAndColumn) {
  // n = 4, block row b = 2: entries s1 at row 0, s2 at row 3, sb at row 2.
  const double s1 = 0.1, s2 = 0.7, sb = 3.0;
  const Vec values = {s1, sb, s2}, positions = {1, 3, 4};
  const Vec X = {1.5, 2, 0.3, 4, -1, -2, -3, -4};
  const Vec map = {3}, mask = {0, 0, 1, 0};
  const Vec out = product(values, X, positions, map, mask, 4, 2);
  for (int j = 0; j < 2; ++j) {
    const double* x = X.data() + 4 * j;
    double row = 0.0;
    row = row + x[0] * s1;
    row = row + x[2] * sb;
    row = row + x[3] * s2;
    EXPECT_EQ(out[0 + 4 * j], s1 * x[2]);
    EXPECT_EQ(out[1 + 4 * j], 0.0);
    EXPECT_EQ(out[2 + 4 * j], row);
    EXPECT_EQ(out[3 + 4 * j], s2 * x[2]);
  }
  // Mask values are truncated: 0.5 leaves row 0 ordinary, 1.9 marks it,
  // and a marked row takes no column share.
  EXPECT_TRUE(sameBits(product(values, X, positions, map, {0.5, 0, 1, 0}, 4, 2), out));
  const Vec marked = product(values, X, positions, map, {1.9, 0, 1, 0}, 4, 2);
  EXPECT_EQ(marked[0], 0.0);
  EXPECT_EQ(marked[4], 0.0);
  EXPECT_EQ(marked[3], out[3]);
}

// Two block columns, block rows 1 and 3 of n = 5, with X = 1 everywhere
// but distinct values, so each row's sum names its entries.
struct TwoColumns {
  Vec X = Vec(5, 1.0);
  Vec map = {2, 4, 5};
  Vec mask = {0, 1, 0, 1, 0};
};

TEST(ColSetProd, RunsTakeSuccessiveMapRows) {
  const TwoColumns t;
  // Column 0: rows 0, 1; column 1: rows 2, 3.
  const Vec grouped = product({1, 2, 4, 8}, t.X, {1, 2, 8, 9}, t.map, t.mask, 5, 1);
  EXPECT_EQ(grouped, (Vec{1, 3, 4, 12, 0}));
  // Starting at column 1: row map[0] - 1 receives 0.0 and column 1's sum
  // goes to map[1] - 1, its own row.
  const Vec late = product({4, 8}, t.X, {8, 9}, t.map, t.mask, 5, 1);
  EXPECT_EQ(late, (Vec{0, 0, 4, 12, 0}));
  // Column 0 split into two runs around column 1: the second run takes the
  // next map row, and column 1's sum lands on row map[1] - 1 only by turn.
  const Vec split = product({1, 4, 2}, t.X, {1, 8, 2}, t.map, t.mask, 5, 1);
  EXPECT_EQ(split, (Vec{1, 1, 4, 4, 2}));
}

TEST(ColSetProd, SkippedColumnShiftsLaterSums) {
  // Columns 0 and 2 of three: column 2's sum goes to map[1] - 1, and
  // map[2] - 1 receives nothing. Row 1 holds entries of both columns.
  const Vec X(6, 1.0), map = {1, 3, 5}, mask = {1, 0, 1, 0, 1, 0};
  const Vec out = product({1, 2, 4, 8}, X, {1, 2, 14, 16}, map, mask, 6, 1);
  EXPECT_EQ(out, (Vec{3, 6, 12, 8, 0, 0}));
}

TEST(ColSetProd, NothingListedNothingStored) {
  const Vec X(6, 1.0);
  EXPECT_EQ(product({}, X, {}, {}, Vec(3, 0.0), 3, 2), Vec(6, 0.0));
  EXPECT_TRUE(product({1}, {}, {1}, {1}, {1}, 1, 0).empty());
}

TEST(ColSetProd, BlocksAndThreadsChangeNoBits) {
  // A symmetric matrix of n = 61 given by 9 block columns; every output
  // column equals a walk of its own, on one and two threads, and the result
  // is the dense product up to rounding.
  const int n = 61, K = 9;
  std::mt19937 gen(9);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Vec map, mask(n, 0.0);
  for (int q = 0; q < K; ++q) {
    map.push_back(1 + 7 * q);
    mask[7 * q] = 1.0;
  }
  Vec S(static_cast<size_t>(n) * K, 0.0);
  for (int q = 0; q < K; ++q)
    for (int r = 0; r < n; ++r)
      if (mask[r] == 0.0 && gen() % 3 == 0) S[r + q * n] = u(gen);
  for (int q = 0; q < K; ++q)
    for (int p = 0; p <= q; ++p)
      if (p == q || gen() % 2 == 0) S[(7 * p) + q * n] = S[(7 * q) + p * n] = u(gen);
  Vec values, positions;
  for (int k = 0; k < n * K; ++k)
    if (S[k] != 0.0) {
      positions.push_back(k + 1);
      values.push_back(S[k]);
    }
  // Dense A: column q of S is column and row map[q] - 1 of A.
  Vec A(static_cast<size_t>(n) * n, 0.0);
  for (int q = 0; q < K; ++q)
    for (int r = 0; r < n; ++r) {
      const int b = static_cast<int>(map[q]) - 1;
      A[r + b * n] = S[r + q * n];
      A[b + r * n] = S[r + q * n];
    }
  const int saved = omp_get_max_threads();
  for (int N : {1, 2, 3, 4, 7, 10}) {
    Vec X(static_cast<size_t>(n) * N);
    for (double& x : X) x = u(gen);
    omp_set_num_threads(1);
    const Vec one = product(values, X, positions, map, mask, n, N);
    omp_set_num_threads(2);
    const Vec two = product(values, X, positions, map, mask, n, N);
    EXPECT_TRUE(sameBits(one, two)) << "N " << N;
    for (int j = 0; j < N; ++j) {
      const Vec column(X.begin() + static_cast<size_t>(j) * n,
                       X.begin() + static_cast<size_t>(j + 1) * n);
      const Vec alone = product(values, column, positions, map, mask, n, 1);
      EXPECT_TRUE(std::memcmp(alone.data(), one.data() + static_cast<size_t>(j) * n,
                              n * sizeof(double)) == 0)
          << "N " << N << " column " << j;
      for (int r = 0; r < n; ++r) {
        double want = 0.0;
        for (int c = 0; c < n; ++c) want += A[r + c * n] * column[c];
        ASSERT_NEAR(one[r + j * n], want, 1e-12) << "row " << r << " column " << j;
      }
    }
  }
  omp_set_num_threads(saved);
}

TEST(ColSetProd, ColumnChangesCountFromColumnZero) {
  EXPECT_EQ(columnChanges(nullptr, 0, 3), 0);
  EXPECT_EQ(columnChanges(Vec{1, 2, 4, 7}.data(), 4, 3), 2);
  EXPECT_EQ(columnChanges(Vec{4, 5}.data(), 2, 3), 1);
  EXPECT_EQ(columnChanges(Vec{1, 4, 2}.data(), 3, 3), 2);
}

}  // namespace
