#include "base/DateTime.h"

#include <gtest/gtest.h>

#include <limits>

#include "base/Errors.h"

namespace np {
namespace {

struct CivilCase {
  CivilTime civil;
  double serial;
};

// Serials of known dates (days since 1899-12-30, as spreadsheets count them).
const CivilCase kKnownDates[] = {
    {{1899, 12, 30, 0, 0, 0.0}, 0.0},
    {{1899, 12, 31, 0, 0, 0.0}, 1.0},
    {{1900, 3, 1, 0, 0, 0.0}, 61.0},        // 1900 is not a leap year
    {{1970, 1, 1, 0, 0, 0.0}, 25569.0},
    {{2000, 1, 1, 0, 0, 0.0}, 36526.0},
    {{2000, 2, 29, 18, 0, 0.0}, 36585.75},  // 2000 is a leap year
    {{2020, 5, 31, 12, 0, 0.0}, 43982.5},
    {{1899, 12, 29, 6, 0, 0.0}, -0.75},     // before the epoch the serial is linear
    {{1800, 1, 1, 0, 0, 0.0}, -36522.0},
};

TEST(DateTimeTest, KnownDatesBothWays) {
  for (const auto& c : kKnownDates) {
    SCOPED_TRACE(c.serial);
    EXPECT_DOUBLE_EQ(fromCivil(c.civil).serial, c.serial);
    const CivilTime back = toCivil(DateTime{c.serial});
    EXPECT_EQ(back.year, c.civil.year);
    EXPECT_EQ(back.month, c.civil.month);
    EXPECT_EQ(back.day, c.civil.day);
    EXPECT_EQ(back.hour, c.civil.hour);
    EXPECT_EQ(back.minute, c.civil.minute);
    EXPECT_DOUBLE_EQ(back.second, c.civil.second);
  }
}

TEST(DateTimeTest, EveryDayOfFourCenturiesRoundTrips) {
  // Walks day by day from 1800 to 2200, so every month length and leap rule is met.
  const double first = fromCivil({1800, 1, 1, 0, 0, 0.0}).serial;
  const double last = fromCivil({2200, 1, 1, 0, 0, 0.0}).serial;
  CivilTime prev = toCivil(DateTime{first});
  for (double s = first + 1; s <= last; s += 1) {
    const CivilTime t = toCivil(DateTime{s + 0.5});
    ASSERT_EQ(t.hour, 12);
    const bool nextDay = t.year == prev.year && t.month == prev.month && t.day == prev.day + 1;
    const bool nextMonth = t.year == prev.year && t.month == prev.month + 1 && t.day == 1;
    const bool nextYear = t.year == prev.year + 1 && t.month == 1 && t.day == 1 && prev.month == 12 && prev.day == 31;
    ASSERT_TRUE(nextDay || nextMonth || nextYear) << t.year << "-" << t.month << "-" << t.day;
    ASSERT_DOUBLE_EQ(fromCivil(t).serial, s + 0.5);
    prev = t;
  }
  EXPECT_EQ(prev.year, 2200);
}

TEST(DateTimeTest, ToCivilRoundsToTheMillisecond) {
  const CivilTime t = toCivil(fromCivil({2021, 6, 15, 21, 7, 33.4567}));
  EXPECT_EQ(t.hour, 21);
  EXPECT_EQ(t.minute, 7);
  EXPECT_NEAR(t.second, 33.457, 1e-9);
  // 999.6 ms before midnight carries into the next day.
  const CivilTime carry = toCivil(fromCivil({2021, 12, 31, 23, 59, 59.9996}));
  EXPECT_EQ(carry.year, 2022);
  EXPECT_EQ(carry.month, 1);
  EXPECT_EQ(carry.day, 1);
  EXPECT_EQ(carry.hour, 0);
  EXPECT_EQ(carry.second, 0.0);
}

TEST(DateTimeTest, FromCivilCarriesFieldsOutOfRange) {
  EXPECT_DOUBLE_EQ(fromCivil({2023, 13, 1, 0, 0, 0.0}).serial, fromCivil({2024, 1, 1, 0, 0, 0.0}).serial);
  EXPECT_DOUBLE_EQ(fromCivil({2024, 0, 1, 0, 0, 0.0}).serial, fromCivil({2023, 12, 1, 0, 0, 0.0}).serial);
  EXPECT_DOUBLE_EQ(fromCivil({2024, 2, 30, 0, 0, 0.0}).serial, fromCivil({2024, 3, 1, 0, 0, 0.0}).serial);
  EXPECT_DOUBLE_EQ(fromCivil({2024, 3, 0, 0, 0, 0.0}).serial, fromCivil({2024, 2, 29, 0, 0, 0.0}).serial);
  EXPECT_DOUBLE_EQ(fromCivil({2024, 1, 1, 25, 0, 0.0}).serial, fromCivil({2024, 1, 2, 1, 0, 0.0}).serial);
}

TEST(DateTimeTest, FormatGeneralDate) {
  struct Case {
    CivilTime civil;
    const char* text;
  } const cases[] = {
      {{1899, 12, 30, 0, 0, 0.0}, "1899-12-30 00:00:00"},
      {{2024, 2, 29, 7, 5, 9.0}, "2024-02-29 07:05:09"},
      {{2024, 3, 10, 22, 15, 30.4}, "2024-03-10 22:15:30"},
      {{2024, 3, 10, 22, 15, 30.5}, "2024-03-10 22:15:31"},   // half goes up
      {{2024, 3, 10, 22, 59, 59.5}, "2024-03-10 23:00:00"},   // carry into the hour
      {{2024, 12, 31, 23, 59, 59.6}, "2025-01-01 00:00:00"},  // carry into the next year
      {{2024, 2, 28, 23, 59, 59.7}, "2024-02-29 00:00:00"},
      {{1899, 12, 29, 12, 0, 0.0}, "1899-12-29 12:00:00"},    // before the epoch
      {{987, 6, 5, 4, 3, 2.0}, "0987-06-05 04:03:02"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatGeneralDate(fromCivil(c.civil)), c.text);
  // Ten seconds before a full day, built from thirds of seconds as sums of fractions.
  double serial = 45000.0;
  for (int i = 0; i < 3 * 3600 * 24 - 30; ++i) serial += 1.0 / (3 * 86400.0);
  EXPECT_EQ(formatGeneralDate(DateTime{serial}), "2023-03-15 23:59:50");
}

TEST(DateTimeTest, UnrepresentableSerialIsAnError) {
  EXPECT_THROW(formatGeneralDate(DateTime{1e300}), RunTimeError);
  EXPECT_THROW(formatGeneralDate(DateTime{std::numeric_limits<double>::quiet_NaN()}), RunTimeError);
  EXPECT_THROW(toCivil(DateTime{-std::numeric_limits<double>::infinity()}), RunTimeError);
}

TEST(DateTimeTest, ParseIsoDateTimeAcceptsItsForms) {
  struct Case {
    const char* text;
    CivilTime expected;
  } const cases[] = {
      {"2024-03-10 22:15:30", {2024, 3, 10, 22, 15, 30.0}},
      {"2024-03-10T22:15:30", {2024, 3, 10, 22, 15, 30.0}},
      {"2024-03-10T22:15:30Z", {2024, 3, 10, 22, 15, 30.0}},
      {"2024-03-10T22:15", {2024, 3, 10, 22, 15, 0.0}},
      {"2024-03-10", {2024, 3, 10, 0, 0, 0.0}},
      {"2024-02-29", {2024, 2, 29, 0, 0, 0.0}},
      {"2000-12-31T23:59:59", {2000, 12, 31, 23, 59, 59.0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    CivilTime t{1, 1, 1, 1, 1, 1.0};
    ASSERT_TRUE(parseIsoDateTime(c.text, t));
    EXPECT_EQ(t.year, c.expected.year);
    EXPECT_EQ(t.month, c.expected.month);
    EXPECT_EQ(t.day, c.expected.day);
    EXPECT_EQ(t.hour, c.expected.hour);
    EXPECT_EQ(t.minute, c.expected.minute);
    EXPECT_EQ(t.second, c.expected.second);
  }
}

TEST(DateTimeTest, ParseIsoDateTimeRejectsMalformedTextAndLeavesTheResult) {
  const char* bad[] = {"",
                       "2024-3-10",
                       "2024-03-10 ",
                       "2024-03-10T",
                       "2024-03-10T22",
                       "2024-03-10T22:1",
                       "2024-03-10T22:15:3",
                       "2024-03-10X22:15",
                       "2024-03-10T22:15:30 ",
                       "2024-03-10T22:15:30ZZ",
                       "2024-13-01",
                       "2024-00-10",
                       "2023-02-29",
                       "2024-04-31",
                       "2024-03-00",
                       "2024-03-10T24:00",
                       "2024-03-10T23:60",
                       "2024-03-10T23:59:60",
                       " 2024-03-10",
                       "20a4-03-10",
                       "2024/03/10"};
  for (const char* text : bad) {
    CivilTime t{1, 2, 3, 4, 5, 6.0};
    EXPECT_FALSE(parseIsoDateTime(text, t)) << text;
    EXPECT_EQ(t.year, 1) << text;
    EXPECT_EQ(t.second, 6.0) << text;
  }
}

}  // namespace
}  // namespace np
