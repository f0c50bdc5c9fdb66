#include "settings/NumberText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

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

}  // namespace
}  // namespace np
