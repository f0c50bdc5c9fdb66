#include "base/NumberText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace np {
namespace {

TEST(NumberTextTest, DoublesInGeneralForm) {
  struct Case {
    double value;
    const char* text;
  } const cases[] = {
      {0.0, "0"},
      {-0.0, "0"},  // never "-0"
      {2459000.5, "2459000.5"},
      {64.35, "64.35"},
      {-18.0, "-18"},
      {162.5, "162.5"},
      {0.5, "0.5"},
      {-0.25, "-0.25"},
      {1.0 / 3.0, "0.333333333333333"},
      {2.0 / 3.0, "0.666666666666667"},
      {2459000.123456789, "2459000.12345679"},  // 15 significant digits
      {123456789012345.0, "123456789012345"},
      {999999999999999.0, "999999999999999"},  // 15 digits before the point: fixed
      {1e15, "1E+15"},                           // 16 digits: exponent
      {1e20, "1E+20"},
      {-1.5e300, "-1.5E+300"},
      {0.0001, "0.0001"},
      {0.00001, "1E-05"},
      {-0.000012345, "-1.2345E-05"},
      {0.1 + 0.2, "0.3"},
      {9.9999999999999999, "10"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatDouble(c.value), c.text) << c.text;
}

TEST(NumberTextTest, SinglesInGeneralForm) {
  struct Case {
    float value;
    const char* text;
  } const cases[] = {
      {75.5f, "75.5"},   {0.1f, "0.1"},         {-18.0f, "-18"},     {360.0f, "360"},
      {90.0f, "90"},     {-12.5f, "-12.5"},     {1.0f / 3.0f, "0.3333333"},
      {64.35f, "64.35"}, {9999999.0f, "9999999"}, {12345678.0f, "1.234568E+07"},
      {1e-5f, "1E-05"},  {-0.0f, "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatSingle(c.value), c.text) << c.text;
}

TEST(NumberTextTest, SeparatorIsTheOneGiven) {
  EXPECT_EQ(formatSingle(75.5f, ','), "75,5");
  EXPECT_EQ(formatDouble(-0.125, ','), "-0,125");
  EXPECT_EQ(formatDouble(12345678.0, ','), "12345678");  // no thousands separator
  EXPECT_EQ(formatDouble(1.5e-7, ','), "1,5E-07");
}

TEST(NumberTextTest, FormattingIgnoresTheProcessLocale) {
  // A GUI toolkit may switch LC_NUMERIC to the user's locale; the text must not follow it.
  const char* locales[] = {"de_DE.UTF-8", "de_DE", "fr_FR.UTF-8", "C.UTF-8"};
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  for (const char* name : locales) {
    if (std::setlocale(LC_NUMERIC, name) == nullptr) continue;
    EXPECT_EQ(formatDouble(2459000.5), "2459000.5") << name;
    EXPECT_EQ(parseDecimal("75.5"), 75.5) << name;
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(NumberTextTest, AppendingGivesTheSameTextAfterWhatIsThere) {
  for (double v : {0.0, -0.0, 1.5, -2.25e-7, 123456789.0, 1e300, 0.1 + 0.2}) {
    for (int digits : {7, 15}) {
      std::string out = "x=";
      appendGeneral(out, v, digits, ',');
      EXPECT_EQ(out, "x=" + formatGeneral(v, digits, ',')) << v;
    }
  }
  std::string out;
  appendSingle(out, 136.6408f);
  out += ' ';
  appendDouble(out, 15.2988839914114);
  appendDouble(out, std::nan(""));
  EXPECT_EQ(out, "136.6408 15.2988839914114NaN");
}

TEST(NumberTextTest, ParseDecimalAcceptsNumbers) {
  struct Case {
    const char* text;
    char separator;
    double value;
  } const cases[] = {
      {"0", '.', 0.0},          {"75.5", '.', 75.5},     {"-18", '.', -18.0},     {"+3", '.', 3.0},
      {"  12.5 ", '.', 12.5},   {"\t-0.25\t", '.', -0.25}, {".5", '.', 0.5},      {"5.", '.', 5.0},
      {"1E+20", '.', 1e20},     {"1e-5", '.', 1e-5},     {"2.5E3", '.', 2500.0},  {"75,5", ',', 75.5},
      {"-1,5E-07", ',', -1.5e-7}, {"2459000.5", '.', 2459000.5}, {"1e-400", '.', 0.0},
  };
  for (const auto& c : cases) {
    const auto v = parseDecimal(c.text, c.separator);
    ASSERT_TRUE(v.has_value()) << c.text;
    EXPECT_DOUBLE_EQ(*v, c.value) << c.text;
  }
}

TEST(NumberTextTest, ParseDecimalRejectsEverythingElse) {
  struct Case {
    const char* text;
    char separator;
  } const cases[] = {
      {"", '.'},      {"   ", '.'},    {"abc", '.'},  {"12x", '.'},   {"x12", '.'},   {"1.2.3", '.'},
      {"75,5", '.'},  {"75.5", ','},   {"1,000.5", '.'}, {".", '.'},  {"-", '.'},     {"+-1", '.'},
      {"1e", '.'},    {"1e+", '.'},    {"e5", '.'},   {"1 2", '.'},   {"inf", '.'},   {"nan", '.'},
      {"0x10", '.'},  {"1e999", '.'},  {"- 1", '.'},
  };
  for (const auto& c : cases) EXPECT_FALSE(parseDecimal(c.text, c.separator).has_value()) << c.text;
}

TEST(NumberTextTest, ReadDecimalTellsTooLargeFromNotANumber) {
  struct Case {
    const char* text;
    DecimalReading::Kind kind;
    double value;
  } const cases[] = {
      {"1e400", DecimalReading::TooLarge, 0},   {"-1E+999", DecimalReading::TooLarge, 0},
      {" 2e308 ", DecimalReading::TooLarge, 0}, {"1e308", DecimalReading::Number, 1e308},
      {"-1e-400", DecimalReading::Number, -0.0}, {"75.5", DecimalReading::Number, 75.5},
      {"", DecimalReading::NotANumber, 0},      {"abc", DecimalReading::NotANumber, 0},
      {"1e400x", DecimalReading::NotANumber, 0}, {"inf", DecimalReading::NotANumber, 0},
  };
  for (const auto& c : cases) {
    const DecimalReading r = readDecimal(c.text);
    EXPECT_EQ(r.kind, c.kind) << c.text;
    if (r.kind == DecimalReading::Number) {
      EXPECT_EQ(r.value, c.value) << c.text;
    }
    // parseDecimal gives the number, and nothing for the other two.
    EXPECT_EQ(parseDecimal(c.text), r.kind == DecimalReading::Number ? std::optional(r.value) : std::nullopt)
        << c.text;
  }
  EXPECT_EQ(readDecimal("1,5e400", ',').kind, DecimalReading::TooLarge);
  EXPECT_EQ(readDecimal("1.5e400", ',').kind, DecimalReading::NotANumber);
}

// Whether a number out of a double's range is tiny or huge is decided by where its first
// significant digit stands, written exponent included.
TEST(NumberTextTest, ReadDecimalTellsTinyFromHugeWhateverTheExponentsSign) {
  const std::string zeros(1059, '0');
  struct Case {
    std::string text;
    DecimalReading::Kind kind;
  } const cases[] = {
      {"0." + zeros + "8E08", DecimalReading::Number},     // 8e-1052: zero
      {"-0." + zeros + "8e+400", DecimalReading::Number},  // 8e-660: zero
      {"0." + zeros + "8e1400", DecimalReading::TooLarge}, // 8e340
      {"1" + zeros + "e-700", DecimalReading::TooLarge},   // 1e359
      {"1" + zeros + "e-1100", DecimalReading::Number},    // 1e-41: an ordinary number
      {"0.00" + zeros + "1e99999999999999999999", DecimalReading::TooLarge},
      {"1e-99999999999999999999", DecimalReading::Number},
  };
  for (const auto& c : cases) {
    const DecimalReading r = readDecimal(c.text);
    EXPECT_EQ(r.kind, c.kind) << c.text.size() << " characters ending " << c.text.substr(c.text.size() - 12);
  }
  EXPECT_EQ(readDecimal("0." + zeros + "8E08").value, 0.0);
  EXPECT_EQ(readDecimal("1" + zeros + "e-1100").value, 1e-41);
}

TEST(NumberTextTest, FormattedNumbersParseBack) {
  for (double v : {0.0, 2459000.5, -18.0, 64.35, 1e20, 1e-5, -123.456, 2451545.000011574}) {
    const auto back = parseDecimal(formatDouble(v, ','), ',');
    ASSERT_TRUE(back.has_value()) << v;
    EXPECT_NEAR(*back, v, std::abs(v) * 1e-14) << v;
  }
  for (float f : {75.5f, 0.1f, -12.5f, 359.99f, 1e-5f}) {
    EXPECT_EQ(static_cast<float>(*parseDecimal(formatSingle(f))), f) << f;
  }
}

TEST(NumberTextTest, RoundToInt16HalfToEvenWithinRange) {
  struct Case {
    double value;
    std::optional<std::int16_t> result;
  } const cases[] = {
      {12.5, 12},       {13.5, 14},        {-12.5, -12},       {-13.5, -14},     {0.5, 0},
      {1.5, 2},         {-0.5, 0},         {2.4999, 2},        {2.5001, 3},      {-2.6, -3},
      {30.0, 30},       {32767.0, 32767},  {32767.4, 32767},   {32767.5, std::nullopt},
      {-32768.0, -32768}, {-32768.5, -32768}, {-32768.6, std::nullopt}, {40000.0, std::nullopt},
      {1e300, std::nullopt}, {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
      {std::numeric_limits<double>::infinity(), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(roundToInt16(c.value), c.result) << c.value;
}

TEST(NumberTextStrict, AcceptsSignDigitsOnePointAndAnExponent) {
  const struct {
    const char* text;
    double value;
  } good[] = {{"31.96", 31.96},  {"-111.6", -111.6}, {"+30.5", 30.5},  {"0", 0.0},     {"7", 7.0},
              {".5", 0.5},       {"5.", 5.0},        {"1e3", 1000.0},  {"1.5E-2", 0.015}, {"-2e+2", -200.0},
              {"0e-999", 0.0},   {"007.250", 7.25},  {"1e308", 1e308}};
  for (const auto& g : good) {
    const auto v = parseStrictDecimal(g.text);
    ASSERT_TRUE(v.has_value()) << g.text;
    EXPECT_EQ(*v, g.value) << g.text;
  }
  EXPECT_TRUE(std::signbit(*parseStrictDecimal("-0")));
}

TEST(NumberTextStrict, RejectsEverythingElse) {
  for (const char* bad : {"", " ", "+", "-", ".", "+.", "1,5", "1.2.3", " 5", "5 ", "5\t", "--1", "+-1", "e5",
                          "1e", "1e+", "1e5.0", "1e5e5", "0x10", "inf", "-inf", "nan", "infinity", "1e400", "-1e400",
                          "1e-400", "1e-310", "1_000", "12a"}) {
    EXPECT_FALSE(parseStrictDecimal(bad).has_value()) << "'" << bad << "'";
  }
}

// The C locale's printf is the model; the test process runs in it.
TEST(NumberTextPrintf, MatchesPrintfInTheCLocale) {
  const double values[] = {0.0,      -0.0,     1.0,        -1.23456,  359.9996,        37.5,    1710043563.4,
                           0.0005,   0.0015,   2.5,        -2.5,      1e-5,            1e20,    123456789012345678.0,
                           1.0 / 3,  -7.0,     31.96,      1e300,     -1e-300,         0.125,   999999.5};
  char buf[512];
  for (double v : values) {
    for (int digits : {1, 3, 6, 15}) {
      std::snprintf(buf, sizeof buf, "%.*g", digits, v);
      EXPECT_EQ(formatPrintfGeneral(v, digits), buf) << v << " %." << digits << "g";
      std::snprintf(buf, sizeof buf, "%.*f", digits, v);
      EXPECT_EQ(formatPrintfFixed(v, digits), buf) << v << " %." << digits << "f";
    }
    std::snprintf(buf, sizeof buf, "%g", v);
    EXPECT_EQ(formatPrintfGeneral(v), buf) << v;
    std::snprintf(buf, sizeof buf, "%.0f", v);
    EXPECT_EQ(formatPrintfFixed(v, 0), buf) << v;
  }
  EXPECT_EQ(formatPrintfFixed(-1.23456, 3), "-1.235");
  EXPECT_EQ(formatPrintfGeneral(37.5, 15), "37.5");
  // The largest double in full, fixed.
  std::snprintf(buf, sizeof buf, "%.2f", -std::numeric_limits<double>::max());
  EXPECT_EQ(formatPrintfFixed(-std::numeric_limits<double>::max(), 2), buf);
}

TEST(NumberTextPrintf, ReadsBackWhatItWrites) {
  for (double v : {-1.235, 37.25, 1710043563.0, 1e-7, 88.537}) {
    EXPECT_EQ(parseStrictDecimal(formatPrintfGeneral(v, 17)), v);
  }
}

// The two forms write the same number differently, and the files that hold them rely on
// it: the simulated observatory's and the reports' numbers read as printf wrote them,
// config.ini's and the log's as the general form does.
TEST(NumberTextPrintf, DiffersFromTheGeneralFormWhereTheFilesDo) {
  EXPECT_EQ(formatPrintfGeneral(1e20, 15), "1e+20");
  EXPECT_EQ(formatDouble(1e20), "1E+20");
  EXPECT_EQ(formatPrintfGeneral(-0.0), "-0");
  EXPECT_EQ(formatDouble(-0.0), "0");
  EXPECT_EQ(formatPrintfGeneral(0.1, 20), "0.10000000000000000555");
  EXPECT_EQ(formatGeneral(0.1, 20), "0.10000000000000001");  // at most 17 digits
}

// Zero is taken only as written: a number that turns to zero, or to a subnormal, on the
// way into a double is refused, whichever case its exponent is written in.
TEST(NumberTextStrict, TakesZeroOnlyAsWritten) {
  for (const char* zero : {"0.0", "-0.000e-400", "+.0E+999", "00"}) {
    const std::optional<double> v = parseStrictDecimal(zero);
    ASSERT_TRUE(v.has_value()) << zero;
    EXPECT_EQ(*v, 0.0) << zero;
    EXPECT_EQ(std::signbit(*v), zero[0] == '-') << zero;
  }
  for (const char* tiny : {"0.000001e-400", "1E-400", "-5e-324", "2.2250738585072e-308"}) {
    EXPECT_FALSE(parseStrictDecimal(tiny).has_value()) << tiny;
  }
  EXPECT_EQ(parseStrictDecimal("2.2250738585072014e-308"), std::numeric_limits<double>::min());
}

}  // namespace
}  // namespace np
