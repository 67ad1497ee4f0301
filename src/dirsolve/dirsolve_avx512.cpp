// The column loop of panels.hpp compiled for AVX-512 (CMake adds the flag
// to this file alone); dirsolve.cpp calls it only where the processor has
// the instructions.
#include "dirsolve/panels.hpp"

void solveColumnsAvx512(const DirsolveProblem& pb, const ColumnPlan& plan, bool finiteFactors,
                        double* X, int numThreads, const PanelBuffers& buf,
                        const ColumnReport& report) {
  dirsolvepanels::solveColumnsWith(pb, plan, finiteFactors, X, numThreads, buf, report);
}
