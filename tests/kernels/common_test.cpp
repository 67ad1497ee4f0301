#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "common/column_blocks.hpp"
#include "common/column_split.hpp"
#include "common/convert.hpp"
#include "common/entrylist.hpp"
#include "common/listparts.hpp"
#include "common/scratch.hpp"
#include "common/threads.hpp"

TEST(TruncToInt32, TruncatesSaturatesAndMapsNanToZero) {
  EXPECT_EQ(truncToInt32(2.9), 2);
  EXPECT_EQ(truncToInt32(-2.9), -2);
  EXPECT_EQ(truncToInt32(0.9), 0);
  EXPECT_EQ(truncToInt32(-0.5), 0);
  EXPECT_EQ(truncToInt32(3e9), INT32_MAX);
  EXPECT_EQ(truncToInt32(-3e9), INT32_MIN);
  EXPECT_EQ(truncToInt32(std::numeric_limits<double>::infinity()), INT32_MAX);
  EXPECT_EQ(truncToInt32(-std::numeric_limits<double>::infinity()), INT32_MIN);
  EXPECT_EQ(truncToInt32(std::nan("")), 0);
  EXPECT_EQ(truncToInt32(2147483647.5), INT32_MAX);
  EXPECT_EQ(truncToInt32(-2147483648.7), INT32_MIN);
}

TEST(Positions, AcceptOnlyFiniteValuesInRange) {
  EXPECT_EQ(positionIndex(1.0, 5), 0);
  EXPECT_EQ(positionIndex(5.99, 5), 4);
  EXPECT_EQ(positionIndex(6.0, 5), -1);
  EXPECT_EQ(positionIndex(0.99, 5), -1);
  EXPECT_EQ(positionIndex(std::nan(""), 5), -1);
  EXPECT_EQ(positionIndex(std::numeric_limits<double>::infinity(), INT64_MAX), -1);
  EXPECT_EQ(positionIndex(3e9, INT64_MAX), -1);
  const double list[] = {1, 2, 7, 3};
  EXPECT_EQ(firstBadPosition(list, 4, 6), 2);
  EXPECT_EQ(firstBadPosition(list, 4, 7), -1);
  EXPECT_EQ(firstBadPosition(list, 0, 0), -1);
}

TEST(ListLength, TakesTheRuleButNeverMoreThanTheElementsHeld) {
  EXPECT_EQ(listLength(4, 3, ListLength::rows), 4);
  EXPECT_EQ(listLength(2, 7, ListLength::longerSide), 7);
  EXPECT_EQ(listLength(1, 7, ListLength::rowOrColumn), 7);
  EXPECT_EQ(listLength(4, 3, ListLength::rowOrColumn), 4);
  EXPECT_EQ(listLength(4, 3, ListLength::elements), 12);
  // Rows without elements (zeros (3, 0), or find's 1 x 0) hold no list.
  const ListLength rules[] = {ListLength::rows, ListLength::longerSide, ListLength::rowOrColumn,
                              ListLength::elements};
  for (ListLength rule : rules) {
    for (int64_t m = 0; m <= 4; ++m)
      for (int64_t n = 0; n <= 4; ++n) EXPECT_LE(listLength(m, n, rule), m * n);
    EXPECT_EQ(listLength(int64_t{1} << 40, 0, rule), 0);
  }
}

TEST(Scratch, CountdownFailsExactlyOneAllocation) {
  scratch::failCountdown = 2;
  ScratchArray<double> a = makeScratch<double>(4);
  ScratchArray<double> b = makeScratch<double>(4);
  ScratchArray<double> c = makeScratch<double>(0);  // still one element
  EXPECT_TRUE(a);
  EXPECT_FALSE(b);
  EXPECT_TRUE(c);
  EXPECT_EQ(allocScratch<double>(SIZE_MAX / 4), nullptr);
}

TEST(ColumnSplit, AgreesWithDivisionInAnyOrder) {
  std::mt19937 gen(3);
  for (int32_t n : {1, 2, 3, 7, 1000, 46341, INT32_MAX}) {
    ColumnSplit split(n);
    int32_t k = 0;
    for (int t = 0; t < 2000; ++t) {
      // Mostly small steps forward, sometimes a jump anywhere.
      k = t % 17 == 0 ? static_cast<int32_t>(gen() % INT32_MAX)
                      : static_cast<int32_t>((static_cast<int64_t>(k) + gen() % 5) % INT32_MAX);
      int32_t q, r;
      split.at(k, &q, &r);
      ASSERT_EQ(q, k / n) << "k " << k << " n " << n;
      ASSERT_EQ(r, k % n) << "k " << k << " n " << n;
    }
  }
}

