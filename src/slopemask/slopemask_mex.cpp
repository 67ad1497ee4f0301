// [positions, D, P] = slopemask(X, Q, pattern, R, lambda, colIndex, capacity, wholeColumns)
#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstring>

#include "common/blas.hpp"
#include "host/module.hpp"
#include "slopemask/slopemask.hpp"

namespace {

enum Arg { kX, kQ, kPattern, kR, kLambda, kColIndex, kCapacity, kWholeColumns, kArgCount };
const char* const kNames[kArgCount] = {"X",      "Q",        "pattern",  "R",
                                       "lambda", "colIndex", "capacity", "wholeColumns"};

// Positions are 32-bit: r + j*N must not wrap.
constexpr int64_t kPositionLimit = int64_t{1} << 32;

// Binds the block and its checks into pb; capacity is the list's first
// size as given.
bool bindProblem(host::Call& call, FreeSetProblem* out, int32_t* capacity) {
  FreeSetProblem& pb = *out;
  if (!call.dense(kX, &pb.X)) return false;
  const int64_t M = call.rows(kX), N = call.cols(kX);
  // K is colIndex's larger dimension, in both modes; Q, R and the pattern
  // must agree with it.
  const int64_t K = std::max(call.rows(kColIndex), call.cols(kColIndex));
  if (!call.dense(kQ, &pb.Q) || !call.shape(kQ, M, K)) return false;
  host::SparseArg pattern;
  if (!call.sparsePattern(kPattern, &pattern) || !call.shape(kPattern, N, K)) return false;
  if (K != 0 && N >= (kPositionLimit + K - 1) / K)
    return call.rejectCall("X and Q give a block of %" PRId64 " x %" PRId64
                           ", too large for 32-bit positions (N*K must stay below 2^32)",
                           N, K);
  if (!call.dense(kR, &pb.R) || !call.shape(kR, N, K)) return false;

  bool wholeColumns;
  if (!call.scalar(kLambda, &pb.lambda) || !call.intScalar(kCapacity, capacity) ||
      !call.flag(kWholeColumns, &wholeColumns))
    return false;

  // colIndex's values are read only below the diagonal; whole columns take
  // nothing but K from it.
  if (!wholeColumns) {
    if (!call.dense(kColIndex, &pb.colIndex)) return false;
    // A 0 x K array has K as its larger dimension but nothing to read.
    if (call.numel(kColIndex) != K)
      return call.reject(kColIndex,
                         "expected a vector of %" PRId64 " elements, found %" PRId64 " x %" PRId64,
                         K, call.rows(kColIndex), call.cols(kColIndex));
  }

  if (M > kBlasIntMax || K > kBlasIntMax)
    return call.reject(kQ, "%" PRId64 " x %" PRId64 " exceeds the BLAS integer range", M, K);
  pb.patternIr = pattern.Ir;
  pb.patternJc = pattern.Jc;
  pb.M = M;
  pb.N = N;
  pb.K = K;
  pb.wholeColumns = wholeColumns;
  return true;
}

void gateway(host::Call& call) {
  call.setOutOfMemoryMessage("ERROR: Out of memory in gramsel\n");
  if (!call.needArgs(kArgCount)) return;
  FreeSetProblem pb;
  int32_t capacity;
  if (!bindProblem(call, &pb, &capacity)) return;

  // The low 32 bits of the count, as an unsigned capacity; more than N*K
  // entries can never be selected, so no larger list is ever allocated.
  const int64_t wanted = static_cast<uint32_t>(capacity);
  FreeEntries list;
  if (!list.init(std::min(wanted, pb.N * pb.K)) || !selectFreeEntries(pb, list)) {
    call.outOfMemory();
    return;
  }

  const int64_t n = list.count();
  call.indexOutput(0, list.linearIndex(), n);
  if (double* gradient = call.outputToFill(1, n, 1))
    std::memcpy(gradient, list.gradient(), sizeof(double) * n);
  if (double* product = call.outputToFill(2, n, 1))
    std::memcpy(product, list.product(), sizeof(double) * n);
}

}  // namespace

HOST_MODULE(slopemask, kNames, gateway)
