#include "stepmin/stepmin.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/scratch.hpp"
#include "helpers.hpp"

namespace {

struct Result {
  double t;
  double f;
};

struct Problem {
  double A = 0.0, B = 0.0, C = 1.0, lambda = 1.0, lo = 0.0, hi = 1.0;
  std::vector<double> x, v, index;  // index empty: every entry is a term
  bool useIndex = false;

  Result solve() const {
    double f = -12345.0;
    bool oom = false;
    const double* idx = useIndex ? index.data() : nullptr;
    const int32_t T = static_cast<int32_t>(useIndex ? index.size() : x.size());
    const double t = stepMinimize(A, B, C, lambda, lo, hi, x.data(), v.data(), idx, T, &f, &oom);
    EXPECT_FALSE(oom);
    return {t, f};
  }

  // f(t) summed directly over the terms.
  double objective(double t) const {
    double s = 0.0;
    const size_t T = useIndex ? index.size() : x.size();
    for (size_t i = 0; i < T; ++i) {
      const size_t e = useIndex ? static_cast<size_t>(index[i]) - 1 : i;
      s += std::fabs(x[e] + t * v[e]);
    }
    return A + B * t + C * t * t + lambda * s;
  }
};

TEST(StepMinimize, SecondPieceTiesFirstAndLastPieceIsWorse) {
  Problem p;
  p.x = {1, 2};
  p.v = {-2, -1};
  p.hi = 3;
  const Result r = p.solve();
  EXPECT_EQ(r.t, 0.5);
  EXPECT_EQ(r.f, 1.75);
}

TEST(StepMinimize, LastPieceImprovesOnScan) {
  Problem p;
  p.x = {1};
  p.v = {-1};
  p.B = -4;
  p.hi = 10;
  const Result r = p.solve();
  EXPECT_EQ(r.t, 1.5);
  EXPECT_EQ(r.f, -3.25);
}

TEST(StepMinimize, NoDirectionClampsVertexAndFoldsL1Term) {
  Problem p;
  p.x = {1, -2};
  p.v = {0, 0};
  p.A = 0.5;
  p.B = 1;
  p.C = 2;
  const Result r = p.solve();
  EXPECT_EQ(r.t, 0.0);
  EXPECT_EQ(r.f, 3.5);
  // Clamped to hi first, then to lo: with lo > hi the result is lo.
  p.B = -100;
  p.lo = 2;
  EXPECT_EQ(p.solve().t, 2.0);
}

TEST(StepMinimize, BreakpointsOnTheBordersStayLinear) {
  // Kinks at exactly lo = 0 and hi = 1 count as outside: each term keeps
  // the sign it has just right of lo, which is its sign on all of [0, 1].
  Problem p;
  p.x = {0, -1};
  p.v = {1, 1};
  p.B = -1.5;
  const Result r = p.solve();
  // f = t^2 - 1.5 t + t + (1 - t) = t^2 - 1.5 t + 1, vertex 0.75.
  EXPECT_EQ(r.t, 0.75);
  EXPECT_EQ(r.f, 0.4375);
}

TEST(StepMinimize, EqualValueInScanMovesOnButOnLastPieceStays) {
  // lambda < 0 makes f non-convex: both pieces of t^2 - 2t - |t - 1| have
  // minimum -1.25 (at 0.5 and 1.5); the closing piece keeps the earlier one.
  Problem p;
  p.x = {-1};
  p.v = {1};
  p.lambda = -1;
  p.B = -2;
  p.hi = 3;
  Result r = p.solve();
  EXPECT_EQ(r.t, 0.5);
  EXPECT_EQ(r.f, -1.25);
  // A far kink adds t - 10 to both pieces (B one lower keeps the tie); now
  // the tie falls in the scan, and the later piece wins.
  p.x = {-1, -10};
  p.v = {1, 1};
  p.B = -3;
  p.hi = 15;
  r = p.solve();
  EXPECT_EQ(r.t, 1.5);
  EXPECT_EQ(r.f, -11.25);
}

TEST(StepMinimize, BreakpointsCloserThan1e7AreCrossedTogether) {
  // The true minimiser 0.50000002 lies between kinks 5e-8 apart; that piece
  // is never evaluated, so the result is the first kink.
  Problem p;
  p.x = {-0.5, -0.50000005};
  p.v = {1, 1};
  p.B = -1.00000004;
  const Result near = p.solve();
  EXPECT_EQ(near.t, 0.5);
  // Kinks 2e-7 apart: the piece between them holds the vertex.
  p.x = {-0.5, -0.5000002};
  p.B = -1.0000002;
  const Result apart = p.solve();
  EXPECT_EQ(apart.t, -(p.B / 2.0));
}

TEST(StepMinimize, MatchesDirectMinimisationOnRandomConvexCases) {
  std::mt19937 gen(11);
  std::normal_distribution<double> N;
  std::uniform_real_distribution<double> U(0.0, 1.0);
  for (int rep = 0; rep < 60; ++rep) {
    Problem p;
    const int n = 1 + static_cast<int>(U(gen) * 40);
    for (int e = 0; e < n; ++e) {
      p.x.push_back(N(gen));
      p.v.push_back(U(gen) < 0.15 ? 0.0 : N(gen));
    }
    p.useIndex = rep % 2 == 1;
    if (p.useIndex)
      for (int i = 0; i < n; ++i) p.index.push_back(1 + static_cast<int>(U(gen) * n) + 0.7);
    p.C = 0.05 + 3 * U(gen);
    p.B = 4 * N(gen);
    p.A = N(gen);
    p.lambda = 2 * U(gen);
    p.lo = -2 * U(gen);
    p.hi = 2 * U(gen);
    const Result r = p.solve();
    ASSERT_GE(r.t, p.lo);
    ASSERT_LE(r.t, p.hi);
    const double scale = 1.0 + std::fabs(r.f);
    EXPECT_NEAR(r.f, p.objective(r.t), 1e-12 * scale * n) << "rep " << rep;
    // Fine grid plus every kink: nothing is lower.
    std::vector<double> cand;
    for (int g = 0; g <= 20000; ++g) cand.push_back(p.lo + (p.hi - p.lo) * g / 20000.0);
    for (size_t e = 0; e < p.x.size(); ++e)
      if (p.v[e] != 0.0) cand.push_back(-p.x[e] / p.v[e]);
    for (double t : cand) {
      if (t >= p.lo && t <= p.hi) {
        ASSERT_LE(r.f, p.objective(t) + 1e-9 * scale) << "rep " << rep;
      }
    }
  }
}

TEST(StepMinimize, IndexSelectsRepeatsAndMayBeEmpty) {
  Problem p;
  p.x = {0.3, -1, 7};
  p.v = {-1, 2, 0.5};
  p.B = -0.2;
  p.lo = -1;
  p.hi = 2;
  // Entry 2 listed twice weighs like one entry of twice the size;
  // 2.9 truncates to 2.
  p.useIndex = true;
  p.index = {2, 1, 2.9};
  const Result twice = p.solve();
  Problem q = p;
  q.x = {0.3, -2};
  q.v = {-1, 4};
  q.index = {1, 2};
  const Result doubled = q.solve();
  EXPECT_DOUBLE_EQ(twice.t, doubled.t);
  EXPECT_DOUBLE_EQ(twice.f, doubled.f);
  // No term: the clamped vertex of A + B t + C t^2.
  p.index.clear();
  const Result none = p.solve();
  EXPECT_EQ(none.t, 0.1);
  EXPECT_EQ(none.f, 1 * 0.1 * 0.1 + -0.2 * 0.1 + 0.0);
}

TEST(StepMinimize, TermsWithoutDirectionInsideAnUnboundedInterval) {
  // With hi infinite or beyond 2^53, hi + 1 is not past hi, so terms with
  // v = 0 join the breakpoint list; it must have room for them.
  for (double hi : {std::numeric_limits<double>::infinity(), 1e300}) {
    Problem p;
    p.x.assign(2000, 1.0);
    p.v.assign(2000, 0.0);
    p.x[5] = -2;
    p.A = 0.5;
    p.B = 1;
    p.C = 2;
    p.hi = hi;
    const Result r = p.solve();
    EXPECT_EQ(r.t, 0.0);
    EXPECT_EQ(r.f, 0.5 + 2001.0);
  }
}

TEST(StepMinimize, ManyBreakpointsKeepTheSignOfAZeroBreakpoint) {
  // 301 kinks take the fast sort; the result is the kink of x = 0, v = 1,
  // whose breakpoint -(0 / 1) is -0.
  Problem p;
  p.x = {0};
  p.v = {1};
  for (int e = 0; e < 300; ++e) {
    p.x.push_back(-0.7e-3 - e * 1e-9);
    p.v.push_back(1e-3);
  }
  p.lo = -1;
  const Result r = p.solve();
  EXPECT_TRUE(sameBits(r.t, -0.0));
  EXPECT_NEAR(r.f, p.objective(0.0), 1e-15);
}

TEST(StepMinimize, InputsUnchanged) {
  Problem p;
  p.x = {1, 2, -3, 0};
  p.v = {-2, -1, 4, 1};
  p.useIndex = true;
  p.index = {4, 1, 2, 3, 3};
  const Problem copy = p;
  p.solve();
  EXPECT_EQ(p.x, copy.x);
  EXPECT_EQ(p.v, copy.v);
  EXPECT_EQ(p.index, copy.index);
}

TEST(StepMinimize, EachAllocationFailingReportsOutOfMemory) {
  const double x[] = {1, 2}, v[] = {-2, -1};
  // Two list arrays, then two sort arrays.
  for (long k = 1; k <= 4; ++k) {
    scratch::failCountdown = k;
    double f = 99.0;
    bool oom = false;
    stepMinimize(0, 0, 1, 1, 0, 3, x, v, nullptr, 2, &f, &oom);
    scratch::failCountdown = 0;
    EXPECT_TRUE(oom) << "allocation " << k;
    EXPECT_EQ(f, 99.0);
  }
  scratch::failCountdown = 5;
  double f;
  bool oom = false;
  stepMinimize(0, 0, 1, 1, 0, 3, x, v, nullptr, 2, &f, &oom);
  scratch::failCountdown = 0;
  EXPECT_FALSE(oom);
}

TEST(SortBreakpoints, StableWithEntriesFollowingValues) {
  std::vector<double> b = {3, 1, 2, 1, 3, 0.5, 1};
  std::vector<int32_t> e = {0, 1, 2, 3, 4, 5, 6};
  std::vector<double> sv(b.size());
  std::vector<int32_t> se(b.size());
  sortBreakpoints(b.data(), e.data(), 0, static_cast<int32_t>(b.size()) - 1, sv.data(), se.data());
  EXPECT_EQ(b, (std::vector<double>{0.5, 1, 1, 1, 2, 3, 3}));
  EXPECT_EQ(e, (std::vector<int32_t>{5, 1, 3, 6, 2, 0, 4}));
  // A sub-range leaves the rest alone.
  std::vector<double> c = {9, 4, 3, 8};
  std::vector<int32_t> ce = {0, 1, 2, 3};
  sortBreakpoints(c.data(), ce.data(), 1, 2, sv.data(), se.data());
  EXPECT_EQ(c, (std::vector<double>{9, 3, 4, 8}));
  EXPECT_EQ(ce, (std::vector<int32_t>{0, 2, 1, 3}));
}

TEST(SortBreakpoints, MergeTakesLeftOnTiesAndRightAgainstNaN) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> b = {1, 2, nan, 1, 2, 0};
  std::vector<int32_t> e = {0, 1, 2, 3, 4, 5};
  std::vector<double> sv(6);
  std::vector<int32_t> se(6);
  mergeBreakpointRuns(b.data(), e.data(), 0, 2, 5, sv.data(), se.data());
  // 1|1 left first; 2 vs 1: right; 2|2 left; NaN vs 2: right; NaN vs 0: right.
  EXPECT_EQ(e, (std::vector<int32_t>{0, 3, 1, 4, 5, 2}));
}

