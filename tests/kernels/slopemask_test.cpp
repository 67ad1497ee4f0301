#include "slopemask/slopemask.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "common/scratch.hpp"

namespace {

struct Pattern {
  std::vector<uint64_t> Ir;
  std::vector<uint64_t> Jc;
};

// Column j stores rows[j], in the order given.
Pattern makePattern(const std::vector<std::vector<uint64_t>>& rows) {
  Pattern p;
  p.Jc.push_back(0);
  for (const auto& col : rows) {
    p.Ir.insert(p.Ir.end(), col.begin(), col.end());
    p.Jc.push_back(p.Ir.size());
  }
  return p;
}

struct Block {
  int64_t M, N, K;
  std::vector<double> X, Q, R, colIndex;
  Pattern pattern;
};

// Small integers keep every product exact, so any summation order gives
// the same bits and the reference below may compare exactly.
Block randomBlock(int64_t M, int64_t N, int64_t K, unsigned seed, int patternPerColumn) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> small(-3, 3);
  Block b{M, N, K, {}, {}, {}, {}, {}};
  b.X.resize(M * N);
  b.Q.resize(M * K);
  b.R.resize(N * K);
  for (double& v : b.X) v = small(gen);
  for (double& v : b.Q) v = small(gen);
  for (double& v : b.R) v = small(gen);
  std::uniform_int_distribution<int64_t> row(0, N - 1), col(1, N);
  std::vector<std::vector<uint64_t>> rows(K);
  for (int64_t j = 0; j < K; ++j) {
    for (int e = 0; e < patternPerColumn; ++e) rows[j].push_back(row(gen));
    b.colIndex.push_back(static_cast<double>(col(gen)));
  }
  b.pattern = makePattern(rows);
  return b;
}

struct Result {
  std::vector<uint32_t> index;
  std::vector<double> gradient, product;
};

FreeSetProblem problemOf(const Block& b, double lambda, int32_t wholeColumns) {
  FreeSetProblem pb;
  pb.X = b.X.data();
  pb.Q = b.Q.data();
  pb.R = b.R.data();
  pb.patternIr = b.pattern.Ir.data();
  pb.patternJc = b.pattern.Jc.data();
  pb.colIndex = b.colIndex.data();
  pb.M = b.M;
  pb.N = b.N;
  pb.K = b.K;
  pb.lambda = lambda;
  pb.wholeColumns = wholeColumns != 0;
  return pb;
}

Result run(const Block& b, double lambda, int32_t wholeColumns, int64_t capacity = 1 << 20) {
  FreeEntries list;
  EXPECT_TRUE(list.init(capacity));
  EXPECT_TRUE(selectFreeEntries(problemOf(b, lambda, wholeColumns), list));
  const int64_t n = list.count();
  return Result{{list.linearIndex(), list.linearIndex() + n},
                {list.gradient(), list.gradient() + n},
                {list.product(), list.product() + n}};
}

// The selection written out plainly: slice, column, row ascending.
Result reference(const Block& b, double lambda, int32_t wholeColumns) {
  Result out;
  for (int64_t g = 0; g < b.N; g += kSliceRows)
    for (int64_t j = 0; j < b.K; ++j)
      for (int64_t r = g; r < std::min(b.N, g + kSliceRows); ++r) {
        if (!wholeColumns && !(b.colIndex[j] >= 1 && r >= int64_t(b.colIndex[j]) - 1)) continue;
        double p = 0;
        for (int64_t k = 0; k < b.M; ++k) p += b.X[k + r * b.M] * b.Q[k + j * b.M];
        const double D = p - b.R[r + j * b.N];
        bool stored = false;
        for (uint64_t e = b.pattern.Jc[j]; e < b.pattern.Jc[j + 1]; ++e)
          stored = stored || b.pattern.Ir[e] == uint64_t(r);
        if (std::fabs(D) > lambda || stored) {
          out.index.push_back(uint32_t(r + j * b.N));
          out.gradient.push_back(D);
          out.product.push_back(p);
        }
      }
  return out;
}

void expectSame(const Result& got, const Result& want) {
  EXPECT_EQ(got.index, want.index);
  EXPECT_EQ(got.gradient, want.gradient);
  EXPECT_EQ(got.product, want.product);
}

Block workedExample() {
  Block b{1, 3, 1, {1, 2, 3}, {2}, {0, 1, 10}, {2}, makePattern({{0}})};
  return b;
}

