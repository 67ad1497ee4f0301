#pragma once
// What stepMinimize and its reference share: one term's breakpoint and
// sign, and the sums the classification leaves.
#include <cstdint>
#include <cstring>

namespace stepterms {

// c ? a : b through bit masks: the compiler turns a plain conditional on
// data into a branch, and a mispredicted branch stalls the gathers behind it.
inline double pick(bool c, double a, double b) {
  uint64_t ua, ub;
  std::memcpy(&ua, &a, sizeof ua);
  std::memcpy(&ub, &b, sizeof ub);
  const uint64_t m = 0 - static_cast<uint64_t>(c);
  const uint64_t u = (ua & m) | (ub & ~m);
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}

// Where the term x_e + t v_e changes sign; a term without direction gets a
// breakpoint past hi, so it normally stays linear.
inline double breakpointOf(double xe, double ve, double hi) {
  return pick(ve == 0.0, hi + 1.0, -(xe / ve));
}

// Sign of x_e + t v_e just right of lo.
inline double signRightOfLo(double xe, double ve, double loPlus) {
  return pick(ve * loPlus + xe >= 0.0, 1.0, -1.0);
}

// The terms as the classification leaves them: k breakpoints inside the
// interval listed (b, be), each term's s*x and s*v summed into the
// outside (linear throughout) or inside sums, in term order; and the
// smallest and largest breakpoint listed (meaningless when one is NaN).
struct Terms {
  double Xout, Vout, Xin, Vin;
  int32_t k;
  bool anyNaN, anyNegativeZero;
  double least, most;
};

// The list needs a slot per term, except that without an index terms
// without direction stay out of it unless hi + 1 is not past hi - 1e-15
// (hi infinite, NaN or beyond 2^53); plus one spare, since the
// classification stores every term and keeps it by advancing k.
inline int64_t breakpointCapacity(const double* v, const double* index, int32_t termCount,
                                  double loPlus, double hiMinus, double hi) {
  int64_t capacity = termCount;
  if (!index) {
    const double t0 = breakpointOf(0.0, 0.0, hi);
    if (loPlus > t0 || t0 > hiMinus) {
      capacity = 0;
      for (int32_t e = 0; e < termCount; ++e) capacity += v[e] != 0.0;
    }
  }
  return capacity + 1;
}

}  // namespace stepterms
