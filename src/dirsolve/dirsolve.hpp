#pragma once
// Kernels of the block conjugate-gradient solver on compressed columns
// with 64-bit 0-based row indices.
#include <cstdint>

#include "solver/columns.hpp"
#include "solver/request.hpp"

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

// recip[j] = 1 / (the diagonal of column j), diagonal first (lower) or last.
void reciprocalDiagonal(double* recip, int64_t n, const SparseColumns& M, bool diagonalFirst);

// Layout checks: the first column that breaks the layout, or -1.
// Upper: rows below the column's number, the diagonal stored last.
int64_t firstBadUpperColumn(int64_t n, const uint64_t* Ir, const uint64_t* Jc);
// Lower: the diagonal stored first, then rows beyond the column's number.
int64_t firstBadLowerColumn(int64_t n, const uint64_t* Ir, const uint64_t* Jc);

// One call's problem, as the gateway bound and checked it.
struct DirsolveProblem {
  ColumnRequest request;  // right-hand sides, rows, stopping rule
  SparseColumns A{};
  const Factor* L = nullptr;  // no preconditioner when null
  const Factor* U = nullptr;  // forward solve through U^T when given with L
  // Use the AVX-512 build of the column loop where the build and the
  // processor have it; results are the same bits either way.
  bool wideVectors = true;
};

// The most lanes dirsolve's panels hold.
constexpr int kDirsolveLanes = kMaxLanes;

// Doubles each of the buffers R, P, Z and XF must hold for this problem on
// numThreads threads.
uint64_t dirsolveScratch(const DirsolveProblem& pb, int numThreads);

// Solves every column on numThreads threads. X is n x k (m x k with a row
// subset); each buffer holds dirsolveScratch(pb, numThreads) doubles.
// Indices in B and rowSubset must already lie in 1..n. report, where its
// arrays are given, receives each column's passes and relative residual.
void solveColumns(const DirsolveProblem& pb, double* X, int numThreads, const PanelBuffers& buf,
                  const ColumnReport& report = {});

// Reference forms, for tests: the panel kernels of panels.hpp at one lane,
// on one column. The module itself only runs panels.

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