TEST(SlopemaskKernel, WorkedExampleBothModes) {
  const Block b = workedExample();
  const Result whole = run(b, 2.5, 1);
  EXPECT_EQ(whole.index, (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(whole.gradient, (std::vector<double>{2, 3, -4}));
  EXPECT_EQ(whole.product, (std::vector<double>{2, 4, 6}));
  const Result lower = run(b, 2.5, 0);
  EXPECT_EQ(lower.index, (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(lower.gradient, (std::vector<double>{3, -4}));
  EXPECT_EQ(lower.product, (std::vector<double>{4, 6}));
}

TEST(SlopemaskKernel, ThresholdIsStrictAndPatternRescuesTies) {
  Block b = workedExample();
  // D = (2, 3, -4): lambda 3 drops the tie at row 1 unless the pattern holds it.
  EXPECT_EQ(run(b, 3, 1).index, (std::vector<uint32_t>{0, 2}));
  b.pattern = makePattern({{1}});
  EXPECT_EQ(run(b, 3, 1).index, (std::vector<uint32_t>{1, 2}));
  // A NaN threshold selects nothing by value, only the pattern's rows;
  // unsorted and repeated pattern rows change nothing.
  b.pattern = makePattern({{2, 0, 2}});
  EXPECT_EQ(run(b, NAN, 1).index, (std::vector<uint32_t>{0, 2}));
  // A NaN gradient fails the threshold the same way.
  b.R[1] = NAN;
  b.pattern = makePattern({{}});
  EXPECT_EQ(run(b, -1, 1).index, (std::vector<uint32_t>{0, 2}));
}

TEST(SlopemaskKernel, LowerModeStartsAtTheDiagonal) {
  // One block of 6 rows and 7 columns, everything above a negative threshold.
  Block b = randomBlock(2, 6, 7, 3, 0);
  b.colIndex = {1, 4, 6, 7, 0.5, -2, NAN};
  const Result got = run(b, -1, 0);
  std::vector<uint32_t> want;
  for (uint32_t r = 0; r < 6; ++r) want.push_back(r);      // c = 1: all rows
  for (uint32_t r = 3; r < 6; ++r) want.push_back(6 + r);  // c = 4: rows 3..5
  want.push_back(2 * 6 + 5);                               // c = 6: the last row only
  EXPECT_EQ(got.index, want);  // c = 7 lies past N; below 1 and NaN give nothing
  // Whole columns ignore colIndex entirely.
  EXPECT_EQ(run(b, -1, 1).index.size(), 42u);
  EXPECT_EQ(run(b, -1, -1).index.size(), 42u);
}

TEST(SlopemaskKernel, DiagonalRowConversion) {
  EXPECT_EQ(diagonalRow(1.0), 0u);
  EXPECT_EQ(diagonalRow(8193.9), 8192u);
  EXPECT_EQ(diagonalRow(0.999), UINT64_MAX);
  EXPECT_EQ(diagonalRow(-5), UINT64_MAX);
  EXPECT_EQ(diagonalRow(NAN), UINT64_MAX);
  EXPECT_EQ(diagonalRow(1e30), UINT64_MAX);
}

TEST(SlopemaskKernel, SlicesOrderTheResult) {
  // 8192 rows are one slice; one more row makes a second slice whose
  // entries of every column follow the first slice's.
  for (int64_t N : {8192, 8193, 2 * 8192 + 5}) {
    Block b = randomBlock(3, N, 3, unsigned(N), 4);
    b.colIndex = {1, 8192, double(N)};
    SCOPED_TRACE(testing::Message() << "N " << N);
    for (int32_t mode : {0, 1}) expectSame(run(b, 4, mode), reference(b, 4, mode));
    // Every entry at a negative threshold: row 0 of column 1 follows the
    // first slice of column 0, and row 8192 of column 0 the first slice of all.
    const Result all = run(b, -1, 1);
    ASSERT_EQ(all.index.size(), size_t(3 * N));
    EXPECT_EQ(all.index[8192], uint32_t(N));
    if (N > 8192) {
      EXPECT_EQ(all.index[3 * 8192], 8192u);
    }
  }
}

TEST(SlopemaskKernel, RandomBlocksMatchThePlainSelection) {
  for (unsigned seed = 1; seed <= 4; ++seed) {
    const Block b = randomBlock(5, 300 + seed, 9, seed, 12);
    for (double lambda : {0.0, 6.0, 11.5})
      for (int32_t mode : {0, 1}) expectSame(run(b, lambda, mode), reference(b, lambda, mode));
  }
}

TEST(SlopemaskKernel, GrowthFromCapacityOneGivesTheSameList) {
  const Block b = randomBlock(4, 9000, 3, 7, 20);
  const Result big = run(b, 2, 1);
  ASSERT_GT(big.index.size(), 1000u);
  expectSame(run(b, 2, 1, 1), big);
  expectSame(run(b, 2, 1, 0), big);
}

TEST(SlopemaskKernel, EmptyBlocksSelectNothing) {
  Block b = randomBlock(2, 4, 2, 1, 1);
  FreeEntries list;
  ASSERT_TRUE(list.init(1));
  FreeSetProblem noRows = problemOf(b, -1, 1), noColumns = problemOf(b, -1, 1);
  noRows.N = 0;
  noColumns.K = 0;
  EXPECT_TRUE(selectFreeEntries(noRows, list));
  EXPECT_TRUE(selectFreeEntries(noColumns, list));
  EXPECT_EQ(list.count(), 0);
  // M = 0: every product is 0, so D = -R.
  b.M = 0;
  const Result r = run(b, -1, 1);
  ASSERT_EQ(r.gradient.size(), 8u);
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(r.gradient[i], -b.R[i]);
}

TEST(SlopemaskKernel, EachFailedAllocationIsReported) {
  const Block b = randomBlock(3, 100, 4, 5, 3);
  const Result want = run(b, 1, 1);
  // Three initial arrays, two scratch arrays, then three per doubling from 1.
  for (long k = 1; k <= 5 + 3 * 10; ++k) {
    SCOPED_TRACE(k);
    FreeEntries list;
    scratch::failCountdown = k;
    bool ok = list.init(1);
    if (ok) ok = selectFreeEntries(problemOf(b, 1, 1), list);
    const bool failed = scratch::failCountdown == 0;
    scratch::failCountdown = 0;
    EXPECT_EQ(ok, !failed);
    // What was held before a failed growth survives it.
    for (int64_t i = 0; i < list.count(); ++i) EXPECT_EQ(list.linearIndex()[i], want.index[i]);
  }
}

}  // namespace