TEST(SortBreakpoints, RadixSortAgreesWithMergeSort) {
  std::mt19937 gen(5);
  std::uniform_int_distribution<int> pick(0, 9);
  std::normal_distribution<double> N;
  const double inf = std::numeric_limits<double>::infinity();
  for (int32_t k : {1, 2, 300, 5000}) {
    std::vector<double> b(k);
    for (double& t : b) {
      const int c = pick(gen);
      t = c == 0 ? 0.0 : c == 1 ? -0.0 : c == 2 ? inf : c == 3 ? -inf : c == 4 ? 1.25 : N(gen);
    }
    std::vector<int32_t> e(k);
    for (int32_t i = 0; i < k; ++i) e[i] = i;
    std::vector<double> b2 = b, sv(k);
    std::vector<int32_t> e2 = e, se(k);
    sortBreakpoints(b.data(), e.data(), 0, k - 1, sv.data(), se.data());
    radixSortBreakpoints(b2.data(), e2.data(), k, sv.data(), se.data());
    EXPECT_EQ(e2, e) << k;
    for (int32_t i = 0; i < k; ++i) {
      ASSERT_EQ(b2[i], b[i]);
      if (b[i] == 0.0) {
        EXPECT_FALSE(std::signbit(b2[i]));
      }
    }
  }
}

