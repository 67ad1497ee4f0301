#pragma once
// Run-time widths turned into compile-time ones, so that the loops over a
// width unroll into registers.
#include <type_traits>

// f(std::integral_constant<int, W>()) for W = width, a power of two up to
// Max: one instantiation per width a caller may pass.
template <int Max, class F>
void withWidth(int width, const F& f) {
  if constexpr (Max == 1) {
    f(std::integral_constant<int, 1>());
  } else {
    if (width == Max)
      f(std::integral_constant<int, Max>());
    else
      withWidth<Max / 2>(width, f);
  }
}
