// bw = membw(megabytes): sustained memory bandwidth in GB/s of a parallel
// triad a = b + s*c over three arrays of the given total size, best of five.
// bw = membw(megabytes, threads): the same on that many threads (a
// single-threaded kernel's reach is the one-thread figure).
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "host/module.hpp"

namespace {

const char* const kNames[] = {"megabytes", "threads"};

void gateway(host::Call& call) {
  double mb = 768;
  double threads = omp_get_max_threads();
  if (call.nrhs() > 0 && !call.scalar(0, &mb)) return;
  if (call.nrhs() > 1 && !call.scalar(1, &threads)) return;
  const int64_t n = std::max<int64_t>(1, static_cast<int64_t>(mb * 1e6 / 24));
  const int team = std::max(1, std::min(omp_get_max_threads(), static_cast<int>(threads)));
  ScratchArray<double> a = makeScratch<double>(n), b = makeScratch<double>(n),
                       c = makeScratch<double>(n);
  if (!a || !b || !c) {
    call.outOfMemory();
    return;
  }
  double* pa = a.get();
  double* pb = b.get();
  double* pc = c.get();
  // First touch by the same static split, so each thread's pages are its own.
#pragma omp parallel for schedule(static) num_threads(team)
  for (int64_t i = 0; i < n; ++i) {
    pa[i] = 0.0;
    pb[i] = 1.0;
    pc[i] = 2.0;
  }
  double best = 1e300;
  for (int rep = 0; rep < 5; ++rep) {
    const auto t0 = std::chrono::steady_clock::now();
#pragma omp parallel for schedule(static) num_threads(team)
    for (int64_t i = 0; i < n; ++i) pa[i] = pb[i] + 0.5 * pc[i];
    const auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
  }
  double* out = call.output(0, 1, 1);
  out[0] = 24.0 * static_cast<double>(n) / best / 1e9;
}

}  // namespace

HOST_MODULE(membw, kNames, gateway)
