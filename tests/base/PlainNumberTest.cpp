#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "base/PlainNumber.h"

namespace np {
namespace {

TEST(PlainNumberRead, AcceptsSignDigitsOnePointAndAnExponent) {
  const struct {
    const char* text;
    double value;
  } good[] = {{"31.96", 31.96},  {"-111.6", -111.6}, {"+30.5", 30.5},  {"0", 0.0},     {"7", 7.0},
              {".5", 0.5},       {"5.", 5.0},        {"1e3", 1000.0},  {"1.5E-2", 0.015}, {"-2e+2", -200.0},
              {"0e-999", 0.0},   {"007.250", 7.25},  {"1e308", 1e308}};
  for (const auto& g : good) {
    const auto v = readPlainNumber(g.text);
    ASSERT_TRUE(v.has_value()) << g.text;
    EXPECT_EQ(*v, g.value) << g.text;
  }
  EXPECT_TRUE(std::signbit(*readPlainNumber("-0")));
}

TEST(PlainNumberRead, RejectsEverythingElse) {
  for (const char* bad : {"", " ", "+", "-", ".", "+.", "1,5", "1.2.3", " 5", "5 ", "5\t", "--1", "+-1", "e5",
                          "1e", "1e+", "1e5.0", "1e5e5", "0x10", "inf", "-inf", "nan", "infinity", "1e400", "-1e400",
                          "1e-400", "1e-310", "1_000", "12a"}) {
    EXPECT_FALSE(readPlainNumber(bad).has_value()) << "'" << bad << "'";
  }
}

// The C locale's printf is the model; the test process runs in it.
TEST(PlainNumberFormat, MatchesPrintfInTheCLocale) {
  const double values[] = {0.0,      -0.0,     1.0,        -1.23456,  359.9996,        37.5,    1710043563.4,
                           0.0005,   0.0015,   2.5,        -2.5,      1e-5,            1e20,    123456789012345678.0,
                           1.0 / 3,  -7.0,     31.96,      1e300,     -1e-300,         0.125,   999999.5};
  char buf[512];
  for (double v : values) {
    for (int digits : {1, 3, 6, 15}) {
      std::snprintf(buf, sizeof buf, "%.*g", digits, v);
      EXPECT_EQ(formatPlainGeneral(v, digits), buf) << v << " %." << digits << "g";
      std::snprintf(buf, sizeof buf, "%.*f", digits, v);
      EXPECT_EQ(formatPlainFixed(v, digits), buf) << v << " %." << digits << "f";
    }
    std::snprintf(buf, sizeof buf, "%g", v);
    EXPECT_EQ(formatPlainGeneral(v), buf) << v;
    std::snprintf(buf, sizeof buf, "%.0f", v);
    EXPECT_EQ(formatPlainFixed(v, 0), buf) << v;
  }
  EXPECT_EQ(formatPlainFixed(-1.23456, 3), "-1.235");
  EXPECT_EQ(formatPlainGeneral(37.5, 15), "37.5");
  // The largest double in full, fixed.
  std::snprintf(buf, sizeof buf, "%.2f", -std::numeric_limits<double>::max());
  EXPECT_EQ(formatPlainFixed(-std::numeric_limits<double>::max(), 2), buf);
}

TEST(PlainNumberFormat, ReadsBackWhatItWrites) {
  for (double v : {-1.235, 37.25, 1710043563.0, 1e-7, 88.537}) {
    EXPECT_EQ(readPlainNumber(formatPlainGeneral(v, 17)), v);
  }
}

}  // namespace
}  // namespace np
