// The column loop of panels.hpp compiled for AVX-512 (CMake adds the flag
// to this file alone); dirsolve_duo.cpp calls it only where the processor
// has the instructions.
#include "dirsolve_duo/panels.hpp"

void solveBlockColumnsAvx512(const DuoProblem& pb, const ColumnPlan& plan, double* X,
                             int numThreads, const PanelBuffers& buf, double* S,
                             const ColumnReport& report) {
  duopanels::solveColumnsWith(pb, plan, X, numThreads, buf, S, report);
}
