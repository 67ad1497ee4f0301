// [rows, cols, values] = gramprod(X, tau, capacityFactor)
#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstring>

#include "common/blas.hpp"
#include "gramprod/gramprod.hpp"
#include "host/module.hpp"

namespace {

enum Arg { kX, kTau, kFactor, kArgCount };
const char* const kNames[kArgCount] = {"X", "tau", "capacity factor"};

void gateway(host::Call& call) {
  call.setOutOfMemoryMessage("ERROR: Out of memory in gramsel\n");
  if (!call.needArgs(kArgCount)) return;

  const double* X;
  if (!call.dense(kX, &X)) return;
  const int64_t M = call.rows(kX), N = call.cols(kX);
  double tau;
  int32_t factor;
  if (!call.scalar(kTau, &tau) || !call.intScalar(kFactor, &factor)) return;
  // Rows and columns of G are listed as 32-bit integers.
  if (!call.fitsInt32(kX, N, "columns")) return;
  if (M > kBlasIntMax) {
    call.reject(kX, "%" PRId64 " rows exceed the BLAS integer range", M);
    return;
  }

  // f*N in 64 bits, but no more than can ever be listed.
  const int64_t wanted = std::min<int64_t>(int64_t{factor} * N, gramMostEntries(N, M, tau));
  GramEntries list;
  if (!list.init(wanted) || !gramThreshold(X, N, M, tau, list)) {
    call.outOfMemory();
    return;
  }

  const int64_t n = list.count();
  call.indexOutput(0, list.row(), n);
  call.indexOutput(1, list.col(), n);
  if (double* values = call.outputToFill(2, n, 1))
    std::memcpy(values, list.value(), sizeof(double) * n);
}

}  // namespace

HOST_MODULE(gramprod, kNames, gateway)
