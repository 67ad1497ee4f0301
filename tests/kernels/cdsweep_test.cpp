#include "cdsweep/cdsweep.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "cdsweep/direction.hpp"
#include "cdsweep/entrymap.hpp"
#include "helpers.hpp"

namespace {

struct Problem {
  int32_t n = 0, m = 0;
  std::vector<double> W, U, g, theta, delta0;
  std::vector<int32_t> rows, li, lj;
};

struct Result {
  std::vector<double> delta;
  double quad = 0.0;
  int32_t sweeps = 0;
  double worst = 0.0;
};

Result run(const Problem& P, double lambda, int32_t sweeps, int32_t threads = 1,
           double tol = -1.0) {
  Result r{P.delta0, -1.0};
  const SweepBlock block{P.W.data(), P.U.data(), P.rows.data(), P.n, P.m};
  const SweepList list{P.li.data(), P.lj.data(), P.g.data(), P.theta.data(),
                       static_cast<int32_t>(P.li.size())};
  SweepResult out;
  EXPECT_TRUE(coordinateSweeps(block, list, SweepControl{lambda, sweeps, tol, threads},
                               r.delta.data(), &out));
  r.quad = out.quad, r.sweeps = out.sweeps, r.worst = out.worst;
  return r;
}

// The documented order, written plainly: U copied whole, rows updated in
// place with strided reads of W.
double chunkedDot(const double* w, const double* u, int32_t n) {
  double dot = 0.0;
  for (int32_t k0 = 0; k0 < n; k0 += 1024) {
    double p[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    for (int32_t k = k0; k < std::min(n, k0 + 1024); ++k) p[(k - k0) % 8] += w[k] * u[k];
    dot += ((p[0] + p[1]) + (p[2] + p[3])) + ((p[4] + p[5]) + (p[6] + p[7]));
  }
  return dot;
}

Result reference(const Problem& P, double lambda, int32_t sweeps, double tol = -1.0) {
  const int64_t n = P.n;
  std::vector<double> U = P.U;
  Result r{P.delta0, 0.0};
  while (r.sweeps < sweeps) {
    r.worst = 0.0;
    for (std::size_t e = 0; e < P.li.size(); ++e) {
      const int32_t li = P.li[e], lj = P.lj[e], i = P.rows[li], j = P.rows[lj];
      const double dot = chunkedDot(&P.W[li * n], &U[lj * n], P.n);
      const double wij = P.W[i + lj * n], wii = P.W[i + li * n], wjj = P.W[j + lj * n];
      const double a = i != j ? wij * wij + wii * wjj : wii * wii;
      const double c = P.theta[e] + r.delta[e];
      const double b = P.g[e] + dot;
      const double v = c != 0 ? std::fabs(b + std::copysign(lambda, c))
                              : std::max(std::fabs(b) - lambda, 0.0);
      r.worst = std::max(r.worst, v);
      double mu = 0.0;
      if (a > 0.0 && std::isfinite(a)) {
        const double u = c - (P.g[e] + dot) / a;
        const double sgn = std::isnan(u) ? u : static_cast<double>((u > 0) - (u < 0));
        mu = -c + sgn * std::max(std::fabs(u) - lambda / a, 0.0);
      }
      if (mu == 0.0) continue;
      r.delta[e] += mu;
      for (int64_t col = 0; col < P.m; ++col) U[i + col * n] += mu * P.W[j + col * n];
      if (i != j)
        for (int64_t col = 0; col < P.m; ++col) U[j + col * n] += mu * P.W[i + col * n];
      r.quad += i != j ? (2.0 * mu) * dot + (a * mu) * mu : mu * dot + (0.5 * (a * mu)) * mu;
    }
    ++r.sweeps;
    if (r.worst <= tol) break;
  }
  return r;
}

using ::sameBits;
bool sameBits(const Result& x, const Result& y) {
  return sameBits(x.delta, y.delta) && sameBits(x.quad, y.quad) && x.sweeps == y.sweeps &&
         sameBits(x.worst, y.worst);
}

// Random block (W need not be symmetric for the order to be checked) with
// the given index rows and every lower pair of the block listed with
// probability `density`, in random order or grouped by column j, as a
// driver lists a free set.
Problem randomProblem(int32_t n, std::vector<int32_t> rows, double density, unsigned seed,
                      bool grouped = false) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> N;
  std::uniform_real_distribution<double> R;
  Problem P;
  P.n = n;
  P.m = static_cast<int32_t>(rows.size());
  P.rows = rows;
  P.W.resize(static_cast<std::size_t>(n) * P.m);
  P.U.resize(P.W.size());
  for (double& x : P.W) x = N(gen);
  for (double& x : P.U) x = 0.1 * N(gen);
  for (int32_t c = 0; c < P.m; ++c)
    P.W[rows[c] + static_cast<int64_t>(c) * n] = 3 + std::fabs(N(gen));
  for (int32_t a = 0; a < P.m; ++a)
    for (int32_t b = 0; b <= a; ++b)
      if (R(gen) < density) {
        P.li.push_back(R(gen) < 0.5 ? a : b);
        P.lj.push_back(P.li.back() == a ? b : a);
      }
  std::vector<std::size_t> order(P.li.size());
  for (std::size_t e = 0; e < order.size(); ++e) order[e] = e;
  std::shuffle(order.begin(), order.end(), gen);
  std::vector<int32_t> li(P.li), lj(P.lj);
  if (grouped)
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t x, std::size_t y) { return lj[x] < lj[y]; });
  for (std::size_t e = 0; e < order.size(); ++e) {
    P.li[e] = li[order[e]];
    P.lj[e] = lj[order[e]];
    P.g.push_back(N(gen));
    P.theta.push_back(0.5 * N(gen));
    P.delta0.push_back(R(gen) < 0.5 ? 0.0 : 0.1 * N(gen));
  }
  return P;
}

