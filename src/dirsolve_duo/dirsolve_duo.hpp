#pragma once
// Conjugate gradients on the block-split layout, with a block symmetric
// Gauss-Seidel preconditioner (one forward and one backward sweep on every
// diagonal block, couplings ignored).
#include <cstdint>

#include "dirsolve_duo/blocklayout.hpp"
#include "solver/columns.hpp"
#include "solver/request.hpp"

// Below this a block's squared residual norm is taken as zero.
constexpr double kNegligible = 1e-16;

// Blocks the preconditioner sweeps side by side.
constexpr int kSgsLanes = 4;

// The most lanes (columns in lockstep) a panel holds.
constexpr int kDuoLanes = kMaxLanes;

// z = M^-1 r on one column (panels.hpp holds the panel form): the same z
// as blockSgsWhole or blockSgsLower on every block in turn, z must not
// alias r. s is scratch of blockSgsScratch doubles.
// finite (from finiteBlocks) lets the forward sweep leave out products with
// entries of z still known to be 0, which changes no bit of z; it needs the
// rows of every column to ascend.
void applyBlockSgs(const BlockLayout& layout, const DiagBlocks& D, double* z, const double* r,
                   double* s, bool finite);

// Scratch doubles the sweeps take on panels of `lanes` columns: kSgsLanes
// times lanes times the largest block in the lower variant, 0 when blocks
// are stored whole.
uint64_t blockSgsScratch(const BlockLayout& layout, int lanes = 1);

// Every stored in-block value is finite.
bool finiteBlocks(const DiagBlocks& D);

// The first column of the n x n matrix (Ir, Jc) whose rows do not strictly
// ascend within 0..n-1 or that stores no diagonal entry, or -1.
int64_t firstBadWholeColumn(int64_t n, const uint64_t* Ir, const uint64_t* Jc);

// One call's problem, as the gateway bound and checked it.
struct DuoProblem {
  ColumnRequest request;  // right-hand sides, rows, stopping rule
  const BlockLayout* layout = nullptr;
  const DiagBlocks* diag = nullptr;  // with invDiag when whole and preconditioned
  const CouplingLists* couple = nullptr;
  bool precondition = false;
  // Use the AVX-512 build of the column loop where the build and the
  // processor have it; results are the same bits either way.
  bool wideVectors = true;
};

// Doubles each of the buffers R, P, Z and XF must hold on numThreads
// threads: a panel of columns per thread.
uint64_t duoScratch(const DuoProblem& pb, int numThreads);

// Scratch doubles per thread that the preconditioner needs besides those
// buffers on numThreads threads: the lower variant's residual copies, else
// none.
uint64_t sgsScratchSize(const DuoProblem& pb, int numThreads);

// Solves every column on numThreads threads, in the caller's numbering:
// X is n x k (m x k with a row subset). Each buffer holds duoScratch
// doubles, S numThreads * sgsScratchSize doubles (may be null when that is
// 0). Indices in B and rowSubset must already lie in 1..n. Returns X and,
// where its arrays are given, each column's passes and relative residual
// in report; the problem's arrays are only read.
void solveBlockColumns(const DuoProblem& pb, double* X, int numThreads, const PanelBuffers& buf,
                       double* S, const ColumnReport& report = {});

// Reference forms, for tests: the block products on one column that the
// module runs on panels, and the pass on one block that the sweeps run on
// several blocks and columns side by side. The module never calls them.

// y = A x on the positions of blocks first .. end-1, layout built whole.
// y must not alias x.
void blockProductWhole(const BlockLayout& layout, const DiagBlocks& D, const CouplingLists& C,
                       double* y, const double* x, int32_t first, int32_t end);

// y += A x on the positions of blocks first .. end-1, layout built lower;
// y must hold 0 there on entry and must not alias x.
void blockProductLower(const BlockLayout& layout, const DiagBlocks& D, const CouplingLists& C,
                       double* y, const double* x, int32_t first, int32_t end);

// Gauss-Seidel pass on block b, blocks stored whole: adds to z (0 on the
// block on entry) from r at the block's positions; needs D.invDiag.
void blockSgsWhole(const BlockLayout& layout, const DiagBlocks& D, int32_t b, double* z,
                   const double* r);

// Gauss-Seidel pass on block b, blocks stored as lower triangles: s holds
// the block's slice of r, indexed locally, and is overwritten.
void blockSgsLower(const BlockLayout& layout, const DiagBlocks& D, int32_t b, double* z, double* s);
