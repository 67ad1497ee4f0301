// The column loop of panels.hpp compiled for AVX-512 (CMake adds the flag
// to this file alone); dirsolve.cpp calls it only where the processor has
// the instructions.
#include "dirsolve/panels.hpp"

void solveColumnsAvx512(const DirsolveProblem& pb, double* X, int numThreads, int width,
                        int64_t slice, double* R, double* P, double* Z, double* XF,
                        const ColumnReport& report) {
  dirsolvepanels::solveColumnsWith(pb, X, numThreads, width, slice, R, P, Z, XF, report);
}