TEST(CoordinateSweeps, OneEntryAgainstTheClosedForm) {
  // W = [2 1; 1 1.5], U = 0 (Delta = 0): off-diagonal a = 1 + 3 = 4,
  // u = c - g/a = 0.25 + 0.5, t = 0.75 - lambda/a = 0.5, mu = -0.25 + 0.5.
  Problem P;
  P.n = 2, P.m = 2;
  P.W = {2, 1, 1, 1.5};
  P.U = {0, 0, 0, 0};
  P.rows = {0, 1};
  P.li = {1}, P.lj = {0}, P.g = {-2}, P.theta = {0.25}, P.delta0 = {0};
  Result r = run(P, 1.0, 1);
  EXPECT_EQ(r.delta[0], 0.25);
  EXPECT_EQ(r.quad, 4 * 0.25 * 0.25);  // 2 mu dot + a mu^2, dot = 0
  // Diagonal (0, 0): a = 4, u = 0.5 - 1/4, t = 0.25 - 0.5/4, mu = -0.5 + 0.125.
  P.li = {0}, P.lj = {0}, P.g = {1}, P.theta = {0.5};
  r = run(P, 0.5, 1);
  EXPECT_EQ(r.delta[0], -0.375);
  EXPECT_EQ(r.quad, 0.5 * 4 * 0.375 * 0.375);
  // Both in turn: the diagonal entry now sees dot = (W D W)_00 = 2 * 0.25 * 2 * 1 = 1,
  // so u = 0.5 - (1 + 1)/4 = 0 and mu = -0.5.
  P.li = {1, 0}, P.lj = {0, 0}, P.g = {-2, 1}, P.theta = {0.25, 0.5}, P.delta0 = {0, 0};
  r = run(P, 1.0, 1);
  EXPECT_EQ(r.delta, (std::vector<double>{0.25, -0.5}));
  EXPECT_EQ(r.quad, 0.25 + (-0.5 * 1 + 0.5 * 4 * 0.25));
}

TEST(CoordinateSweeps, DiagonalWTakesTheSoftThresholdStepAtEveryEntry) {
  // With W diagonal, (W Delta W)_ij = d_i Delta_ij d_j involves only the
  // entry itself: one sweep is the closed-form step at each entry.
  Problem P = randomProblem(300, {4, 17, 18, 100, 299}, 1.0, 5);
  std::vector<double> d = {0.5, 2, 1.25, 3, 0.75};
  std::fill(P.W.begin(), P.W.end(), 0.0);
  std::fill(P.U.begin(), P.U.end(), 0.0);
  for (int32_t c = 0; c < P.m; ++c) P.W[P.rows[c] + c * 300] = d[c];
  for (std::size_t e = 0; e < P.li.size(); ++e) {  // U = Delta0 W(:, index)
    const int32_t a = P.li[e], b = P.lj[e];
    P.U[P.rows[a] + b * 300] = P.delta0[e] * d[b];
    P.U[P.rows[b] + a * 300] = P.delta0[e] * d[a];
  }
  const double lambda = 0.3;
  const Result r = run(P, lambda, 1);
  for (std::size_t e = 0; e < P.li.size(); ++e) {
    const double di = d[P.li[e]], dj = d[P.lj[e]];
    const double a = di * dj, dot = di * (P.delta0[e] * dj), c = P.theta[e] + P.delta0[e];
    const double u = c - (P.g[e] + dot) / a;
    const double soft = std::copysign(std::max(std::fabs(u) - lambda / a, 0.0), u);
    EXPECT_EQ(r.delta[e], P.delta0[e] + (soft - c)) << e;
  }
}

