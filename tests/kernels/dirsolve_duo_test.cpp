#include "dirsolve_duo/dirsolve_duo.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "common/scratch.hpp"
#include "dirsolve_duo/blocklayout.hpp"
#include "dirsolve_duo/panels.hpp"
#include "helpers.hpp"

namespace {

using Idx = std::vector<uint64_t>;

// A sparse matrix in host form, built from a dense column-major one.
struct Csc {
  int64_t n = 0;
  Idx Ir, Jc;
  Vec v;
  Vec dense;
};

Csc fromDense(int64_t n, const Vec& a) {
  Csc m;
  m.n = n;
  m.dense = a;
  m.Jc.push_back(0);
  for (int64_t c = 0; c < n; ++c) {
    for (int64_t r = 0; r < n; ++r)
      if (a[r + c * n] != 0.0) {
        m.Ir.push_back(r);
        m.v.push_back(a[r + c * n]);
      }
    m.Jc.push_back(m.Ir.size());
  }
  return m;
}

// 2-D Laplacian of a gx x gy grid plus shift * I.
Csc laplacian(int64_t gx, int64_t gy, double shift) {
  const int64_t n = gx * gy;
  Vec a(n * n, 0.0);
  for (int64_t y = 0; y < gy; ++y)
    for (int64_t x = 0; x < gx; ++x) {
      const int64_t i = x + y * gx;
      a[i + i * n] = 4.0 + shift;
      if (x > 0) a[i + (i - 1) * n] = a[(i - 1) + i * n] = -1.0;
      if (y > 0) a[i + (i - gx) * n] = a[(i - gx) + i * n] = -1.0;
    }
  return fromDense(n, a);
}

Idx randomBlocks(int64_t n, uint64_t numBlocks, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<uint64_t> d(0, numBlocks - 1);
  Idx b(n);
  for (auto& x : b) x = d(gen);
  return b;
}

// A built layout that frees itself.
struct Built {
  BlockLayout layout;
  DiagBlocks D;
  CouplingLists C;
  LayoutStatus status;
  Built(const Csc& A, const Idx& blocks, int32_t whole, bool inverse = false) {
    layout.Ir = A.Ir.data();
    layout.Jc = A.Jc.data();
    layout.values = A.v.data();
    layout.blockIndex = blocks.data();
    layout.wholeBlocks = whole;
    layout.n = A.n;
    status = buildBlockLayout(layout, D, C);
    if (status == LayoutStatus::ok && inverse && !computeInverseDiagonal(layout, D))
      status = LayoutStatus::outOfMemory;
  }
  ~Built() { freeBlockLayout(layout, D, C); }
  Built(const Built&) = delete;
  Built& operator=(const Built&) = delete;

  template <class T>
  std::vector<T> get(const T* p, uint64_t count) const {
    return std::vector<T>(p, p + count);
  }
  uint64_t pairs() const { return uint64_t(layout.numBlocks) * layout.numBlocks; }
};

using U16 = std::vector<uint16_t>;

// Variables 0..3 in blocks 1, 0, 1, 0; A(r, c) = 10 r + c + 1, all stored.
Csc fourByFour() {
  Vec a(16);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) a[r + 4 * c] = 10 * r + c + 1;
  return fromDense(4, a);
}

double at(const Csc& A, int r, int c) { return A.dense[r + c * A.n]; }