// The module against the one-term-at-a-time form with every breakpoint
// sorted up front (the reference), in both builds of the classification.
struct Case {
  double A = 0.0, B = 0.0, C = 1.0, lambda = 1.0, lo = 0.0, hi = 1.0;
  std::vector<double> x, v, index;
  bool useIndex = false;
};

void expectReferenceBits(const Case& c, const char* what) {
  const double* idx = c.useIndex ? c.index.data() : nullptr;
  const int32_t T = static_cast<int32_t>(c.useIndex ? c.index.size() : c.x.size());
  bool oom = false;
  double fRef = -1.0;
  const double tRef = stepMinimizeReference(c.A, c.B, c.C, c.lambda, c.lo, c.hi, c.x.data(),
                                            c.v.data(), idx, T, &fRef, &oom);
  ASSERT_FALSE(oom);
  for (bool wide : {true, false}) {
    double f = -2.0;
    const double t = stepMinimize(c.A, c.B, c.C, c.lambda, c.lo, c.hi, c.x.data(), c.v.data(), idx,
                                  T, &f, &oom, wide);
    ASSERT_FALSE(oom);
    EXPECT_TRUE(sameBits(t, tRef))
        << what << (wide ? " wide" : " baseline") << ": t " << t << " vs " << tRef;
    EXPECT_TRUE(sameBits(f, fRef))
        << what << (wide ? " wide" : " baseline") << ": f " << f << " vs " << fRef;
  }
}