TEST(CoordinateSweeps, SameBitsAsThePlainReference) {
  // Index rows at the ends, around chunk and group borders, several in one
  // group of 8; n below 8, not a multiple of 8, exactly a chunk and beyond.
  const std::vector<std::vector<int32_t>> cases = {
      {5, 0, 4},
      {12, 0, 7, 8, 3},
      {1023, 0, 5, 512, 9, 1000},
      {1024, 1023, 0, 1022, 1021, 7},
      {3001, 3000, 1023, 1024, 2047, 2048, 8, 9, 10, 11, 12, 13, 14, 15, 0},
      {9, 8, 0, 1, 2, 3, 4, 5, 6, 7},  // every row at index, in another order
      {1030},                          // every row, in order: filled below
  };
  for (auto cs : cases) {
    if (cs.size() == 1)
      for (int32_t r = 0; r < cs[0]; ++r) cs.push_back(r);
    const std::vector<int32_t> rows(cs.begin() + 1, cs.end());
    for (bool grouped : {false, true}) {
      const double density = rows.size() > 100 ? 0.0002 : 0.8;
      const Problem P =
          randomProblem(cs[0], rows, density, static_cast<unsigned>(cs[0]), grouped);
      for (double lambda : {0.0, 0.05, 0.5})
        for (int32_t sweeps : {0, 1, 3}) {
          const Result want = reference(P, lambda, sweeps);
          for (int32_t threads : {1, 2, 3})
            EXPECT_TRUE(sameBits(run(P, lambda, sweeps, threads), want))
                << "n " << cs[0] << " grouped " << grouped << " lambda " << lambda << " sweeps "
                << sweeps << " threads " << threads;
        }
    }
  }
}

TEST(CoordinateSweeps, SameBitsOnOneToThreeThreadsAndInputsUnchanged) {
  std::mt19937 gen(11);
  std::vector<int32_t> rows(64);
  std::uniform_int_distribution<int32_t> R(0, 9999);
  for (int32_t& r : rows) {
    do r = R(gen);
    while (std::count(rows.begin(), rows.begin() + (&r - rows.data()), r) > 0);
  }
  const Problem P = randomProblem(10000, rows, 0.15, 2, true);
  const Problem copy = P;
  const Result want = reference(P, 0.1, 2);
  for (int32_t threads : {1, 2, 3}) EXPECT_TRUE(sameBits(run(P, 0.1, 2, threads), want)) << threads;
  EXPECT_EQ(P.W, copy.W);
  EXPECT_EQ(P.U, copy.U);
  EXPECT_EQ(P.g, copy.g);
  EXPECT_EQ(P.theta, copy.theta);
  EXPECT_EQ(P.delta0, copy.delta0);
}

// A consistent problem on a dense SPD inverse: W is n x n, Delta0 holds the
// listed entries' starting values and a few fixed unlisted ones.
struct Dense {
  int32_t n;
  std::vector<double> Wfull, Delta0;
  Problem P;
};

Dense denseProblem(int32_t n, const std::vector<int32_t>& rows, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> N;
  Dense D;
  D.n = n;
  std::vector<double> B(static_cast<std::size_t>(n) * n);
  for (double& x : B) x = N(gen);
  D.Wfull.assign(B.size(), 0.0);
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j < n; ++j) {
      double s = i == j ? 1.0 : 0.0;
      for (int32_t k = 0; k < n; ++k) s += B[i + k * n] * B[j + k * n] / n;
      D.Wfull[i + j * n] = s;
    }
  D.P = randomProblem(n, rows, 0.7, seed);
  Problem& P = D.P;
  D.Delta0.assign(B.size(), 0.0);
  D.Delta0[1 + 0 * n] = D.Delta0[0 + 1 * n] = 0.05;  // rows 0, 1 are not in the block
  for (std::size_t e = 0; e < P.li.size(); ++e) {
    const int32_t i = rows[P.li[e]], j = rows[P.lj[e]];
    D.Delta0[i + j * n] = D.Delta0[j + i * n] = P.delta0[e];
  }
  for (int32_t c = 0; c < P.m; ++c)
    for (int32_t r = 0; r < n; ++r) {
      P.W[r + c * n] = D.Wfull[r + rows[c] * n];
      double s = 0.0;
      for (int32_t k = 0; k < n; ++k) s += D.Delta0[r + k * n] * D.Wfull[k + rows[c] * n];
      P.U[r + c * n] = s;
    }
  return D;
}

