#include "entryprod/entryprod.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "common/scratch.hpp"
#include "helpers.hpp"

namespace {

// Column p of a (m rows) dotted with column j of b, in ascending order.
double ascendingDot(const Vec& a, int p, const Vec& b, int j, int m) {
  double s = 0.0;
  for (int t = 0; t < m; ++t) s = s + a[p * m + t] * b[j * m + t];
  return s;
}

TEST(EntryProd, PlainPassStoresAscendingDotsAtListedPositions) {
  // Lengths 0..9 cover the groups of four, the tail and an empty sum; the
  // values are chosen so that a reordered sum would round differently.
  for (int m = 0; m < 10; ++m) {
    const int L = 3, N = 4, cols = 5;
    Vec a = randomVector(static_cast<size_t>(m) * cols, 1 + m);
    Vec b = randomVector(static_cast<size_t>(m) * N, 100 + m);
    for (size_t t = 0; t < a.size(); t += 3) a[t] *= 1e16;
    const Vec rowMap = {5.9, 1.0, 3.0};
    // Repeats, any order, and enough entries to fill groups of four.
    const Vec list = {12.2, 1, 2, 5, 9, 3, 7, 12, 4, 10, 11, 6, 8, 1};
    Vec out(L * N, std::numeric_limits<double>::quiet_NaN());
    const Vec a0 = a, b0 = b, list0 = list, rowMap0 = rowMap;
    productEntriesPass(out.data(), a.data(), b.data(), m, list.data(),
                       static_cast<int32_t>(list.size()), rowMap.data(), nullptr, L, N, false);
    for (int k = 0; k < L * N; ++k) {
      const int r = k % L, j = k / L;
      const int p = static_cast<int>(rowMap[r]) - 1;
      EXPECT_EQ(out[k], ascendingDot(a, p, b, j, m)) << "m " << m << " k " << k;
    }
    EXPECT_TRUE(sameBits(a, a0) && sameBits(b, b0) && sameBits(list, list0) &&
                sameBits(rowMap, rowMap0));
  }
}

TEST(EntryProd, HandCheckedEntries) {
  // a = [1 2; 3 4] columns (1,3) and (2,4); b columns (1,1), (0,2).
  const Vec a = {1, 3, 2, 4}, b = {1, 1, 0, 2};
  const Vec rowMap = {2, 1};  // row 0 from column 2 of a, row 1 from column 1
  const Vec list = {1, 4};    // (0,0) and (1,1)
  Vec out(4, 0.0);
  productEntriesPass(out.data(), a.data(), b.data(), 2, list.data(), 2, rowMap.data(), nullptr, 2,
                     2, false);
  EXPECT_EQ(out, (Vec{6, 0, 0, 6}));
}

TEST(EntryProd, SymmetricPassSkipsAboveDiagonalAndMirrorsWithOutputStride) {
  // L = 4 output rows, factors of m = 3 rows: the mirrored store lands on
  // element (columnMap[j] - 1, p) of the 4 x 3 output, at stride L.
  const int m = 3, L = 4, N = 3;
  const Vec a = randomVector(m * 4, 7), b = randomVector(m * N, 8);
  const Vec rowMap = {1, 2, 3, 1};
  const Vec columnMap = {4, 2, 1};
  const double sentinel = -99.0;
  Vec out(L * N, sentinel);
  // (r,j): (0,0) diagonal, (2,0) below, (0,1) above, (1,1) diagonal,
  // (2,2) diagonal, (3,2) above, (1,2) above.
  const Vec list = {1, 3, 5, 6, 11, 12, 10};
  productEntriesPass(out.data(), a.data(), b.data(), m, list.data(), 7, rowMap.data(),
                     columnMap.data(), L, N, true);
  Vec want(L * N, sentinel);
  const double s00 = ascendingDot(a, 0, b, 0, m), s20 = ascendingDot(a, 2, b, 0, m);
  const double s11 = ascendingDot(a, 1, b, 1, m), s22 = ascendingDot(a, 2, b, 2, m);
  want[0] = want[3] = s00;   // (0,0) and its mirror (3,0)
  want[2] = want[11] = s20;  // (2,0) and its mirror (3,2), which the skipped (3,2) keeps
  want[5] = s11;             // the diagonal entry is its own mirror
  want[10] = want[8] = s22;  // (2,2) and its mirror (0,2)
  EXPECT_TRUE(sameBits(out, want));
}

TEST(EntryProd, EmptyFactorsGiveZeroAndEmptyListsStoreNothing) {
  const Vec rowMap = {1, 1}, columnMap = {1, 2};
  const Vec list = {1, 2, 3, 4};
  Vec out(4, 5.0);
  productEntriesPass(out.data(), nullptr, nullptr, 0, list.data(), 0, rowMap.data(),
                     columnMap.data(), 2, 2, true);
  EXPECT_EQ(out, Vec(4, 5.0));
  productEntriesPass(out.data(), nullptr, nullptr, 0, list.data(), 4, rowMap.data(), nullptr, 2,
                     2, false);
  EXPECT_EQ(out, Vec(4, 0.0));
}

// A symmetric block as the driver forms it: row r of the output stands for
// column rowMap[r] - 1, and columnMap sends that column back to row r, so
// no two entries store to one element with different values.
struct Block {
  int m = 37, L = 60, N = 90, cols = 120;
  Vec a, b, rowMap, columnMap, plain, lower;
  Block() {
    a = randomVector(static_cast<size_t>(m) * cols, 11);
    b = randomVector(static_cast<size_t>(m) * N, 12);
    std::mt19937 gen(13);
    rowMap.resize(L);
    columnMap.assign(N, 1.0);
    for (int r = 0; r < L; ++r) {
      rowMap[r] = 1 + r + r / 2;  // increasing columns, all below N
      columnMap[static_cast<int>(rowMap[r]) - 1] = r + 1;
    }
    for (int k = 0; k < L * N; ++k) {
      if (gen() % 3 == 0) plain.push_back(k + 1);
      const int r = k % L, j = k / L;
      const int q = static_cast<int>(columnMap[j]) - 1;
      if (rowMap[q] - 1 == j && r >= q && gen() % 2 == 0) lower.push_back(k + 1);
    }
  }
  Vec run() const {
    Vec out(static_cast<size_t>(L) * N, 0.0);
    productEntriesPass(out.data(), a.data(), b.data(), m, plain.data(),
                       static_cast<int32_t>(plain.size()), rowMap.data(), nullptr, L, N, false);
    productEntriesPass(out.data(), a.data(), b.data(), m, lower.data(),
                       static_cast<int32_t>(lower.size()), rowMap.data(), columnMap.data(), L,
                       N, true);
    return out;
  }
};

TEST(EntryProd, SameBitsForOneAndTwoThreads) {
  const Block blk;
  ASSERT_GT(blk.lower.size(), 500u);
  const int saved = omp_get_max_threads();
  omp_set_num_threads(1);
  const Vec one = blk.run();
  omp_set_num_threads(2);
  const Vec two = blk.run();
  omp_set_num_threads(saved);
  EXPECT_TRUE(sameBits(one, two));
  // The symmetric pass fills both triangles of its block.
  for (double pos : blk.lower) {
    const int k = static_cast<int>(pos) - 1, r = k % blk.L, j = k / blk.L;
    const int p = static_cast<int>(blk.rowMap[r]) - 1;
    const int mirror = (static_cast<int>(blk.columnMap[j]) - 1) + p * blk.L;
    ASSERT_EQ(one[k], ascendingDot(blk.a, p, blk.b, j, blk.m));
    ASSERT_EQ(one[mirror], one[k]);
  }
}

// A plain pass on random data: sums that a reordering would round
// differently, rows that share left-factor columns in no particular order,
// and a list drawn with repeats, sorted when asked.
struct PlainCase {
  int m, L, N;
  Vec a, b, rowMap, list;
  PlainCase(int m_, int L_, int N_, int count, bool sorted, unsigned seed) : m(m_), L(L_), N(N_) {
    const int cols = L / 2 + 3;
    a = randomVector(static_cast<int64_t>(m) * cols, seed);
    b = randomVector(static_cast<int64_t>(m) * N, seed + 1);
    for (size_t t = 0; t < a.size(); t += 5) a[t] *= 1e16;
    std::mt19937 gen(seed + 2);
    for (int r = 0; r < L; ++r) rowMap.push_back(1 + gen() % cols + 0.5);
    const int64_t cells = static_cast<int64_t>(L) * N;
    for (int i = 0; i < count; ++i) {
      // Every tenth entry repeats an earlier one.
      const bool again = i > 0 && gen() % 10 == 0;
      list.push_back(again ? list[gen() % i] : 1 + static_cast<double>(gen() % cells) + 0.7);
    }
    if (sorted) std::sort(list.begin(), list.end());
  }
  Vec inListOrder() const {
    Vec out(static_cast<size_t>(L) * N, -7.0);
    productEntriesPassInListOrder(out.data(), a.data(), b.data(), m, list.data(),
                                  static_cast<int32_t>(list.size()), rowMap.data(), nullptr, L,
                                  false);
    return out;
  }
  Vec tiled() const {
    Vec out(static_cast<size_t>(L) * N, -7.0);
    EXPECT_TRUE(productEntriesPassTiled(out.data(), a.data(), b.data(), m, list.data(),
                                        static_cast<int32_t>(list.size()), rowMap.data(), L, N));
    return out;
  }
  Vec dispatched() const {
    Vec out(static_cast<size_t>(L) * N, -7.0);
    productEntriesPass(out.data(), a.data(), b.data(), m, list.data(),
                       static_cast<int32_t>(list.size()), rowMap.data(), nullptr, L, N, false);
    return out;
  }
};

TEST(EntryProd, TiledPassGivesTheBitsOfTheListOrderPass) {
  // Lengths around the pairs and groups of the dot products; outputs of one
  // row, one column, several row tiles (m = 200 keeps 256 rows to a tile)
  // and several column tiles; lists empty, shorter than a group, and long.
  struct Shape {
    int m, L, N, count;
  };
  const Shape shapes[] = {{1, 5, 7, 40},       {2, 9, 3, 25},     {3, 1, 3000, 5000},
                          {4, 3000, 1, 5000},  {5, 40, 2100, 9000}, {7, 30, 30, 1},
                          {8, 30, 30, 7},      {9, 64, 1500, 12000}, {17, 17, 17, 300},
                          {200, 600, 1100, 20000}, {33, 50, 50, 0},  {0, 6, 6, 30}};
  for (const Shape& sh : shapes)
    for (bool sorted : {false, true}) {
      const PlainCase c(sh.m, sh.L, sh.N, sh.count, sorted, 31 + sh.m);
      const PlainCase before = c;
      const Vec want = c.inListOrder();
      EXPECT_TRUE(sameBits(c.tiled(), want)) << "m " << sh.m << " L " << sh.L << " N " << sh.N;
      EXPECT_TRUE(sameBits(c.dispatched(), want)) << "m " << sh.m;
      EXPECT_TRUE(sameBits(c.a, before.a) && sameBits(c.b, before.b) &&
                  sameBits(c.list, before.list));
      // Spot checks against the plain ascending sum.
      for (size_t i = 0; i < c.list.size(); i += 97) {
        const int k = static_cast<int>(c.list[i]) - 1, r = k % c.L, j = k / c.L;
        ASSERT_EQ(want[k], ascendingDot(c.a, static_cast<int>(c.rowMap[r]) - 1, c.b, j, c.m));
      }
    }
}

TEST(EntryProd, TiledPassSameBitsForOneAndTwoThreads) {
  // Long enough that the list is filed in two parts on two threads.
  const PlainCase c(12, 300, 900, 150000, false, 5);
  const int saved = omp_get_max_threads();
  omp_set_num_threads(1);
  const Vec one = c.tiled();
  omp_set_num_threads(2);
  const Vec two = c.tiled();
  omp_set_num_threads(saved);
  EXPECT_TRUE(sameBits(one, two));
  EXPECT_TRUE(sameBits(one, c.inListOrder()));
}

TEST(EntryProd, TiledPassWithoutScratchWritesNothingAndThePassFallsBack) {
  const PlainCase c(6, 40, 300, 6000, false, 9);
  const Vec want = c.inListOrder();
  for (long k = 1; k <= 6; ++k) {
    Vec out(static_cast<size_t>(c.L) * c.N, -7.0);
    scratch::failCountdown = k;
    const bool done = productEntriesPassTiled(out.data(), c.a.data(), c.b.data(), c.m,
                                              c.list.data(), 6000, c.rowMap.data(), c.L, c.N);
    scratch::failCountdown = 0;
    EXPECT_FALSE(done) << "allocation " << k;
    EXPECT_TRUE(sameBits(out, Vec(out.size(), -7.0)));
    scratch::failCountdown = k;
    const Vec fallback = c.dispatched();
    scratch::failCountdown = 0;
    EXPECT_TRUE(sameBits(fallback, want)) << "allocation " << k;
  }
}

TEST(EntryProd, ChecksNameTheFirstEntryThatReadsOutside) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  // L = 2, N = 3; the left factor has 4 columns.
  const Vec list = {1, 2, 4, 6};
  EXPECT_EQ(firstBadRowMapEntry(list.data(), 4, Vec{1, 4.9}.data(), 2, 4), -1);
  EXPECT_EQ(firstBadRowMapEntry(list.data(), 4, Vec{1, 5}.data(), 2, 4), 1);
  EXPECT_EQ(firstBadRowMapEntry(list.data(), 4, Vec{0.5, 1}.data(), 2, 4), 0);
  EXPECT_EQ(firstBadRowMapEntry(list.data(), 4, Vec{1, nan}.data(), 2, 4), 1);
  EXPECT_EQ(firstBadRowMapEntry(list.data(), 4, Vec{inf, 1}.data(), 2, 4), 0);
  // Only rows the list reaches are read.
  EXPECT_EQ(firstBadRowMapEntry(Vec{2, 4}.data(), 2, Vec{-7, 2}.data(), 2, 4), -1);

  // Mirror: (0,0) p=0, (1,0) p=2 beyond N, (1,1) p=2, (1,2) p=2.
  const Vec rowMap = {1, 3};
  EXPECT_EQ(firstBadMirrorEntry(list.data(), 4, rowMap.data(), Vec{1, 2, 2}.data(), 2, 3), -1);
  EXPECT_EQ(firstBadMirrorEntry(list.data(), 4, rowMap.data(), Vec{1, 2, 2}.data(), 2, 2), 1);
  EXPECT_EQ(firstBadMirrorEntry(list.data(), 4, rowMap.data(), Vec{1, 3, 2}.data(), 2, 3), 2);
  EXPECT_EQ(firstBadMirrorEntry(list.data(), 4, rowMap.data(), Vec{1, 2, nan}.data(), 2, 3), 3);
  EXPECT_EQ(firstBadMirrorEntry(list.data(), 4, rowMap.data(), Vec{0, 2, 2}.data(), 2, 3), 0);
  // Skipped entries (p < j) read no column map value.
  EXPECT_EQ(firstBadMirrorEntry(Vec{3, 5}.data(), 2, Vec{1, 1}.data(), Vec{1, 0, 0}.data(), 2, 3),
            -1);
}

}  // namespace
