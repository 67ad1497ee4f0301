#include "colrunprod/colrunprod.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "colrunprod/runs.hpp"
#include "common/scratch.hpp"
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

// Test-only reference: the walk as the module first computed it, one
// output column at a time over the whole list, C read in place. Every path
// must give its bits.
Vec referenceWalk(const Vec& values, const Vec& positions, int L, const Vec& C, int N, int M) {
  Vec out(static_cast<size_t>(L) * N, 0.0);
  const int count = static_cast<int>(positions.size());
  for (int j = 0; j < N; ++j) {
    if (count == 0) break;
    int c = 0;
    double sum = 0.0;
    for (int i = 0; i < count; ++i) {
      const int k = static_cast<int>(positions[i]) - 1;
      const int q = k / M, r = k % M;
      if (q != c) {
        out[c + static_cast<size_t>(j) * L] = sum;
        sum = 0.0;
      }
      c = q;
      sum = sum + C[r + static_cast<size_t>(j) * M] * values[i];
    }
    out[c + static_cast<size_t>(j) * L] = sum;
  }
  return out;
}

using Path = bool (*)(double*, const double*, const double*, int32_t, int32_t, const double*,
                      int32_t, int32_t);

bool inPlace(double* out, const double* values, const double* positions, int32_t count,
             int32_t L, const double* C, int32_t N, int32_t M) {
  sparseTransposeDenseColumnsInPlace(out, values, positions, count, L, C, N, M);
  return true;
}

bool chosen(double* out, const double* values, const double* positions, int32_t count, int32_t L,
            const double* C, int32_t N, int32_t M) {
  sparseTransposeDenseColumns(out, values, positions, count, L, C, N, M);
  return true;
}

struct NamedPath {
  const char* name;
  Path run;
};
const NamedPath kPaths[] = {{"in place", inPlace},
                            {"panels", sparseTransposeDenseColumnsPanels},
                            {"sweep", sparseTransposeDenseColumnsSweep},
                            {"chosen", chosen}};

// A list-given S of M x L: entries column by column (columns in `order`),
// about `perColumn` of them each, rows ascending or shuffled within a
// column; values of very different sizes so that any other order of the
// sums would round differently.
struct ListMatrix {
  Vec values, positions;
};
ListMatrix makeList(int M, const std::vector<int>& order, int perColumn, bool shuffledRows,
                    unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  ListMatrix s;
  for (int q : order) {
    std::vector<int> rows;
    for (int t = 0; t < perColumn; ++t) rows.push_back(static_cast<int>(gen() % M));
    std::sort(rows.begin(), rows.end());
    if (shuffledRows) std::shuffle(rows.begin(), rows.end(), gen);
    for (int r : rows) {
      s.positions.push_back(static_cast<double>(q) * M + r + 1 + 0.25 * (gen() % 4));
      s.values.push_back(u(gen) * (gen() % 3 == 0 ? 1e12 : 1.0));
    }
  }
  return s;
}

std::vector<int> columns(int L, bool shuffled, unsigned seed) {
  std::vector<int> q(L);
  for (int c = 0; c < L; ++c) q[c] = c;
  if (shuffled) {
    std::mt19937 gen(seed);
    std::shuffle(q.begin(), q.end(), gen);
  }
  return q;
}

// Every path against the reference: columns of C that give every block
// width and a tail of single columns, on 1 to 3 threads. The sweep takes
// the list or declines it as `sweepTakes` says, writing nothing if it does.
void expectPathsMatchReference(const ListMatrix& s, int L, int M, const std::vector<int>& widths,
                               const char* what, bool sweepTakes = true) {
  const int saved = omp_get_max_threads();
  for (int N : widths) {
    Vec C = randomVector(static_cast<int64_t>(M) * N, 40 + N);
    if (N > 2) C[static_cast<size_t>(M) * 2 + 5] = std::numeric_limits<double>::infinity();
    const Vec want = referenceWalk(s.values, s.positions, L, C, N, M);
    for (int threads = 1; threads <= 3; ++threads) {
      omp_set_num_threads(threads);
      for (const NamedPath& path : kPaths) {
        Vec out(static_cast<size_t>(L) * N, 0.0);
        const bool served = path.run(out.data(), s.values.data(), s.positions.data(),
                                     static_cast<int32_t>(s.positions.size()), L, C.data(), N, M);
        EXPECT_EQ(served, sweepTakes || path.run != sparseTransposeDenseColumnsSweep)
            << what << ", " << path.name;
        EXPECT_TRUE(sameBits(out, served ? want : Vec(out.size(), 0.0)))
            << what << ", " << path.name << ", N " << N << ", " << threads << " threads";
      }
    }
  }
  omp_set_num_threads(saved);
}