// 1/2 trace(W Delta W Delta) and the listed entries' linear and L1 terms
// (each off-diagonal pair counted twice), Delta = Delta0 with delta set.
void modelTerms(const Dense& D, const std::vector<double>& delta, double lambda, double* half,
                double* q) {
  const int32_t n = D.n;
  std::vector<double> Delta = D.Delta0, WD(Delta.size(), 0.0);
  double lin = 0.0;
  for (std::size_t e = 0; e < delta.size(); ++e) {
    const int32_t i = D.P.rows[D.P.li[e]], j = D.P.rows[D.P.lj[e]];
    Delta[i + j * n] = Delta[j + i * n] = delta[e];
    lin += (i != j ? 2 : 1) * (D.P.g[e] * delta[e] + lambda * std::fabs(D.P.theta[e] + delta[e]));
  }
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j < n; ++j)
      for (int32_t k = 0; k < n; ++k) WD[i + j * n] += D.Wfull[i + k * n] * Delta[k + j * n];
  double tr = 0.0;
  for (int32_t i = 0; i < n; ++i)
    for (int32_t k = 0; k < n; ++k) tr += WD[i + k * n] * WD[k + i * n];
  *half = 0.5 * tr;
  *q = lin + *half;
}

TEST(CoordinateSweeps, ModelDecreasesAtEveryUpdateAndQuadIsTheQuadraticsIncrease) {
  const Dense D = denseProblem(40, {3, 7, 12, 20, 21, 33, 39}, 4);
  const double lambda = 0.2;
  double half0, q0;
  modelTerms(D, D.P.delta0, lambda, &half0, &q0);
  // The first k updates of one sweep are a sweep over the first k entries.
  double previous = q0;
  for (std::size_t k = 1; k <= D.P.li.size(); ++k) {
    Problem prefix = D.P;
    prefix.li.resize(k), prefix.lj.resize(k), prefix.g.resize(k), prefix.theta.resize(k);
    prefix.delta0.resize(k);
    Result r = run(prefix, lambda, 1);
    r.delta.insert(r.delta.end(), D.P.delta0.begin() + k, D.P.delta0.end());
    double half, q;
    modelTerms(D, r.delta, lambda, &half, &q);
    EXPECT_LE(q, previous + 1e-12) << "update " << k;
    EXPECT_NEAR(r.quad, half - half0, 1e-12 * (1 + std::fabs(half))) << "update " << k;
    previous = q;
  }
  for (int32_t sweeps = 2; sweeps <= 4; ++sweeps) {
    const Result r = run(D.P, lambda, sweeps);
    double half, q;
    modelTerms(D, r.delta, lambda, &half, &q);
    EXPECT_LE(q, previous + 1e-12) << "sweeps " << sweeps;
    EXPECT_NEAR(r.quad, half - half0, 1e-12 * (1 + std::fabs(half))) << "sweeps " << sweeps;
    previous = q;
  }
}

TEST(CoordinateSweeps, ZeroStepChangesNothingAndNaNReachesTheResult) {
  Problem P;
  P.n = 2, P.m = 2;
  P.W = {2, 1, 1, 1.5};
  P.U = {0, 0, 0, 0};
  P.rows = {0, 1};
  // Inside the threshold band: mu = -0 + 0 leaves delta's -0 alone.
  P.li = {1}, P.lj = {0}, P.g = {0.1}, P.theta = {0}, P.delta0 = {-0.0};
  Result r = run(P, 1.0, 2);
  EXPECT_TRUE(r.delta[0] == 0.0 && std::signbit(r.delta[0]));
  EXPECT_TRUE(r.quad == 0.0 && !std::signbit(r.quad));
  // a = 0 (W_00 = 0): no step.
  P.W = {0, 1, 1, 1.5}, P.li = {0}, P.lj = {0}, P.delta0 = {0.5};
  EXPECT_EQ(run(P, 1.0, 1).delta[0], 0.5);
  P.W = {2, 1, 1, 1.5}, P.g = {std::nan("")};
  r = run(P, 1.0, 1);
  EXPECT_TRUE(std::isnan(r.delta[0]) && std::isnan(r.quad));
}

TEST(CoordinateSweeps, EachAllocationFailingIsReported) {
  const Problem P = randomProblem(5000, {3, 70, 4999}, 1.0, 8);
  std::vector<double> delta = P.delta0;
  const SweepBlock block{P.W.data(), P.U.data(), P.rows.data(), P.n, P.m};
  const SweepList list{P.li.data(), P.lj.data(), P.g.data(), P.theta.data(),
                       static_cast<int32_t>(P.li.size())};
  for (long k = 1; k <= 9; ++k) {
    scratch::failCountdown = k;
    SweepResult out;
    EXPECT_FALSE(coordinateSweeps(block, list, SweepControl{0.1, 2, -1.0, 2}, delta.data(), &out))
        << k;
    EXPECT_EQ(delta, P.delta0) << k;
  }
  scratch::failCountdown = 10;
  SweepResult out;
  EXPECT_TRUE(coordinateSweeps(block, list, SweepControl{0.1, 2, -1.0, 2}, delta.data(), &out));
  scratch::failCountdown = 0;
}

