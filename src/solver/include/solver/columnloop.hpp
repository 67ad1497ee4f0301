#pragma once
// The column loop both solvers run: threads take panels of lockstep
// columns; each panel gathers its right-hand sides (dense or unit) and
// starting points into the solver's numbering, runs pcgSolvePanel and
// scatters the solution back to the caller's rows. A module supplies its
// operator, its preconditioner (one per thread) and its numbering. Like
// pcg.hpp it lives in the instruction-set namespace and calls no inline
// function from outside it, so a module may build it twice; withWidth is
// the exception that keeps this true, as each of its instantiations takes
// a lambda of this namespace and so belongs to one build.
#include <omp.h>

#include <cstdint>
#include <cstring>

#include "common/widths.hpp"
#include "solver/columns.hpp"
#include "solver/lanes.hpp"
#include "solver/pcg.hpp"
#include "solver/request.hpp"

inline namespace PCG_ISA {

// The caller's variables are the solver's positions.
struct IdentityNumbering {
  int64_t position(int64_t v) const { return v; }
  int64_t variable(int64_t i) const { return i; }
};

// Positions are a permutation of the variables.
struct PermutedNumbering {
  const uint64_t* perm;     // position -> variable
  const uint64_t* invPerm;  // variable -> position
  int64_t position(int64_t v) const { return static_cast<int64_t>(invPerm[v]); }
  int64_t variable(int64_t i) const { return static_cast<int64_t>(perm[i]); }
};

namespace columnloop {

// Listed rows ahead that the gather of a row subset asks for.
constexpr int64_t kRowsAhead = 16;

// 0-based row of a 1-based index the gateway has checked to lie in 1..n.
inline int64_t rowOf(double index) { return static_cast<int64_t>(index) - 1; }

// Fills the panel r with the right-hand sides of columns col[] in the
// solver's numbering and, when given, x with their starting points;
// returns what the iteration may know of that start.
template <int W, class Numbering>
PanelStart loadPanel(const ColumnRequest& rq, const Numbering& num, const int64_t col[W], double* r,
                     double* x) {
  const int64_t n = rq.n;
  PanelStart start;
  if (rq.canonical) {
    std::memset(r, 0, sizeof(double) * static_cast<size_t>(n) * W);
    start.unitResiduals = true;
    start.zeroRows = n;
    for (int w = 0; w < W; ++w) {
      const int64_t i = num.position(rowOf(rq.B[col[w]]));
      r[i * W + w] = 1.0;
      start.zeroRows = i < start.zeroRows ? i : start.zeroRows;
    }
  } else {
    const double* b[W];
    for (int w = 0; w < W; ++w) b[w] = rq.B + col[w] * n;
    for (int64_t i = 0; i < n; ++i) {
      const int64_t v = num.variable(i);
      for (int w = 0; w < W; ++w) r[i * W + w] = b[w][v];
    }
  }
  if (rq.xIn) {
    const double* x0[W];
    for (int w = 0; w < W; ++w) x0[w] = rq.xIn + col[w] * n;
    for (int64_t i = 0; i < n; ++i) {
      const int64_t v = num.variable(i);
      for (int w = 0; w < W; ++w) x[i * W + w] = x0[w][v];
    }
  }
  start.zeroSolution = !rq.xIn;
  return start;
}

// Columns col[] of X from the panel x, rows in the caller's numbering: all
// of them, or the listed ones. Row by row: one panel row feeds W output
// columns. Listed rows come in any order, so they are asked for a few rows
// ahead.
template <int W, class Numbering>
void storePanel(const ColumnRequest& rq, const Numbering& num, const int64_t col[W],
                const double* x, double* X) {
  const int64_t m = rq.rowSubset ? rq.m : rq.n;
  double* out[W];
  for (int w = 0; w < W; ++w) out[w] = X + col[w] * m;
  for (int64_t i = 0; i < m; ++i) {
    if (rq.rowSubset && i + kRowsAhead < m) {
      const double* ahead = x + num.position(rowOf(rq.rowSubset[i + kRowsAhead])) * W;
      for (int w = 0; w < W; w += 8) prefetchLine(ahead + w);
    }
    const double* row = x + num.position(rq.rowSubset ? rowOf(rq.rowSubset[i]) : i) * W;
    for (int w = 0; w < W; ++w) out[w][i] = row[w];
  }
}

// The columns at positions first .. first + W - 1 of the plan's order,
// solved in lockstep in the thread's panels r, p, z and x (n rows of W
// values, element (i, w) at i * W + w): each keeps its own arithmetic, and
// the panel shares every read of the operator's and preconditioner's data.
template <int W, class Operator, class Preconditioner, class Numbering>
void solvePanel(const ColumnRequest& rq, const ColumnPlan& plan, const Operator& A,
                const Preconditioner& M, const Numbering& num, int64_t first, double* X, double* r,
                double* p, double* z, double* x, const ColumnReport& report) {
  int64_t col[W];
  for (int w = 0; w < W; ++w) col[w] = plan.order ? plan.order[first + w] : first + w;
  const PanelStart start = loadPanel<W>(rq, num, col, r, x);
  int32_t passes[W];
  double relres[W];
  pcgSolvePanel<W>(A, M, rq.n, x, rq.maxIter, rq.tol, r, p, z, passes, relres, start);
  for (int w = 0; w < W; ++w) {
    if (report.passes) report.passes[col[w]] = passes[w];
    if (report.relres) report.relres[col[w]] = relres[w];
  }
  storePanel<W>(rq, num, col, x, X);
}

// The first line boundary at or after a.
inline double* lineAligned(double* a) {
  const uintptr_t bytes = kLineDoubles * sizeof(double);
  const uintptr_t at = reinterpret_cast<uintptr_t>(a);
  return a + ((bytes - at % bytes) % bytes) / sizeof(double);
}

}  // namespace columnloop

// Solves every column of rq on numThreads threads into X (n x k, or m x k
// with a row subset), in the panels of `plan` (of at most MaxWidth lanes),
// in buffers of panelDoubles each. preconditionerFor(t) gives thread t's
// preconditioner (or NoPreconditioner). Indices in B and rowSubset must
// already lie in 1..n; report, where its arrays are given, receives each
// column's passes and relative residual. Every element of X is written.
template <int MaxWidth, class Operator, class PreconditionerFor, class Numbering>
void solveColumnLoop(const ColumnRequest& rq, const ColumnPlan& plan, const Operator& A,
                     const PreconditionerFor& preconditionerFor, const Numbering& num, double* X,
                     int numThreads, const PanelBuffers& buf, const ColumnReport& report) {
  using columnloop::solvePanel;
  const int64_t units = panelCount(rq.k, plan.width);
#pragma omp parallel num_threads(numThreads)
  {
    const int64_t t = omp_get_thread_num();
    double* r = columnloop::lineAligned(buf.R) + t * plan.slice;
    double* p = columnloop::lineAligned(buf.P) + t * plan.slice;
    double* z = columnloop::lineAligned(buf.Z) + t * plan.slice;
    double* x = columnloop::lineAligned(buf.XF) + t * plan.slice;
    const auto M = preconditionerFor(static_cast<int>(t));
#pragma omp for schedule(dynamic, 1)
    for (int64_t u = 0; u < units; ++u) {
      const Panel c = panelAt(u, rq.k, plan.width);
      withWidth<MaxWidth>(c.width, [&](auto lanes) {
        solvePanel<decltype(lanes)::value>(rq, plan, A, M, num, c.first, X, r, p, z, x, report);
      });
    }
  }
}

}  // namespace PCG_ISA
