#pragma once
// Gradient entries D = X'Q - R of one block of K columns and the free set:
// the entries with |D| above a threshold or stored in a sparsity pattern.
#include <cstdint>

#include "common/entrylist.hpp"

// Free entries in the order found: 0-based column-major position r + j*N in
// the N x K block (low 32 bits), the gradient D and the product P.
struct FreeEntries : EntryList<uint32_t, double, double> {
  const uint32_t* linearIndex() const { return data<0>(); }
  const double* gradient() const { return data<1>(); }
  const double* product() const { return data<2>(); }
};

// Rows of X'Q formed by one dgemm; the scratch holds K times this many doubles.
constexpr int64_t kSliceRows = 8192;

// 0-based diagonal row of a block column whose 1-based global column is c:
// trunc(c) - 1 in wrapping unsigned arithmetic, so a value below 1 or NaN
// gives a row past every slice and the column has no candidates.
uint64_t diagonalRow(double c);

// One block's problem, as the gateway bound and checked it.
struct FreeSetProblem {
  const double* X = nullptr;  // M x N
  const double* Q = nullptr;  // M x K
  const double* R = nullptr;  // N x K
  // The pattern: K columns, 0-based rows; only its structure counts.
  const uint64_t* patternIr = nullptr;
  const uint64_t* patternJc = nullptr;
  const double* colIndex = nullptr;  // K 1-based global columns
  int64_t M = 0, N = 0, K = 0;
  double lambda = 0.0;
  bool wholeColumns = true;  // every row a candidate, colIndex not read
};

// Appends to `list`, slice by slice of kSliceRows rows, then by block
// column, then by row, every entry (r, j) with |P - R| > lambda or whose
// position the pattern stores, P(r, j) = sum_k X(k, r) Q(k, j). Without
// whole columns only rows r >= diagonalRow(colIndex[j]) are candidates.
// N*K must stay below 2^32, M and K within the BLAS integers. False when
// scratch or growth of the list fails.
bool selectFreeEntries(const FreeSetProblem& pb, FreeEntries& list);