TEST(ColRunProd, EveryPathGivesTheBitsOfTheOneColumnWalk) {
  // Rows past two chunks of the sweep and not a whole number of them.
  const int M = 2 * kChunkRows + 77, L = 23;
  const std::vector<int> widths = {1, 2, 3, 7, 8, 9, 16, 17, 21, 33, 40};
  // Sorted, as `find` lists them: columns ascending, rows ascending.
  expectPathsMatchReference(makeList(M, columns(L, false, 1), 40, false, 2), L, M, widths,
                            "sorted");
  // Columns in any order, rows still ascending within each: the sweep's case.
  expectPathsMatchReference(makeList(M, columns(L, true, 3), 40, false, 4), L, M, widths,
                            "columns shuffled");
  // Rows shuffled within columns: the sweep declines, the walks serve.
  expectPathsMatchReference(makeList(M, columns(L, true, 5), 40, true, 6), L, M, {3, 17},
                            "rows shuffled", false);
  // A column listed in two runs (only the later counts), column 0 empty,
  // and the same position twice within a run.
  std::vector<int> order = columns(L, false, 0);
  order.erase(order.begin());
  order.push_back(4);
  ListMatrix split = makeList(M, order, 40, false, 7);
  split.positions.insert(split.positions.begin() + 3, split.positions[3]);
  split.values.insert(split.values.begin() + 3, 0.5);
  expectPathsMatchReference(split, L, M, {9, 16, 21}, "split run");
}

TEST(ColRunProd, LongListsFiledInPartsKeepRunsWhole) {
  // Long enough to be filed by several threads, with runs that straddle
  // the parts' bounds.
  const int M = 5000, L = 30;
  const ListMatrix s = makeList(M, columns(L, true, 8), 2500, false, 9);
  expectPathsMatchReference(s, L, M, {5, 16}, "long list");
}

TEST(ColRunProd, SweepDeclinesListsItCannotTakeInRowOrder) {
  const int M = 50, L = 4, N = 3;
  const Vec C = randomVector(M * N, 10);
  Vec out(L * N, -1.0);
  // Rows 7 then 3 within column 0.
  const Vec down = {8, 4, 9, 10, 11}, values = {1, 2, 3, 4, 5};
  EXPECT_FALSE(sparseTransposeDenseColumnsSweep(out.data(), values.data(), down.data(), 5, L,
                                                C.data(), N, M));
  // Runs of one or two entries.
  const Vec scattered = {1, 51, 101, 102, 151};
  EXPECT_FALSE(sparseTransposeDenseColumnsSweep(out.data(), values.data(), scattered.data(), 5, L,
                                                C.data(), N, M));
  EXPECT_EQ(out, Vec(L * N, -1.0));
}

TEST(ColRunProd, ScratchFailuresFallBackToTheSameBits) {
  const int M = 300, L = 12, N = 20;
  const ListMatrix s = makeList(M, columns(L, false, 0), 60, false, 11);
  const Vec C = randomVector(M * N, 12);
  const Vec want = referenceWalk(s.values, s.positions, L, C, N, M);
  const int32_t count = static_cast<int32_t>(s.positions.size());
  for (const NamedPath& path : kPaths) {
    for (long k = 1; k <= 6; ++k) {
      Vec out(static_cast<size_t>(L) * N, 0.0);
      scratch::failCountdown = k;
      const bool served =
          path.run(out.data(), s.values.data(), s.positions.data(), count, L, C.data(), N, M);
      scratch::failCountdown = 0;
      // A path that cannot have its scratch writes nothing.
      EXPECT_TRUE(sameBits(out, served ? want : Vec(out.size(), 0.0)))
          << path.name << ", allocation " << k << " failing";
    }
  }
}

}  // namespace