// n terms whose kinks spread over many binades, B chosen so that the scan
// stops at about `stopAt` of the way through [lo, hi].
Case spreadCase(int32_t n, unsigned seed, double lo, double hi, double stopAt) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> N;
  Case c;
  c.x.resize(n);
  c.v.resize(n);
  for (int32_t e = 0; e < n; ++e) {
    c.x[e] = N(gen);
    c.v[e] = N(gen);
  }
  double vv = 0.0;
  for (double t : c.v) vv += t * t;
  c.C = 0.5 * vv;
  c.B = -2.0 * c.C * (lo + stopAt * (hi - lo));
  c.lambda = 0.1;
  c.lo = lo;
  c.hi = hi;
  return c;
}

TEST(StepMinimize, MatchesTheReferenceOnSpreadKinks) {
  // Sizes on both sides of where buckets start, and large enough for
  // coarse buckets to be split again; the scan stopping early, midway,
  // at the end.
  for (int32_t n : {50, 255, 256, 300, 5000, 60000})
    for (double stopAt : {0.02, 0.5, 1.5}) {
      const Case c = spreadCase(n, 11 + n, 0.0, 1000.0, stopAt);
      expectReferenceBits(c, "spread");
      Case d = spreadCase(n, 17 + n, -3.0, 2.0, stopAt);
      expectReferenceBits(d, "two-sided");
      // An index that lists entries in random order, some twice.
      std::mt19937 gen(n);
      d.useIndex = true;
      for (int32_t i = 0; i < n + n / 3; ++i) d.index.push_back(1 + gen() % n);
      expectReferenceBits(d, "index");
    }
}

