// The parts of the host binding that need no host.
#include <gtest/gtest.h>

#include <cmath>

#include "host/format.hpp"

TEST(FormatValue, NamesWhatIsNotFiniteAndKeepsEveryDigit) {
  EXPECT_STREQ(host::formatValue(std::nan("")).text, "NaN");
  EXPECT_STREQ(host::formatValue(INFINITY).text, "Inf");
  EXPECT_STREQ(host::formatValue(-INFINITY).text, "-Inf");
  EXPECT_STREQ(host::formatValue(521).text, "521");
  EXPECT_STREQ(host::formatValue(-3).text, "-3");
  EXPECT_STREQ(host::formatValue(0.1).text, "0.10000000000000001");
  // The longest text a double takes still fits.
  EXPECT_STREQ(host::formatValue(-2.2250738585072014e-308).text, "-2.2250738585072014e-308");
}