TEST(EntryList, DoublesWhenFullAndKeepsItsEntriesWhenGrowthFails) {
  EntryList<int32_t, double> list;
  ASSERT_TRUE(list.init(0));  // at least one slot, so doubling grows
  EXPECT_EQ(list.capacity(), 1);
  for (int32_t i = 0; i < 8; ++i) ASSERT_TRUE(list.append(i, 0.5 * i));
  EXPECT_EQ(list.capacity(), 8);
  // The second new array fails: the list keeps its arrays and entries.
  scratch::failCountdown = 2;
  EXPECT_FALSE(list.append(8, 4.0));
  scratch::failCountdown = 0;
  ASSERT_EQ(list.count(), 8);
  EXPECT_EQ(list.capacity(), 8);
  for (int32_t i = 0; i < 8; ++i) {
    EXPECT_EQ(list.data<0>()[i], i);
    EXPECT_EQ(list.data<1>()[i], 0.5 * i);
  }
  EXPECT_TRUE(list.append(8, 4.0));
  EXPECT_EQ(list.capacity(), 16);
}

template <ColumnSchedule Schedule>
void expectBlocksCoverEveryColumnOnce(int32_t N, int threads) {
  // Blocks of 8 halved while there are fewer blocks than threads, then
  // the rest one by one.
  int32_t J = 8;
  while (J > 1 && N / J < threads) J /= 2;
  std::vector<int> seen(N, 0), width(N, 0);
  forColumnBlocks<8, Schedule>(N, [&](auto w, int64_t j) {
    for (int t = 0; t < decltype(w)::value; ++t) {
      ++seen[j + t];
      width[j + t] = decltype(w)::value;
    }
  });
  for (int32_t c = 0; c < N; ++c) {
    EXPECT_EQ(seen[c], 1) << "column " << c << " of " << N << ", " << threads << " threads";
    EXPECT_EQ(width[c], c < N / J * J ? J : 1) << "column " << c << " of " << N;
  }
}

TEST(ColumnBlocks, CoverEveryColumnOnceInBlocksOfThePlannedWidth) {
  const int before = omp_get_max_threads();
  for (int threads : {1, 2, 3}) {
    omp_set_num_threads(threads);
    for (int32_t N = 0; N <= 40; ++N) {
      expectBlocksCoverEveryColumnOnce<ColumnSchedule::dynamic>(N, threads);
      expectBlocksCoverEveryColumnOnce<ColumnSchedule::contiguous>(N, threads);
    }
  }
  omp_set_num_threads(before);
}

TEST(ThreadCount, TakesTheRequestWithinOneAndTheProcessorsAndTheWork) {
  const int procs = omp_get_num_procs();
  EXPECT_EQ(threadCount(0), 1);
  EXPECT_EQ(threadCount(-5, 10), 1);
  EXPECT_EQ(threadCount(1, 0), 1);
  EXPECT_EQ(threadCount(INT32_MAX), procs);
  EXPECT_EQ(threadCount(INT32_MAX, 1), 1);
  EXPECT_EQ(threadCount(procs, 2), std::min(procs, 2));
}

TEST(ListParts, CoverTheListOnceAndPlaceEachBucketInListOrder) {
  // Part p holds entries begin..end-1: together every entry once, parts in
  // list order.
  for (int32_t count : {0, 5, kPartEntries + 3})
    for (int parts : {1, 3}) {
      std::vector<int> owner(count, -1), seen(count, 0);
      forEachPart(count, parts, [&](int p, int32_t begin, int32_t end) {
        for (int32_t i = begin; i < end; ++i) owner[i] = p, ++seen[i];
      });
      for (int32_t i = 0; i < count; ++i) {
        ASSERT_EQ(seen[i], 1) << i;
        if (i > 0) {
          ASSERT_LE(owner[i - 1], owner[i]) << i;
        }
      }
    }
  // Two parts, three buckets (a spare column after them): counts become
  // places, bucket by bucket and part by part within a bucket.
  int64_t counts[] = {2, 0, 1, 9,  //
                      1, 3, 0, 9};
  int64_t first[4];
  placePartCounts(counts, 2, 4, 3, first);
  EXPECT_EQ(std::vector<int64_t>(counts, counts + 8), std::vector<int64_t>({0, 3, 6, 9, 2, 3, 7, 9}));
  EXPECT_EQ(std::vector<int64_t>(first, first + 4), std::vector<int64_t>({0, 3, 6, 7}));
}