TEST(BlockLayout, GroupsVariablesStablyAndSplitsEntries) {
  const Csc A = fourByFour();
  const Idx blocks{1, 0, 1, 0};
  for (int32_t whole : {1, 0}) {
    Built b(A, blocks, whole);
    ASSERT_EQ(b.status, LayoutStatus::ok);
    EXPECT_EQ(b.layout.numBlocks, 2);
    EXPECT_EQ(b.get(b.layout.perm, 4), (Idx{1, 3, 0, 2}));
    EXPECT_EQ(b.get(b.layout.invPerm, 4), (Idx{2, 0, 3, 1}));
    EXPECT_EQ(b.get(b.layout.blockStart, 3), (Idx{0, 2, 4}));

    // Pair 1 = column block 0 with row block 1, pair 2 the reverse; within
    // a pair by column position, then A's stored order.
    EXPECT_EQ(b.get(b.C.pairStart, 5), (Idx{0, 0, 4, 8, 8}));
    EXPECT_EQ(b.get(b.C.coupleCol, 8), (U16{0, 0, 1, 1, 0, 0, 1, 1}));
    EXPECT_EQ(b.get(b.C.coupleRow, 8), (U16{0, 1, 0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(b.get(b.C.coupleValue, 8), (Vec{at(A, 0, 1), at(A, 2, 1), at(A, 0, 3), at(A, 2, 3),
                                              at(A, 1, 0), at(A, 3, 0), at(A, 1, 2), at(A, 3, 2)}));

    if (whole) {
      EXPECT_EQ(b.get(b.D.diagColStart, 5), (Idx{0, 2, 4, 6, 8}));
      EXPECT_EQ(b.get(b.D.diagRow, 8), (U16{0, 1, 0, 1, 0, 1, 0, 1}));
      EXPECT_EQ(b.get(b.D.diagValue, 8), (Vec{at(A, 1, 1), at(A, 3, 1), at(A, 1, 3), at(A, 3, 3),
                                              at(A, 0, 0), at(A, 2, 0), at(A, 0, 2), at(A, 2, 2)}));
    } else {
      // Lower triangles: the diagonal first in every column.
      EXPECT_EQ(b.get(b.D.diagColStart, 5), (Idx{0, 2, 3, 5, 6}));
      EXPECT_EQ(b.get(b.D.diagRow, 6), (U16{0, 1, 1, 0, 1, 1}));
      EXPECT_EQ(b.get(b.D.diagValue, 6), (Vec{at(A, 1, 1), at(A, 3, 1), at(A, 3, 3), at(A, 0, 0),
                                              at(A, 2, 0), at(A, 2, 2)}));
    }
    EXPECT_EQ(b.D.diagCount, whole ? 8u : 6u);
    EXPECT_EQ(b.D.invDiag, nullptr);
  }
}

TEST(BlockLayout, UnusedBlockNumbersGiveEmptyBlocks) {
  const Csc A = fourByFour();
  Built b(A, Idx{2, 0, 2, 0}, 1);
  ASSERT_EQ(b.status, LayoutStatus::ok);
  EXPECT_EQ(b.layout.numBlocks, 3);
  EXPECT_EQ(b.get(b.layout.blockStart, 4), (Idx{0, 2, 2, 4}));
  // Only pairs (0, 2) and (2, 0) hold entries.
  EXPECT_EQ(b.get(b.C.pairStart, 10), (Idx{0, 0, 0, 4, 4, 4, 4, 8, 8, 8}));
}

TEST(BlockLayout, OneBlockIsTheMatrixItself) {
  const Csc A = laplacian(3, 3, 0.5);
  const Idx blocks(A.n, 0);
  for (int32_t whole : {1, 0}) {
    Built b(A, blocks, whole);
    ASSERT_EQ(b.status, LayoutStatus::ok);
    for (int64_t i = 0; i < A.n; ++i) EXPECT_EQ(b.layout.perm[i], uint64_t(i));
    EXPECT_EQ(b.get(b.C.pairStart, 2), (Idx{0, 0}));
    Idx cs;
    U16 rows;
    Vec vals;
    cs.push_back(0);
    for (int64_t c = 0; c < A.n; ++c) {
      for (uint64_t e = A.Jc[c]; e < A.Jc[c + 1]; ++e)
        if (whole || A.Ir[e] >= uint64_t(c)) {
          rows.push_back(static_cast<uint16_t>(A.Ir[e]));
          vals.push_back(A.v[e]);
        }
      cs.push_back(rows.size());
    }
    EXPECT_EQ(b.get(b.D.diagColStart, A.n + 1), cs);
    EXPECT_EQ(b.get(b.D.diagRow, b.D.diagCount), rows);
    EXPECT_EQ(b.get(b.D.diagValue, b.D.diagCount), vals);
  }
}

TEST(BlockLayout, SingletonBlocksKeepOnlyTheDiagonal) {
  const Csc A = laplacian(3, 2, 0.0);
  Idx blocks(A.n);
  for (int64_t v = 0; v < A.n; ++v) blocks[v] = A.n - 1 - v;
  Built b(A, blocks, 1, true);
  ASSERT_EQ(b.status, LayoutStatus::ok);
  ASSERT_EQ(b.D.diagCount, uint64_t(A.n));
  for (int64_t i = 0; i < A.n; ++i) {
    EXPECT_EQ(b.D.diagRow[i], 0);
    EXPECT_EQ(b.D.diagValue[i], 4.0);
    EXPECT_EQ(b.D.invDiag[i], 0.25);
  }
  EXPECT_EQ(b.C.pairStart[b.pairs()], A.Ir.size() - A.n);
}

// y[invPerm[v]] = sum_u A(v, u) x[invPerm[u]], in double.
Vec plainProduct(const Csc& A, const BlockLayout& layout, const Vec& x) {
  Vec y(A.n, 0.0);
  for (int64_t v = 0; v < A.n; ++v) {
    double s = 0.0;
    for (int64_t u = 0; u < A.n; ++u) s += A.dense[v + u * A.n] * x[layout.invPerm[u]];
    y[layout.invPerm[v]] = s;
  }
  return y;
}

TEST(BlockLayout, ProductsMatchThePlainSparseProduct) {
  const Csc A = laplacian(7, 5, 0.3);
  Idx blocks = randomBlocks(A.n, 11, 11);
  for (auto& b : blocks)
    if (b == 2) b = 5;  // block 2 empty
  const Vec x = randomVector(A.n, 3);
  for (int32_t whole : {1, 0}) {
    Built b(A, blocks, whole);
    ASSERT_EQ(b.status, LayoutStatus::ok);
    const Vec want = plainProduct(A, b.layout, x);
    Vec y(A.n, 0.0);
    if (whole)
      blockProductWhole(b.layout, b.D, b.C, y.data(), x.data(), 0, b.layout.numBlocks);
    else
      blockProductLower(b.layout, b.D, b.C, y.data(), x.data(), 0, b.layout.numBlocks);
    for (int64_t i = 0; i < A.n; ++i) EXPECT_NEAR(y[i], want[i], 1e-13) << i;

    // A range of blocks writes only its own positions.
    const double mark = -7.5;
    Vec part(A.n, mark);
    const uint64_t lo = b.layout.blockStart[1], hi = b.layout.blockStart[4];
    for (uint64_t i = lo; i < hi; ++i) part[i] = 0.0;
    if (whole)
      blockProductWhole(b.layout, b.D, b.C, part.data(), x.data(), 1, 4);
    else
      blockProductLower(b.layout, b.D, b.C, part.data(), x.data(), 1, 4);
    for (int64_t i = 0; i < A.n; ++i) {
      if (uint64_t(i) >= lo && uint64_t(i) < hi)
        EXPECT_EQ(part[i], y[i]) << i;
      else
        EXPECT_EQ(part[i], mark) << i;
    }
    // Block by block: the same bits as all blocks at once.
    Vec single(A.n, 0.0);
    for (int32_t k = 0; k < b.layout.numBlocks; ++k) {
      if (whole)
        blockProductWhole(b.layout, b.D, b.C, single.data(), x.data(), k, k + 1);
      else
        blockProductLower(b.layout, b.D, b.C, single.data(), x.data(), k, k + 1);
    }
    EXPECT_TRUE(sameBits(single, y));
  }
}

TEST(BlockLayout, LimitsOnBlocksAreReported) {
  Csc I;
  I.n = kMaxBlockSize + 1;
  for (int64_t i = 0; i < I.n; ++i) {
    I.Jc.push_back(i);
    I.Ir.push_back(i);
    I.v.push_back(1.0);
  }
  I.Jc.push_back(I.n);
  Idx blocks(I.n, 3);
  EXPECT_EQ(Built(I, blocks, 1).status, LayoutStatus::blockTooLarge);
  blocks[0] = 0;  // now blocks of 1 and 65536
  EXPECT_EQ(Built(I, blocks, 0).status, LayoutStatus::ok);

  const Csc A = fourByFour();
  EXPECT_EQ(Built(A, Idx{0, uint64_t(INT32_MAX), 0, 0}, 1).status, LayoutStatus::tooManyBlocks);
  EXPECT_EQ(Built(A, Idx{0, ~uint64_t(0), 0, 0}, 1).status, LayoutStatus::tooManyBlocks);
  // numBlocks^2 + 1 counts cannot be held: out of memory, not a crash.
  EXPECT_EQ(Built(A, Idx{0, uint64_t(INT32_MAX) - 1, 0, 0}, 1).status, LayoutStatus::outOfMemory);
}

TEST(BlockLayout, EachAllocationFailingInTurnIsReported) {
  const Csc A = laplacian(4, 3, 0.1);
  const Idx blocks = randomBlocks(A.n, 3, 5);
  for (int32_t whole : {1, 0}) {
    long k = 1;
    for (;; ++k) {
      scratch::failCountdown = k;
      Built b(A, blocks, whole, true);
      const bool failed = scratch::failCountdown == 0;
      scratch::failCountdown = 0;
      if (!failed) {
        EXPECT_EQ(b.status, LayoutStatus::ok);
        break;
      }
      EXPECT_EQ(b.status, LayoutStatus::outOfMemory) << k;
    }
    EXPECT_EQ(k, 12);  // ten arrays and the reciprocal diagonal failed in turn
  }
}

// The per-block passes in turn, as the reference for applyBlockSgs.
Vec blockByBlock(const Built& b, const Vec& r) {
  Vec z(r.size(), 0.0), s(r.size());
  for (int32_t k = 0; k < b.layout.numBlocks; ++k) {
    if (b.layout.wholeBlocks == 1) {
      blockSgsWhole(b.layout, b.D, k, z.data(), r.data());
    } else {
      const uint64_t lo = b.layout.blockStart[k], hi = b.layout.blockStart[k + 1];
      std::copy(r.begin() + lo, r.begin() + hi, s.begin());
      blockSgsLower(b.layout, b.D, k, z.data(), s.data());
    }
  }
  return z;
}

Vec applied(const Built& b, const Vec& r, bool finite) {
  Vec z(r.size(), 99.0), s(blockSgsScratch(b.layout) + 1);
  applyBlockSgs(b.layout, b.D, z.data(), r.data(), s.data(), finite);
  return z;
}

TEST(BlockSgs, SideBySideSweepsGiveTheBlockByBlockBits) {
  Csc A = laplacian(9, 7, 0.2);
  // Unequal blocks, one empty, one whose residual is negligible.
  Idx blocks = randomBlocks(A.n, 9, 21);
  for (auto& x : blocks)
    if (x == 4) x = 8;
  Vec r = randomVector(A.n, 8);
  for (int64_t v = 0; v < A.n; ++v)
    if (blocks[v] == 6) r[v] = 1e-10;
  for (int32_t whole : {1, 0}) {
    Built b(A, blocks, whole, whole == 1);
    ASSERT_EQ(b.status, LayoutStatus::ok);
    ASSERT_TRUE(finiteBlocks(b.D));
    Vec rp(A.n);
    for (int64_t i = 0; i < A.n; ++i) rp[i] = r[b.layout.perm[i]];
    const Vec want = blockByBlock(b, rp);
    EXPECT_TRUE(sameBits(applied(b, rp, true), want)) << whole;
    EXPECT_TRUE(sameBits(applied(b, rp, false), want)) << whole;
    const uint64_t lo = b.layout.blockStart[6];
    for (uint64_t i = lo; i < b.layout.blockStart[7]; ++i) EXPECT_EQ(want[i], 0.0);
  }
  // An infinite entry: the full products, NaN and all.
  A.v[A.Jc[5] + 1] = std::numeric_limits<double>::infinity();
  for (int32_t whole : {1, 0}) {
    Built b(A, blocks, whole, whole == 1);
    EXPECT_FALSE(finiteBlocks(b.D));
    const Vec want = blockByBlock(b, r);
    EXPECT_TRUE(sameBits(applied(b, r, false), want)) << whole;
  }
}

TEST(BlockSgs, SingletonBlocksScaleByTheDiagonal) {
  const Csc A = laplacian(4, 4, 1.0);
  Idx blocks(A.n);
  for (int64_t v = 0; v < A.n; ++v) blocks[v] = v;
  Vec r = randomVector(A.n, 4);
  r[3] = 0.9e-8;  // r^2 below 1e-16
  for (int32_t whole : {1, 0}) {
    Built b(A, blocks, whole, whole == 1);
    const Vec z = applied(b, r, true);
    for (int64_t i = 0; i < A.n; ++i) EXPECT_DOUBLE_EQ(z[i], i == 3 ? 0.0 : r[i] / 5.0) << i;
  }
}

TEST(BlockSgs, OneBlockIsOneSymmetricGaussSeidelPass) {
  const Csc A = laplacian(5, 4, 0.1);
  const int64_t n = A.n;
  const Vec r = randomVector(n, 6);
  // Dense reference: forward then backward Gauss-Seidel from z = 0.
  Vec z(n, 0.0);
  for (int pass = 0; pass < 2; ++pass)
    for (int64_t q = 0; q < n; ++q) {
      const int64_t i = pass == 0 ? q : n - 1 - q;
      double t = r[i];
      for (int64_t j = 0; j < n; ++j) t -= A.dense[i + j * n] * z[j];
      z[i] += t / A.dense[i + i * n];
    }
  const Idx blocks(n, 0);
  Built whole(A, blocks, 1, true), lower(A, blocks, 0);
  const Vec zw = applied(whole, r, true), zl = applied(lower, r, true);
  for (int64_t i = 0; i < n; ++i) {
    EXPECT_NEAR(zw[i], z[i], 1e-14);
    EXPECT_NEAR(zl[i], z[i], 1e-14);
  }
}

TEST(Layout, FirstBadWholeColumnFindsBrokenColumns) {
  const Csc A = laplacian(2, 2, 0.0);
  EXPECT_EQ(firstBadWholeColumn(A.n, A.Ir.data(), A.Jc.data()), -1);
  Idx Ir = A.Ir;
  std::swap(Ir[A.Jc[2]], Ir[A.Jc[2] + 1]);  // column 2 descends
  EXPECT_EQ(firstBadWholeColumn(A.n, Ir.data(), A.Jc.data()), 2);
  // Column 1 without its diagonal: rows 0, 3 only.
  const Idx Jc{0, 1, 3, 4, 5}, Ir2{0, 0, 3, 2, 3};
  EXPECT_EQ(firstBadWholeColumn(4, Ir2.data(), Jc.data()), 1);
  const Idx Ir3{0, 1, 4, 2, 3};  // row 4 of a 4 x 4 matrix
  EXPECT_EQ(firstBadWholeColumn(4, Ir3.data(), Jc.data()), 1);
}

// Dense solution of A X = B by Cholesky, for comparison.
Vec denseSolve(const Csc& A, const Vec& B, int64_t k) {
  const int64_t n = A.n;
  Vec L(n * n, 0.0);
  for (int64_t j = 0; j < n; ++j) {
    double d = A.dense[j + j * n];
    for (int64_t p = 0; p < j; ++p) d -= L[j + p * n] * L[j + p * n];
    L[j + j * n] = std::sqrt(d);
    for (int64_t i = j + 1; i < n; ++i) {
      double s = A.dense[i + j * n];
      for (int64_t p = 0; p < j; ++p) s -= L[i + p * n] * L[j + p * n];
      L[i + j * n] = s / L[j + j * n];
    }
  }
  Vec X = B;
  for (int64_t c = 0; c < k; ++c) {
    double* x = X.data() + c * n;
    for (int64_t i = 0; i < n; ++i) {
      for (int64_t p = 0; p < i; ++p) x[i] -= L[i + p * n] * x[p];
      x[i] /= L[i + i * n];
    }
    for (int64_t i = n - 1; i >= 0; --i) {
      for (int64_t p = i + 1; p < n; ++p) x[i] -= L[p + i * n] * x[p];
      x[i] /= L[i + i * n];
    }
  }
  return X;
}

// One solver call on plain arrays, with its own layout and scratch.
struct Solve {
  const Csc& A;
  Idx blocks;
  int32_t whole = 1;
  bool precondition = true;
  Vec B{};
  bool canonical = false;
  Vec xIn{}, rowSubset{};
  int32_t maxIter = 500;
  double tol = 1e-12;
  bool wideVectors = true;
  // Each column's passes and relative residual from the last run.
  mutable Vec passes{}, relres{};

  Vec run(int threads) const {
    Built b(A, blocks, whole, precondition && whole == 1);
    EXPECT_EQ(b.status, LayoutStatus::ok);
    DuoProblem pb;
    pb.request.n = A.n;
    pb.request.k = canonical ? int64_t(B.size()) : int64_t(B.size()) / A.n;
    pb.layout = &b.layout;
    pb.diag = &b.D;
    pb.couple = &b.C;
    pb.precondition = precondition;
    pb.wideVectors = wideVectors;
    pb.request.B = B.data();
    pb.request.canonical = canonical;
    pb.request.xIn = xIn.empty() ? nullptr : xIn.data();
    pb.request.rowSubset = rowSubset.empty() ? nullptr : rowSubset.data();
    pb.request.m = int64_t(rowSubset.size());
    pb.request.maxIter = maxIter;
    pb.request.tol = tol;
    const size_t slices = duoScratch(pb, threads);
    Vec R(slices), P(slices), Z(slices), XF(slices), S(threads * sgsScratchSize(pb, threads) + 1);
    Vec X((rowSubset.empty() ? A.n : pb.request.m) * pb.request.k, -1.0);
    passes.assign(pb.request.k, -1.0);
    relres.assign(pb.request.k, -1.0);
    ColumnReport report;
    report.passes = passes.data();
    report.relres = relres.data();
    solveBlockColumns(pb, X.data(), threads, {R.data(), P.data(), Z.data(), XF.data()}, S.data(),
                      report);
    return X;
  }
};

TEST(Solver, AllVariantsMatchTheDenseSolution) {
  const Csc A = laplacian(8, 6, 0.05);
  const int64_t k = 3;
  Solve s{A, randomBlocks(A.n, 5, 2)};
  // Large enough that tol, not the preconditioner's absolute level of
  // 1e-16 per block, ends the iteration.
  const double scale = 1e8;
  s.B = randomVector(A.n * k, 9);
  for (double& b : s.B) b *= scale;
  const Vec want = denseSolve(A, s.B, k);
  Vec first;
  for (int32_t whole : {1, 0})
    for (bool pc : {false, true}) {
      s.whole = whole;
      s.precondition = pc;
      const Vec X = s.run(1);
      for (size_t i = 0; i < X.size(); ++i) EXPECT_NEAR(X[i], want[i], 1e-9 * scale) << whole << pc;
      // Bits for several threads, including more threads than columns.
      EXPECT_TRUE(sameBits(s.run(2), X));
      EXPECT_TRUE(sameBits(s.run(5), X));
    }
}

TEST(Solver, PreconditionerCutsTheIterations) {
  const Csc A = laplacian(12, 12, 0.01);
  Solve s{A, Idx(A.n)};
  for (int64_t v = 0; v < A.n; ++v) s.blocks[v] = v / 36;
  s.B = randomVector(A.n, 1);
  s.tol = 1e-8;
  // The reported passes are those that shape the result: one fewer
  // changes it, a cap at the count does not.
  auto passes = [&](bool pc) {
    s.precondition = pc;
    s.maxIter = 1000;
    const Vec full = s.run(1);
    const int32_t it = static_cast<int32_t>(s.passes[0]);
    s.maxIter = it;
    EXPECT_TRUE(sameBits(s.run(1), full));
    EXPECT_EQ(s.passes[0], it);
    s.maxIter = it - 1;
    EXPECT_FALSE(sameBits(s.run(1), full));
    EXPECT_EQ(s.passes[0], it - 1);
    return it;
  };
  const int32_t plain = passes(false), sgs = passes(true);
  EXPECT_LT(sgs, plain * 3 / 4) << sgs << " vs " << plain;
}

TEST(Solver, RelativeResidualIsTheIterationsOwn) {
  const Csc A = laplacian(7, 6, 0.05);
  const int64_t k = 3;
  Solve s{A, randomBlocks(A.n, 4, 8)};
  s.B = randomVector(A.n * k, 10);
  for (double& b : s.B) b *= 1e6;  // tol, not the blocks' absolute level, stops
  for (int64_t i = 0; i < A.n; ++i) s.B[A.n + i] = 0.0;
  s.tol = 1e-10;
  const Vec& dense = A.dense;
  for (int32_t whole : {1, 0})
    for (bool pc : {false, true}) {
      s.whole = whole;
      s.precondition = pc;
      const Vec X = s.run(2);
      for (int64_t j : {0, 2}) {
        double rr = 0.0, bb = 0.0;
        for (int64_t i = 0; i < A.n; ++i) {
          double ax = 0.0;
          for (int64_t c = 0; c < A.n; ++c) ax += dense[i + c * A.n] * X[c + j * A.n];
          const double b = s.B[i + j * A.n];
          rr += (b - ax) * (b - ax);
          bb += b * b;
        }
        EXPECT_GT(s.passes[j], 1.0);
        EXPECT_LT(s.relres[j], 1e-10);
        EXPECT_NEAR(s.relres[j], std::sqrt(rr / bb), 1e-12) << whole << pc << j;
      }
      EXPECT_EQ(s.passes[1], 0.0);  // b = 0
      EXPECT_EQ(s.relres[1], 0.0);
    }
}

TEST(Solver, CallersNumberingOutside) {
  const Csc A = laplacian(5, 5, 0.2);
  Solve unit{A, randomBlocks(A.n, 4, 17)};
  unit.B.assign(A.n * 2, 0.0);
  unit.B[2] = 1.0;         // variable 3
  unit.B[A.n + 16] = 1.0;  // variable 17
  const Vec full = unit.run(1);

  Solve canon = unit;
  canon.canonical = true;
  canon.B = {3.0, 17.9};  // 17.9 names variable 17
  EXPECT_TRUE(sameBits(canon.run(2), full));

  canon.rowSubset = {5.0, 2.0, 5.0};
  const Vec sub = canon.run(1);
  ASSERT_EQ(sub.size(), 6u);
  for (int c = 0; c < 2; ++c) {
    EXPECT_EQ(sub[3 * c + 0], full[c * A.n + 4]);
    EXPECT_EQ(sub[3 * c + 1], full[c * A.n + 1]);
    EXPECT_EQ(sub[3 * c + 2], full[c * A.n + 4]);
  }
  // Plain CG in block order is CG in the caller's order, up to rounding.
  unit.precondition = false;
  const Vec plain = unit.run(1);
  Solve one = unit;
  one.blocks.assign(A.n, 0);
  const Vec X = one.run(1);
  for (size_t i = 0; i < X.size(); ++i) EXPECT_NEAR(X[i], plain[i], 1e-10);
}

TEST(Solver, StartingPointAndNegligibleRightHandSide) {
  const Csc A = laplacian(4, 5, 0.3);
  Solve s{A, randomBlocks(A.n, 3, 4)};
  s.B = randomVector(A.n * 2, 5);
  for (int64_t i = A.n; i < 2 * A.n; ++i) s.B[i] = 1e-9;  // sum of squares < 1e-16
  s.xIn = randomVector(A.n * 2, 6);
  const Csc Acopy = A;
  const Idx blocksCopy = s.blocks;
  const Vec Bcopy = s.B, xCopy = s.xIn;
  const Vec X = s.run(2);
  // The first column is x0 plus the solution; the second stays x0.
  Solve from0 = s;
  from0.xIn.clear();
  const Vec d = from0.run(1);
  for (int64_t i = 0; i < A.n; ++i) EXPECT_NEAR(X[i], s.xIn[i] + d[i], 1e-12);
  for (int64_t i = A.n; i < 2 * A.n; ++i) EXPECT_EQ(X[i], s.xIn[i]);
  // Nothing the caller passed is written.
  EXPECT_EQ(A.v, Acopy.v);
  EXPECT_EQ(A.Ir, Acopy.Ir);
  EXPECT_EQ(A.Jc, Acopy.Jc);
  EXPECT_EQ(s.blocks, blocksCopy);
  EXPECT_TRUE(sameBits(s.B, Bcopy));
  EXPECT_TRUE(sameBits(s.xIn, xCopy));
}

TEST(Solver, NegligibleResidualInEveryBlockStopsWithoutNaN) {
  // Singleton blocks whose residuals are each below 1e-16 while their sum
  // is not: z = 0 at once, the first step would be 0 / 0.
  const Csc A = laplacian(4, 4, 0.5);
  Idx singletons(A.n);
  for (int64_t v = 0; v < A.n; ++v) singletons[v] = v;
  for (int32_t whole : {1, 0}) {
    Solve s{A, singletons, whole};
    s.B.assign(A.n, 0.9e-8);
    s.tol = 0.0;
    const Vec X = s.run(1);
    for (double x : X) EXPECT_EQ(x, 0.0);
    // The first step fails: no pass, the residual is b.
    EXPECT_EQ(s.passes[0], 0.0);
    EXPECT_EQ(s.relres[0], 1.0);
  }
  // 2 I solved exactly in one pass; with tol 0 the next residual is 0 in
  // every block and the iteration must keep the solution.
  Vec twoI(9, 0.0);
  for (int i = 0; i < 3; ++i) twoI[i * 4] = 2.0;
  const Csc D = fromDense(3, twoI);
  for (int32_t whole : {1, 0}) {
    Solve s{D, Idx{0, 1, 2}, whole};
    s.B = {1.0, -3.0, 0.5};
    s.tol = 0.0;
    s.maxIter = 50;
    EXPECT_TRUE(sameBits(s.run(1), (Vec{0.5, -1.5, 0.25})));
    EXPECT_EQ(s.passes[0], 1.0);
    EXPECT_EQ(s.relres[0], 0.0);
  }
}

// Lanes of a panel: each takes the bits of the one-column kernel on its own
// column. Some lanes have a negligible residual on some blocks (and every
// lane on one block), so the sweeps' per-lane skips are exercised.
template <int W>
void expectPanelKernelsMatchOneColumn(const Csc& A, const Idx& blocks) {
  const int64_t n = A.n;
  Vec in(n * W);
  for (int w = 0; w < W; ++w) {
    const Vec v = randomVector(n, 60 + w);
    for (int64_t i = 0; i < n; ++i) in[i * W + w] = v[i];
  }
  for (int32_t whole : {1, 0}) {
    Built b(A, blocks, whole, whole == 1);
    ASSERT_EQ(b.status, LayoutStatus::ok);
    const int32_t nb = b.layout.numBlocks;
    Vec r = in;
    for (int64_t i = 0; i < n; ++i)
      for (int w = 0; w < W; ++w) {
        const uint64_t blk = blocks[b.layout.perm[i]];
        if (blk == 1 || (blk == 3 && w % 3 == 1)) r[i * W + w] = 1e-10;
      }
    Vec out(n * W, 7.0), s(blockSgsScratch(b.layout, W) + 1);
    if (whole)
      duopanels::blockProductWholePanel<W>(b.layout, b.D, b.C, out.data(), in.data(), 0, nb);
    else
      duopanels::blockProductLowerPanel<W>(b.layout, b.D, b.C, out.data(), in.data(), 0, nb);
    for (int w = 0; w < W; ++w) {
      const Vec x = lane(in, W, w);
      Vec want(n, 0.0);
      if (whole)
        blockProductWhole(b.layout, b.D, b.C, want.data(), x.data(), 0, nb);
      else
        blockProductLower(b.layout, b.D, b.C, want.data(), x.data(), 0, nb);
      EXPECT_TRUE(sameBits(lane(out, W, w), want)) << "product W " << W << " lane " << w;
    }
    for (bool finite : {true, false}) {
      Vec z(n * W, 99.0);
      duopanels::applyBlockSgsPanel<W>(b.layout, b.D, z.data(), r.data(), s.data(), finite);
      for (int w = 0; w < W; ++w)
        EXPECT_TRUE(sameBits(lane(z, W, w), blockByBlock(b, lane(r, W, w))))
            << "sweeps W " << W << " lane " << w << " whole " << whole << " finite " << finite;
    }
  }
}

TEST(PanelKernels, EveryLaneComputesTheOneColumnBits) {
  const Csc A = laplacian(9, 7, 0.2);
  Idx blocks = randomBlocks(A.n, 9, 31);
  for (auto& x : blocks)
    if (x == 5) x = 8;  // block 5 empty
  expectPanelKernelsMatchOneColumn<1>(A, blocks);
  expectPanelKernelsMatchOneColumn<2>(A, blocks);
  expectPanelKernelsMatchOneColumn<8>(A, blocks);
  expectPanelKernelsMatchOneColumn<16>(A, blocks);
}

// The one-column solve from the reference kernels, in block order.
struct RefWhole {
  const Built& b;
  void apply(double* z, const double* p) const {
    blockProductWhole(b.layout, b.D, b.C, z, p, 0, b.layout.numBlocks);
  }
};
struct RefLower {
  const Built& b;
  void apply(double* z, const double* p) const {
    std::memset(z, 0, sizeof(double) * b.layout.n);
    blockProductLower(b.layout, b.D, b.C, z, p, 0, b.layout.numBlocks);
  }
};
struct RefSgs {
  const Built& b;
  void apply(double* z, const double* r) const {
    const Vec zr = blockByBlock(b, Vec(r, r + b.layout.n));
    std::copy(zr.begin(), zr.end(), z);
  }
};

struct OneColumn {
  Vec x;
  double passes, relres;
};

OneColumn solveOneColumn(const Solve& s, const Vec& bCol) {
  Built b(s.A, s.blocks, s.whole, s.precondition && s.whole == 1);
  const int64_t n = s.A.n;
  Vec r(n), p(n), z(n), x(n, 0.0);
  for (int64_t i = 0; i < n; ++i) r[i] = bCol[b.layout.perm[i]];
  double rel = -1.0;
  int32_t passes;
  auto run = [&](const auto& op) {
    if (s.precondition)
      passes = pcgSolveColumn(op, RefSgs{b}, n, x.data(), s.maxIter, s.tol, r.data(), p.data(),
                              z.data(), &rel);
    else
      passes = pcgSolveColumn(op, NoPreconditioner{}, n, x.data(), s.maxIter, s.tol, r.data(),
                              p.data(), z.data(), &rel);
  };
  if (s.whole == 1)
    run(RefWhole{b});
  else
    run(RefLower{b});
  OneColumn out{Vec(n), double(passes), rel};
  for (int64_t v = 0; v < n; ++v) out.x[v] = x[b.layout.invPerm[v]];
  return out;
}

TEST(Solver, PanelsGiveEachColumnItsOneColumnBits) {
  const Csc A = laplacian(9, 8, 0.05);
  const int64_t n = A.n, k = 37;  // panels of 16, 16, 4 and 1 on one thread
  Solve s{A, randomBlocks(n, 6, 41)};
  s.B = randomVector(n * k, 42);
  for (double& b : s.B) b *= 1e4;
  for (int64_t v = 0; v < n; ++v) {
    s.B[v + 2 * n] = 0.0;     // no pass, relres 0
    s.B[v + 20 * n] = 1e-10;  // below the absolute level, relres 1
    s.B[v + 33 * n] = 1e200;  // r'r overflows: the first step is not finite
    // Right-hand sides negligible outside blocks 0 and 4: the other blocks'
    // residuals stay small for a while and the sweeps skip them in this
    // lane only.
    if (s.blocks[v] != 0 && s.blocks[v] != 4) s.B[v + 5 * n] = s.B[v + 17 * n] = 1e-10;
  }
  s.tol = 1e-9;
  for (int32_t whole : {1, 0})
    for (bool pc : {false, true}) {
      s.whole = whole;
      s.precondition = pc;
      Vec first;
      for (bool wide : {true, false})
        for (int threads : {1, 2, 3}) {
          s.wideVectors = wide;
          const Vec X = s.run(threads);
          if (!first.empty()) {
            EXPECT_TRUE(sameBits(X, first)) << whole << pc << wide << threads;
            continue;
          }
          first = X;
          for (int64_t j = 0; j < k; ++j) {
            const OneColumn want =
                solveOneColumn(s, Vec(s.B.begin() + j * n, s.B.begin() + (j + 1) * n));
            EXPECT_TRUE(sameBits(Vec(X.begin() + j * n, X.begin() + (j + 1) * n), want.x))
                << "column " << j << " whole " << whole << " pc " << pc;
            EXPECT_TRUE(sameBits(s.passes[j], want.passes)) << "column " << j;
            EXPECT_TRUE(sameBits(s.relres[j], want.relres)) << "column " << j;
          }
          EXPECT_EQ(s.passes[2], 0.0);
          EXPECT_EQ(s.relres[20], 1.0);
          EXPECT_EQ(s.passes[33], 0.0);
          EXPECT_GT(s.passes[5], 3.0);
        }
    }
}

}  // namespace
