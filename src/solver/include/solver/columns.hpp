#pragma once
// How a call's columns are shared out: panels of lockstep columns, and the
// per-thread scratch they are solved in (the thread count is
// common/threads.hpp's, a column the unit of work). Compiled once; the loop
// itself is in columnloop.hpp.
#include <cstdint>

#include "common/scratch.hpp"

// The most lanes a panel holds.
constexpr int kMaxLanes = 16;

// Doubles per cache line: panels start on line boundaries, so that no
// vector of a row straddles two lines.
constexpr int64_t kLineDoubles = 8;

// Columns are solved in panels of lanes held side by side (see
// pcgSolvePanel): panels of `width` lanes cover the k columns, then
// halving widths cover the rest. Each thread works in one panel of every
// scratch buffer at a time, `slice` doubles from a cache line boundary.
struct ColumnPlan {
  int width = 1;
  int64_t slice = 0;
  const int64_t* order = nullptr;  // the columns in panel order; null: 0, 1, ...
};

// The plan for n rows and k columns on numThreads threads, panels of at
// most maxLanes (a power of two up to kMaxLanes). Results never depend on it.
ColumnPlan planColumns(int64_t n, int64_t k, int numThreads, int maxLanes);

// Doubles each of the buffers R, P, Z and XF must hold for that plan: a
// slice per thread and room to align the first.
uint64_t panelDoubles(int64_t n, int64_t k, int numThreads, int maxLanes);

// The panels of a plan: panelCount of them, panel u starting at column `first`.
struct Panel {
  int64_t first;
  int width;
};
int64_t panelCount(int64_t k, int width);
Panel panelAt(int64_t u, int64_t k, int width);

// A call's per-thread buffers: residuals, directions, products and
// solutions, each panelDoubles long.
struct PanelBuffers {
  double* R;
  double* P;
  double* Z;
  double* XF;
};

// The four buffers on the heap, freed with the holder.
class PanelScratch {
 public:
  // False when any of the four cannot be had.
  bool allocate(uint64_t doubles);
  PanelBuffers buffers() const { return {R_.get(), P_.get(), Z_.get(), XF_.get()}; }

 private:
  ScratchArray<double> R_, P_, Z_, XF_;
};