TEST(CoordinateSweeps, StopsAfterTheFirstSweepWithinTolAndReportsItsWorstViolation) {
  const Problem P = randomProblem(700, {0, 3, 9, 100, 101, 699}, 1.0, 12, true);
  const Result all = reference(P, 0.05, 40);
  ASSERT_EQ(all.sweeps, 40);
  // A tolerance met part way: the sweeps stop at the first pass within it.
  const double tol = 10 * all.worst;
  const Result want = reference(P, 0.05, 40, tol);
  ASSERT_GT(want.sweeps, 1);
  ASSERT_LT(want.sweeps, 40);
  EXPECT_LE(want.worst, tol);
  for (int32_t threads : {1, 2}) EXPECT_TRUE(sameBits(run(P, 0.05, 40, threads, tol), want));
  // NaN never stops; the sweeps cap always does.
  EXPECT_EQ(run(P, 0.05, 5, 1, std::nan("")).sweeps, 5);
  EXPECT_EQ(run(P, 0.05, 0, 1, 1e300).sweeps, 0);
}

TEST(CoordinateSweeps, OneEntrySweptRepeatedlyGivesTheSameBitsOnAnyThreadCount) {
  // Every update follows the previous one of the same entry at once: each
  // thread's step must come from the value its own last update left.
  std::vector<int32_t> rows = {8191, 0, 4096};
  Problem P = randomProblem(8192, rows, 1.0, 21);
  P.li = {0}, P.lj = {2}, P.g = {0.7}, P.theta = {-0.3}, P.delta0 = {0.01};
  for (int32_t sweeps = 2; sweeps <= 5; ++sweeps) {
    const Result want = reference(P, 0.01, sweeps);
    for (int round = 0; round < 30; ++round)
      for (int32_t threads : {2, 3, 4})
        ASSERT_TRUE(sameBits(run(P, 0.01, sweeps, threads), want)) << sweeps << " " << threads;
  }
}

// A lower triangle in compressed columns, built from (row, column, value)
// triples given column by column.
struct Lower {
  int32_t n = 0;
  std::vector<uint64_t> Jc, Ir;
  std::vector<double> v;
  LowerColumns view() const { return {Ir.data(), Jc.data(), v.data(), n}; }
};

Lower lowerFrom(int32_t n, const std::vector<std::vector<std::pair<int32_t, double>>>& columns) {
  Lower D;
  D.n = n;
  D.Jc.assign(1, 0);
  for (int32_t c = 0; c < n; ++c) {
    if (c < static_cast<int32_t>(columns.size()))
      for (const auto& [r, x] : columns[c]) {
        D.Ir.push_back(static_cast<uint64_t>(r));
        D.v.push_back(x);
      }
    D.Jc.push_back(D.Ir.size());
  }
  return D;
}

// Random lower pattern touching every column (each stores its diagonal or
// a row below), some columns left empty when `gaps`, some stored zeros,
// and no pair of the block's rows.
Lower randomLower(int32_t n, const std::vector<int32_t>& rows, bool gaps, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> N;
  std::uniform_real_distribution<double> R;
  std::vector<bool> inBlock(n, false);
  for (int32_t r : rows) inBlock[r] = true;
  std::vector<std::vector<std::pair<int32_t, double>>> cols(n);
  for (int32_t c = 0; c < n; ++c) {
    if (gaps && R(gen) < 0.2) continue;
    for (int32_t r = c; r < n; ++r) {
      const bool wanted = r == c ? R(gen) < 0.6 : R(gen) < 4.0 / n;
      if (!wanted && !(r == n - 1 && cols[c].empty())) continue;
      if (inBlock[r] && inBlock[c]) continue;
      cols[c].push_back({r, R(gen) < 0.1 ? 0.0 : N(gen)});
    }
  }
  return lowerFrom(n, cols);
}

// The documented order, one column q of U at a time, every sum in memory.
std::vector<double> productReference(const Lower& D, const Problem& P, const double* delta0) {
  const int64_t n = D.n;
  std::vector<double> U(P.W.size(), 0.0);
  for (int64_t q = 0; q < P.m; ++q) {
    double* u = &U[q * n];
    const double* w = &P.W[q * n];
    for (int64_t c = 0; c < n; ++c)
      for (uint64_t k = D.Jc[c]; k < D.Jc[c + 1]; ++k) {
        const int64_t r = static_cast<int64_t>(D.Ir[k]);
        if (D.v[k] == 0.0) continue;
        u[r] += D.v[k] * w[c];
        if (r != c) u[c] += D.v[k] * w[r];
      }
    for (std::size_t e = 0; delta0 && e < P.li.size(); ++e) {
      const int64_t i = P.rows[P.li[e]], j = P.rows[P.lj[e]];
      if (delta0[e] == 0.0) continue;
      u[i] += delta0[e] * w[j];
      if (i != j) u[j] += delta0[e] * w[i];
    }
  }
  return U;
}

