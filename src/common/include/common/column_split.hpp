#pragma once
#include <cstdint>

// k div n and k mod n (n > 0) for 0 <= k < 2^31. A list grouped by column
// mostly stays in the previous entry's column, which needs no division; the
// results are those of the division in every case.
class ColumnSplit {
 public:
  explicit ColumnSplit(int32_t n) : n_(n) {}
  void at(int32_t k, int32_t* q, int32_t* r) {
    const uint32_t off = static_cast<uint32_t>(k) - static_cast<uint32_t>(start_);
    if (off >= static_cast<uint32_t>(n_)) {
      q_ = k / n_;
      start_ = q_ * n_;
    }
    *q = q_;
    *r = k - start_;
  }

 private:
  int32_t n_;
  int32_t q_ = 0;
  int32_t start_ = 0;
};
