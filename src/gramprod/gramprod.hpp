#pragma once
// Entries of the Gram matrix G = X'X above a threshold in magnitude, each
// unordered index pair at most once, diagonal values halved: the listed
// matrix plus its transpose is G with the small entries removed.
#include <cstdint>

#include "common/entrylist.hpp"

// Listed entries in the order found: 0-based row and column of G, value.
struct GramEntries : EntryList<int32_t, int32_t, double> {
  const int32_t* row() const { return data<0>(); }
  const int32_t* col() const { return data<1>(); }
  const double* value() const { return data<2>(); }
};

// Columns of X per block; the scratch holds one block pair's product.
constexpr int64_t kGramBlock = 2048;

// Step t of the walk over the nb(nb+1)/2 block pairs (column block p, row
// block q >= p) in the order (0,0), (0,1), ..., (0,nb-1), (1,1), ...
void gramBlockPair(int64_t t, int64_t nb, int64_t* p, int64_t* q);

// Lists the upper triangle (diagonal included) of the a x a Gram block of
// columns start..start+a-1: S = its full product (ld a), diagonal halved.
// False when growth of the list fails.
bool gramDiagonalBlock(const double* X, double* S, int64_t a, int64_t M, GramEntries& list,
                       double tau, int64_t start);

// Lists the a x b block of rows rowStart.. and columns colStart.. of G,
// S = X(:, rows)' X(:, cols) with ld a. False when growth fails.
bool gramOffDiagonalBlock(const double* X, double* S, int64_t a, int64_t b, int64_t M,
                          GramEntries& list, double tau, int64_t rowStart, int64_t colStart);

// The most entries an M x N matrix X can list for tau: N(N+1)/2, but none
// when M = 0 and tau >= 0 (or NaN), since every product is then 0.
int64_t gramMostEntries(int64_t N, int64_t M, double tau);

// Walks every block pair of the M x N matrix X on and below the block
// diagonal and lists the entries with |G| > tau into `list`; when
// gramMostEntries is 0 nothing is walked. N must stay below 2^31 and M
// within the BLAS integers. False when scratch or growth of the list fails.
bool gramThreshold(const double* X, int64_t N, int64_t M, double tau, GramEntries& list);