std::vector<double> product(const Lower& D, const Problem& P, const double* delta0,
                            int32_t threads) {
  std::vector<double> U(P.W.size(), std::nan(""));
  const SweepList list{P.li.data(), P.lj.data(), P.g.data(), P.theta.data(),
                       static_cast<int32_t>(P.li.size())};
  directionProduct(D.view(), P.W.data(), P.m, P.rows.data(), list, delta0, threads, U.data());
  return U;
}

TEST(DirectionProduct, FollowsTheDocumentedOrderOnAnyThreadCount) {
  // m from 1 to past two whole groups of 8, so that every tail width
  // (4, 2, 1) carries columns; D with empty columns and without.
  for (int32_t m : {1, 3, 7, 8, 13, 23}) {
    std::vector<int32_t> rows;
    for (int32_t c = 0; c < m; ++c) rows.push_back((c * 37 + 5) % 300);
    for (bool gaps : {false, true}) {
      const Problem P = randomProblem(300, rows, 0.5, static_cast<unsigned>(m));
      const Lower D = randomLower(300, rows, gaps, static_cast<unsigned>(m + gaps));
      for (const double* delta0 : {static_cast<const double*>(nullptr), P.delta0.data()}) {
        const std::vector<double> want = productReference(D, P, delta0);
        for (int32_t threads : {1, 2, 3})
          EXPECT_TRUE(sameBits(product(D, P, delta0, threads), want))
              << "m " << m << " gaps " << gaps << " delta0 " << (delta0 != nullptr) << " threads "
              << threads;
      }
    }
  }
}

TEST(DirectionProduct, IsTheWholeSymmetricProductSummedInColumnOrder) {
  // Rows past the 256 zeroed at a time, an entry in the last row of the
  // first column, and long columns. D's part of U(x, q) is the sum of
  // S(x, k) W(k, q) over k ascending (skipping zeros), S = D + D' - diag(D):
  // the same bits. With the listed entries too, U = (S + Delta0) W up to
  // rounding, summed here from the other end.
  const int64_t n = 700, m = 11;
  std::vector<int32_t> rows;
  for (int32_t c = 0; c < m; ++c) rows.push_back(600 + 9 * c);
  const Problem P = randomProblem(n, rows, 0.6, 9);
  Lower D = randomLower(n, rows, true, 9);
  std::vector<double> S(n * n, 0.0);
  for (int64_t c = 0; c < n; ++c)
    for (uint64_t k = D.Jc[c]; k < D.Jc[c + 1]; ++k)
      S[D.Ir[k] + c * n] = S[c + D.Ir[k] * n] = D.v[k];
  std::vector<double> U = product(D, P, nullptr, 3), want(U.size(), 0.0);
  for (int64_t q = 0; q < m; ++q)
    for (int64_t x = 0; x < n; ++x)
      for (int64_t k = 0; k < n; ++k)
        if (S[x + k * n] != 0.0) want[x + q * n] += S[x + k * n] * P.W[k + q * n];
  EXPECT_TRUE(sameBits(U, want));
  for (std::size_t e = 0; e < P.li.size(); ++e) {
    const int64_t i = rows[P.li[e]], j = rows[P.lj[e]];
    S[i + j * n] = S[j + i * n] = P.delta0[e];
  }
  U = product(D, P, P.delta0.data(), 2);
  for (int64_t q = 0; q < m; ++q)
    for (int64_t x = 0; x < n; ++x) {
      double s = 0.0, size = 0.0;
      for (int64_t k = n - 1; k >= 0; --k) {
        s += S[x + k * n] * P.W[k + q * n];
        size += std::fabs(S[x + k * n] * P.W[k + q * n]);
      }
      ASSERT_NEAR(U[x + q * n], s, 1e-14 * size + 1e-300) << x << ", " << q;
    }
}

TEST(DirectionProduct, EmptyDirectionAndStoredZerosAddNothing) {
  const std::vector<int32_t> rows = {2, 5, 6};
  Problem P = randomProblem(9, rows, 1.0, 3);
  const Lower empty = lowerFrom(9, {});
  std::vector<double> U = product(empty, P, nullptr, 2);
  EXPECT_TRUE(
      std::all_of(U.begin(), U.end(), [](double x) { return x == 0.0 && !std::signbit(x); }));
  EXPECT_TRUE(
      sameBits(product(empty, P, P.delta0.data(), 1), productReference(empty, P, P.delta0.data())));
  // Zeros stored in D, or listed in delta0, are the same as none even
  // where W is infinite (0 * Inf would be NaN): W(0, 1) meets the stored
  // zero at (1, 0), W(5, 2) every listed entry on row 5.
  const double inf = std::numeric_limits<double>::infinity();
  P.W[0 + 1 * 9] = P.W[5 + 2 * 9] = inf;
  const Lower some = lowerFrom(9, {{{0, 1.5}, {3, -2}}, {}, {}, {{4, 0.5}}});
  const Lower zeros = lowerFrom(9, {{{0, 1.5}, {1, 0.0}, {3, -2}}, {}, {}, {{4, 0.5}, {7, -0.0}}});
  std::vector<double> d0(P.delta0.size(), 0.0);
  const std::vector<double> want = product(some, P, nullptr, 1);
  EXPECT_TRUE(sameBits(product(zeros, P, d0.data(), 1), want));
  EXPECT_TRUE(std::none_of(want.begin(), want.end(), [](double x) { return std::isnan(x); }));
  d0[0] = 0.25;
  EXPECT_TRUE(sameBits(product(zeros, P, d0.data(), 3), product(some, P, d0.data(), 1)));
}