TEST(StepMinimize, MatchesTheReferenceOnAwkwardValues) {
  // Kinks piled on few values (buckets past the radix size, zeros of both
  // signs among them), kinks closer than 1e-7, terms without direction,
  // infinite and subnormal values, an unbounded interval, and NaN.
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::mt19937 gen(3);
  std::uniform_int_distribution<int> kind(0, 11);
  std::normal_distribution<double> N;
  for (int round = 0; round < 24; ++round) {
    const int32_t n = round % 3 == 0 ? 400 : 4000;
    Case c;
    for (int32_t e = 0; e < n; ++e) {
      double xe = N(gen), ve = N(gen);
      const int k = kind(gen);
      if (k == 0) xe = 0.0;                          // kink at -0 or +0
      if (k == 1) xe = -0.0, ve = 1.0;               // kink at +0
      if (k == 2) xe = -0.25 * ve;                   // kink at 0.25 exactly
      if (k == 3) ve = 0.0;                          // no direction
      if (k == 4) xe = -0.5 * ve + 1e-9 * N(gen);    // a cluster near 0.5
      if (k == 5) xe = -(1e-3 + 1e-10 * e) * ve;     // a run of close kinks
      if (k == 6) ve = 4.9e-324 * (e % 2 ? 1 : -1);  // kinks near infinity
      if (k == 7 && round % 4 == 3) xe = nan;        // NaN in a few rounds
      if (k == 8 && round % 5 == 4) xe = inf;
      c.x.push_back(xe);
      c.v.push_back(ve);
    }
    c.C = round % 6 == 5 ? -1.0 : 0.5 * n;
    c.B = -0.3 * n * (round % 4);
    c.lambda = round % 7 == 6 ? 0.0 : 0.2;
    c.lo = round % 2 ? -1.0 : 0.0;
    c.hi = round % 8 == 7 ? inf : round % 8 == 6 ? -1.0 + 1e-300 : 2.0;
    expectReferenceBits(c, ("awkward round " + std::to_string(round)).c_str());
  }
}

TEST(StepMinimize, TiedKinksKeepTheirTermOrderInEverySortOfABucket) {
  // Equal kinks are crossed in term order, which the sums' rounding shows:
  // ties few enough for insertion, for merging, and for the radix sort.
  for (int ties : {10, 40, 300}) {
    Case c = spreadCase(3000, 5, 0.0, 1000.0, 1.5);
    std::mt19937 gen(ties);
    std::uniform_real_distribution<double> U(0.5, 2.0);
    for (int i = 0; i < ties; ++i) {
      const double ve = U(gen) * (i % 2 ? 1 : -1) * (1 << (i % 7));
      c.x.insert(c.x.begin() + 7 * i, -0.25 * ve);  // kink at 0.25 exactly
      c.v.insert(c.v.begin() + 7 * i, ve);
    }
    expectReferenceBits(c, ("ties " + std::to_string(ties)).c_str());
  }
}

TEST(StepMinimize, ZeroKinkKeepsItsSignAmongManyEqualKinks) {
  // A kink at -0, then 300 at +0: one bucket of equal kinks, sorted by
  // radix. The first piece ends at the first of them, where the minimum
  // is, and the last piece only ties it: t is that kink, -0.
  Case c;
  c.x.assign(301, -0.0);
  c.v.assign(301, 1.0);
  c.x[0] = 0.0;
  c.lo = -1.0;
  expectReferenceBits(c, "zeros");
  double f;
  bool oom = false;
  const double t = stepMinimize(c.A, c.B, c.C, c.lambda, c.lo, c.hi, c.x.data(), c.v.data(),
                                nullptr, 301, &f, &oom);
  EXPECT_TRUE(sameBits(t, -0.0));
  EXPECT_EQ(f, 0.0);
}

TEST(StepMinimize, EachAllocationFailingReportsOutOfMemoryWithBuckets) {
  // Enough kinks for buckets: the list, the sorted list, the bucket ends.
  const Case c = spreadCase(1000, 2, 0.0, 10.0, 0.5);
  for (long k = 1; k <= 6; ++k) {
    scratch::failCountdown = k;
    double f = 99.0;
    bool oom = false;
    stepMinimize(c.A, c.B, c.C, c.lambda, c.lo, c.hi, c.x.data(), c.v.data(), nullptr, 1000, &f,
                 &oom);
    scratch::failCountdown = 0;
    EXPECT_EQ(oom, k <= 5) << "allocation " << k;
    if (oom) {
      EXPECT_EQ(f, 99.0);
    }
  }
}

}  // namespace
