#pragma once
// How rejection messages show a value; free of the host interface, so that
// kernel tests cover it.
#include <cmath>
#include <cstdio>

namespace host {

// A double as the host would print it in a message: NaN, Inf and -Inf by
// name, any other value with every digit that tells it apart (%.17g).
struct ValueText {
  char text[32];
};

inline ValueText formatValue(double v) {
  ValueText out;
  if (std::isnan(v))
    std::snprintf(out.text, sizeof out.text, "NaN");
  else if (std::isinf(v))
    std::snprintf(out.text, sizeof out.text, "%s", v > 0 ? "Inf" : "-Inf");
  else
    std::snprintf(out.text, sizeof out.text, "%.17g", v);
  return out;
}

}  // namespace host
