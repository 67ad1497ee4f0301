#pragma once
// Kernels of the block conjugate-gradient solver on compressed columns
// with 64-bit 0-based row indices.
#include <cstdint>

#include "pcg/columns.hpp"

struct SparseColumns {
  const uint64_t* Ir;
  const uint64_t* Jc;
  const double* values;
};

// A triangular factor and the reciprocals of its diagonal, held apart so
// that the caller's values are never written.
struct Factor {
  SparseColumns m;
  const double* recipDiag;
};

// q = A p, A symmetric given by its upper triangle (diagonal last in each
// column); q must not alias p.
void symUpperProduct(double* q, const double* p, int64_t n, const SparseColumns& A);

// z = L^-1 r, L lower triangular with its diagonal first in each column;
// z may be r.
void forwardSolveLower(double* z, const double* r, int64_t n, const Factor& L);

// z = U^-T r, U upper triangular with its diagonal last in each column;
// z must not alias r.
void forwardSolveUpperT(double* z, const double* r, int64_t n, const Factor& U);

// z = L^-T y, L as for forwardSolveLower; z may be y.
void backwardSolveLowerT(double* z, const double* y, int64_t n, const Factor& L);

// recip[j] = 1 / (the diagonal of column j), diagonal first (lower) or last.
void reciprocalDiagonal(double* recip, int64_t n, const SparseColumns& M, bool diagonalFirst);

// Layout checks: the first column that breaks the layout, or -1.
// Upper: rows below the column's number, the diagonal stored last.
int64_t firstBadUpperColumn(int64_t n, const uint64_t* Ir, const uint64_t* Jc);
// Lower: the diagonal stored first, then rows beyond the column's number.
int64_t firstBadLowerColumn(int64_t n, const uint64_t* Ir, const uint64_t* Jc);

// One call's problem, as the gateway bound and checked it.
struct DirsolveProblem : ColumnRequest {
  SparseColumns A{};
  const Factor* L = nullptr;  // no preconditioner when null
  const Factor* U = nullptr;  // forward solve through U^T when given with L
  // Use the AVX-512 build of the column loop where the build and the
  // processor have it; results are the same bits either way.
  bool wideVectors = true;
};

// Columns are solved in panels of W lanes held side by side (see
// pcgSolvePanel), W a power of two up to 16; each thread works in one
// panel of every scratch buffer at a time.

// The lanes per panel for this problem on numThreads threads. Results never
// depend on it.
int panelWidth(const DirsolveProblem& pb, int numThreads);

// Doubles each of the scratch buffers R, P, Z and XF must hold: a panel per
// thread, aligned to whole cache lines.
uint64_t panelScratch(const DirsolveProblem& pb, int numThreads);

// Panels of `width` lanes cover the k columns, then halving widths cover
// the rest: panelCount of them, panel u starting at column `first`.
struct Panel {
  int64_t first;
  int width;
};
int64_t panelCount(int64_t k, int width);
Panel panelAt(int64_t u, int64_t k, int width);

// Solves every column on numThreads threads. X is n x k (m x k with a row
// subset); R, P, Z and XF hold panelScratch(pb, numThreads) doubles each.
// Indices in B and rowSubset must already lie in 1..n. report, where its
// arrays are given, receives each column's passes and relative residual.
void solveColumns(const DirsolveProblem& pb, double* X, int numThreads, double* R, double* P,
                  double* Z, double* XF, const ColumnReport& report = {});