TEST(DirectionProduct, SweepsFromTheFormedProductMatchTheGivenOne) {
  // The module's path: U formed from D and delta0, then swept, against
  // the same sweeps on U formed by the reference.
  std::vector<int32_t> rows = {1500, 3, 900, 1499, 77, 1024, 2047, 8};
  Problem P = randomProblem(2100, rows, 0.7, 21, true);
  const Lower D = randomLower(2100, rows, true, 21);
  P.U = productReference(D, P, P.delta0.data());
  const Result want = run(P, 0.05, 2);
  for (int32_t threads : {1, 2, 3}) {
    Problem Q = P;
    Q.U = product(D, P, P.delta0.data(), threads);
    EXPECT_TRUE(sameBits(run(Q, 0.05, 2, threads), want)) << threads;
  }
}

TEST(WholeSweeps, SameBitsAsTheFormedProductSweptOnAnySymmetricW) {
  // Every column in order, W symmetric: U formed in the rows' scratch
  // gives what directionProduct then coordinateSweeps give. n past one
  // chunk, so two threads share the rows.
  const int32_t n = 1100;
  std::vector<int32_t> rows(n);
  for (int32_t r = 0; r < n; ++r) rows[r] = r;
  Problem P = randomProblem(n, rows, 0.003, 31, true);
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j < i; ++j) P.W[i + j * n] = P.W[j + static_cast<int64_t>(i) * n];
  std::vector<bool> listed(static_cast<std::size_t>(n) * n, false);
  for (std::size_t e = 0; e < P.li.size(); ++e)
    listed[std::max(P.li[e], P.lj[e]) + static_cast<int64_t>(std::min(P.li[e], P.lj[e])) * n] = true;
  std::vector<std::vector<std::pair<int32_t, double>>> cols(n);
  for (int32_t c = 0; c < n; c += 37)
    for (int32_t r = c; r < n; r += 101)
      if (!listed[r + static_cast<int64_t>(c) * n]) cols[c].push_back({r, 0.01 * (r - c + 1)});
  const Lower D = lowerFrom(n, cols);
  P.U = product(D, P, P.delta0.data(), 1);
  for (double tol : {-1.0, 1e-3}) {
    const Result want = run(P, 0.02, 4, 1, tol);
    for (int32_t threads : {1, 2}) {
      Result got{P.delta0, -1.0};
      const SweepList list{P.li.data(), P.lj.data(), P.g.data(), P.theta.data(),
                           static_cast<int32_t>(P.li.size())};
      SweepResult out;
      ASSERT_TRUE(wholeSweeps(P.W.data(), rows.data(), n, D.view(), list,
                              SweepControl{0.02, 4, tol, threads}, got.delta.data(), &out));
      got.quad = out.quad, got.sweeps = out.sweeps, got.worst = out.worst;
      EXPECT_TRUE(sameBits(got, want)) << threads << " " << tol;
    }
  }
}

TEST(LowerColumnsChecks, NameTheFirstMisplacedEntry) {
  int32_t c = -1;
  EXPECT_EQ(firstMisplacedEntry(lowerFrom(4, {{{0, 1}, {3, 1}}, {}, {{2, 1}, {3, 1}}}).view(), &c),
            -1);
  EXPECT_EQ(firstMisplacedEntry(lowerFrom(0, {}).view(), &c), -1);
  // Above the diagonal: row 1 of column 2 (storage position 3).
  EXPECT_EQ(firstMisplacedEntry(lowerFrom(4, {{{0, 1}, {3, 1}}, {{1, 1}}, {{1, 1}}}).view(), &c),
            3);
  EXPECT_EQ(c, 2);
  // Rows not ascending, and a row stored twice.
  EXPECT_EQ(firstMisplacedEntry(lowerFrom(4, {{{2, 1}, {1, 1}}}).view(), &c), 1);
  EXPECT_EQ(c, 0);
  EXPECT_EQ(firstMisplacedEntry(lowerFrom(4, {{}, {{3, 1}, {3, 1}}}).view(), &c), 1);
  EXPECT_EQ(c, 1);
  // A row outside the matrix.
  EXPECT_EQ(firstMisplacedEntry(lowerFrom(4, {{}, {}, {}, {{4, 1}}}).view(), &c), 0);
  EXPECT_EQ(c, 3);
}

