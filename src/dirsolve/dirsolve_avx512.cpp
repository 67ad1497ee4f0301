// The column loop of panels.hpp compiled for AVX-512 (CMake adds the flag
// to this file alone); dirsolve.cpp calls it only where the processor has
// the instructions.
#include "dirsolve/panels.hpp"

void solveColumnsAvx512(const DirsolveProblem& pb, const PanelPlan& plan, double* X,
                        int numThreads, double* R, double* P, double* Z, double* XF,
                        const ColumnReport& report) {
  dirsolvepanels::solveColumnsWith(pb, plan, X, numThreads, R, P, Z, XF, report);
}
