// The panel kernels at one lane, on one column: the reference forms the
// tests check against dense algebra; the module runs panels only.
#include "dirsolve/dirsolve.hpp"
#include "dirsolve/panels.hpp"

using dirsolvepanels::backwardSolveLowerTPanel;
using dirsolvepanels::forwardSolveLowerPanel;
using dirsolvepanels::forwardSolveUpperTPanel;
using dirsolvepanels::symUpperProductPanel;

void symUpperProduct(double* q, const double* p, int64_t n, const SparseColumns& A) {
  symUpperProductPanel<1>(q, p, n, A);
}

void forwardSolveLower(double* z, const double* r, int64_t n, const Factor& L) {
  forwardSolveLowerPanel<1>(z, r, n, L);
}

void forwardSolveUpperT(double* z, const double* r, int64_t n, const Factor& U) {
  forwardSolveUpperTPanel<1>(z, r, n, U);
}

void backwardSolveLowerT(double* z, const double* y, int64_t n, const Factor& L) {
  backwardSolveLowerTPanel<1>(z, y, n, L);
}