TEST(LowerColumnsChecks, FindTheFirstListedPairStoredInEitherOrder) {
  const Lower D = lowerFrom(6, {{{0, 1}, {4, 1}}, {}, {{2, 1}, {3, 1}, {5, 1}}});
  const std::vector<int32_t> rows = {4, 0, 2, 3, 5, 1};
  // Local pairs: (0, 5) = rows (4, 1), (3, 2) = (3, 2) stored, (1, 0) = (0, 4) stored.
  std::vector<int32_t> li = {0, 3, 1}, lj = {5, 2, 0};
  EXPECT_EQ(firstStoredPair(D.view(), rows.data(), li.data(), lj.data(), 3), 1);
  EXPECT_EQ(firstStoredPair(D.view(), rows.data(), li.data() + 2, lj.data() + 2, 1), 0);
  // The diagonal (2, 2) is stored; (1, 1) and (5, 4) are not.
  li = {5, 4, 2}, lj = {5, 0, 2};
  EXPECT_EQ(firstStoredPair(D.view(), rows.data(), li.data(), lj.data(), 3), 2);
  EXPECT_EQ(firstStoredPair(D.view(), rows.data(), li.data(), lj.data(), 2), -1);
}

TEST(EntryMap, IndexColumnsNameTheFirstRepeat) {
  std::vector<int32_t> local(6), rows(4);
  int32_t earlier = -7;
  const double index[] = {3.7, 1, 6, 2};
  EXPECT_EQ(mapIndexColumns(index, 4, 6, local.data(), rows.data(), &earlier), -1);
  EXPECT_EQ(local, (std::vector<int32_t>{1, 3, 0, -1, -1, 2}));
  EXPECT_EQ(rows, (std::vector<int32_t>{2, 0, 5, 1}));
  const double repeated[] = {3, 1, 6, 1.5};
  EXPECT_EQ(mapIndexColumns(repeated, 4, 6, local.data(), rows.data(), &earlier), 3);
  EXPECT_EQ(earlier, 1);
  const double values[] = {6, 3.2, 4, 5};
  std::vector<int32_t> out(4);
  mapIndexColumns(index, 4, 6, local.data(), rows.data(), &earlier);
  EXPECT_EQ(entryColumns(values, 4, local.data(), out.data()), 2);
  EXPECT_EQ(out[0], 2);
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(entryColumns(values, 2, local.data(), out.data()), -1);
}

TEST(EntryMap, RepeatedPairsInEitherOrderAreFoundFirstInListOrder) {
  bool oom = false;
  int32_t earlier = -1;
  const std::vector<int32_t> li = {0, 2, 1, 3, 2, 0}, lj = {0, 1, 3, 3, 0, 0};
  // (0, 0) comes back at entry 5; (2, 0) and (1, 3) are new.
  EXPECT_EQ(firstRepeatedPair(li.data(), lj.data(), 6, 4, &earlier, &oom), 5);
  EXPECT_EQ(earlier, 0);
  const std::vector<int32_t> a = {2, 1, 3, 1}, b = {1, 3, 3, 2};  // (1, 2) mirrors (2, 1)
  EXPECT_EQ(firstRepeatedPair(a.data(), b.data(), 4, 4, &earlier, &oom), 3);
  EXPECT_EQ(earlier, 0);
  // Every pair of a 700-column block once, in a scrambled order: no repeat,
  // though keys collide in the table.
  std::vector<int32_t> x, y;
  for (int32_t i = 0; i < 700; ++i)
    for (int32_t j = 0; j <= i; ++j) {
      x.push_back((i * 7 + j) % 2 ? i : j);
      y.push_back((i * 7 + j) % 2 ? j : i);
    }
  std::mt19937 gen(1);
  std::vector<std::size_t> order(x.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::shuffle(order.begin(), order.end(), gen);
  std::vector<int32_t> sx(x.size()), sy(x.size());
  for (std::size_t k = 0; k < order.size(); ++k) sx[k] = x[order[k]], sy[k] = y[order[k]];
  const int32_t count = static_cast<int32_t>(sx.size());
  EXPECT_EQ(firstRepeatedPair(sx.data(), sy.data(), count, 700, &earlier, &oom), -1);
  sx.push_back(sy[100]), sy.push_back(sx[100]);
  EXPECT_EQ(firstRepeatedPair(sx.data(), sy.data(), count + 1, 700, &earlier, &oom), count);
  EXPECT_EQ(earlier, 100);
  EXPECT_FALSE(oom);
  for (long k = 1; k <= 2; ++k) {
    scratch::failCountdown = k;
    oom = false;
    EXPECT_EQ(firstRepeatedPair(a.data(), b.data(), 4, 4, &earlier, &oom), -1);
    EXPECT_TRUE(oom);
    scratch::failCountdown = 0;
  }
}

}  // namespace
