// The Sun of the reports: the dark time is the observing loop's night, from the dusk its
// own search finds to the dawn after it, whatever the season and the latitude.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "report/ReportSun.h"
#include "selection/Selection.h"
#include "support/TestWorld.h"
#include "targets/RunLog.h"

namespace np {
namespace {

constexpr double kT0 = 1796688000.0;  // 2026-12-08 00:00:00 UTC
constexpr double kDay = 86400.0;
// The sample observatory: 32 degrees north, at UTC-7.
constexpr double kLatitude = 31.96, kLongitude = -111.6;
constexpr double kLocalNoon = kT0 - 5 * 3600, kLocalMidnight = kT0 + 7 * 3600;  // of 7 December

TEST(ReportSun, TheSunIsHighAtLocalNoonAndLowAtMidnight) {
  // Greenwich on 8 December (the Sun's declination about -22.7 degrees): 90 - 51.48 - 22.7
  // at noon, 51.48 - 22.7 - 90 at midnight.
  const ReportSun sun(51.48, 0.0);
  EXPECT_NEAR(sun.elevation(kT0 + 12 * 3600), 15.8, 1.0);
  EXPECT_NEAR(sun.elevation(kT0), -61.2, 1.0);
}

// Each edge of a dark stretch inside the range is where the Sun passes the elevation,
// to within a second, going down at its start and up at its end.
void expectEdgesAtThePassages(const ReportSun& sun, double sunElev, const std::vector<TimeSpan>& dark, double from,
                              double to) {
  for (const TimeSpan& s : dark) {
    ASSERT_LT(s.start, s.end);
    if (s.start > from) {
      EXPECT_GT(sun.elevation(s.start - 1.0), sunElev);
      EXPECT_LT(sun.elevation(s.start + 1.0), sunElev);
    }
    if (s.end < to) {
      EXPECT_LT(sun.elevation(s.end - 1.0), sunElev);
      EXPECT_GT(sun.elevation(s.end + 1.0), sunElev);
    }
  }
}

TEST(ReportSun, EachNightIsOneStretchBetweenTheSunsPassages) {
  // Three days from local noon.
  const double from = kLocalNoon, to = from + 3 * kDay;
  for (bool fromDailyTable : {false, true}) {
    const ReportSun sun(kLatitude, kLongitude, fromDailyTable);
    for (double sunElev : {-18.0, -12.0, 0.0}) {
      SCOPED_TRACE(std::to_string(sunElev) + (fromDailyTable ? ", daily table" : ""));
      const std::vector<TimeSpan> dark = sun.darkSpans(sunElev, from, to);
      ASSERT_EQ(dark.size(), 3u);
      expectEdgesAtThePassages(sun, sunElev, dark, from, to);
      for (std::size_t i = 0; i + 1 < dark.size(); ++i) EXPECT_NEAR(dark[i + 1].start - dark[i].start, kDay, 120.0);
    }
  }
  // Begun in the night, the first stretch begins with the range; ended in it, the last
  // ends with it.
  const ReportSun sun(kLatitude, kLongitude);
  const std::vector<TimeSpan> dark = sun.darkSpans(-18.0, kLocalMidnight, kLocalMidnight + kDay);
  ASSERT_EQ(dark.size(), 2u);
  EXPECT_EQ(dark.front().start, kLocalMidnight);
  EXPECT_EQ(dark.back().end, kLocalMidnight + kDay);
  expectEdgesAtThePassages(sun, -18.0, dark, kLocalMidnight, kLocalMidnight + kDay);
  EXPECT_TRUE(sun.darkSpans(-18.0, kLocalMidnight, kLocalMidnight).empty());
}

TEST(ReportSun, ARangeThatBeginsAtDuskIsDarkFromItsStart) {
  const ReportSun sun(kLatitude, kLongitude);
  const std::vector<TimeSpan> evening = sun.darkSpans(-18.0, kT0, kT0 + 4 * 3600);  // 17:00 to 21:00
  ASSERT_EQ(evening.size(), 1u);
  const double dusk = evening[0].start;
  const std::vector<TimeSpan> dark = sun.darkSpans(-18.0, dusk, dusk + 3600);
  // Asked at its own answer, the search settles again to within its second.
  ASSERT_EQ(dark.size(), 1u);
  EXPECT_NEAR(dark[0].start, dusk, 1.0);
  EXPECT_EQ(dark[0].end, dusk + 3600);
}

TEST(ReportSun, BrightNightsHaveNoDarkAndAPolarNightNoDay) {
  // 60 degrees north in June: the Sun never gets down to -18, and it is not dark at all.
  const double june = kT0 - 180 * kDay + 12 * 3600;  // 11 June, 15:00 local
  const ReportSun helsinki(60.17, 24.94);
  EXPECT_TRUE(helsinki.darkSpans(-18.0, june, june + 5 * kDay).empty());
  // Yet it sets: the nights below the horizon are there.
  const std::vector<TimeSpan> belowHorizon = helsinki.darkSpans(0.0, june, june + 5 * kDay);
  EXPECT_EQ(belowHorizon.size(), 5u);
  expectEdgesAtThePassages(helsinki, 0.0, belowHorizon, june, june + 5 * kDay);

  // 78 degrees north in December: below -6 all day, one stretch from start to end.
  const ReportSun svalbard(78.22, 15.65);
  const std::vector<TimeSpan> polar = svalbard.darkSpans(-6.0, kT0, kT0 + 5 * kDay);
  ASSERT_EQ(polar.size(), 1u);
  EXPECT_EQ(polar[0].start, kT0);
  EXPECT_EQ(polar[0].end, kT0 + 5 * kDay);

  // An elevation the Sun never reaches at the site: no dark; one it never leaves: all dark.
  const ReportSun sample(kLatitude, kLongitude);
  EXPECT_TRUE(sample.darkSpans(-85.0, kT0, kT0 + kDay).empty());
  const std::vector<TimeSpan> always = sample.darkSpans(89.5, kT0, kT0 + kDay);
  ASSERT_EQ(always.size(), 1u);
  EXPECT_EQ(always[0].length(), kDay);
}

// The report's dark begins at the very dusk for which the run waited: the loop logs it
// ("waiting for dusk at ...") and the report finds it with the loop's own search.
TEST(ReportSun, TheDarkBeginsAtTheDuskTheRunWaitedFor) {
  test::TestWorld f;
  f.writeList({"M42\t05:35:17\t-05:23:28", "**** remaining=50"});
  const HeadlessResult run = f.runHeadless("2026-12-07T20:00:00Z", 6);  // 13:00 to 19:00 local
  ASSERT_EQ(run.exitCode, 0) << f.headlessErr;
  std::string dusk;
  for (const std::string& line : f.runLogLines()) {
    const RunLogLine read = readRunLogLine(line);
    if (read.entry == RunLogEntry::Daytime) dusk = std::string(read.dusk);
  }
  ASSERT_FALSE(dusk.empty()) << f.runLog();
  ASSERT_EQ(run.report.dark.size(), 1u);
  EXPECT_EQ(formatGeneralDate(localFromUnix(run.report.dark[0].start, run.utcOffsetHours)), dusk);
  EXPECT_EQ(run.report.dark[0].end, run.endUnix);
  // The loop's first search of the night comes at the first second of the dark.
  const auto search = std::find_if(run.statuses.begin(), run.statuses.end(), [](const StatusChange& s) {
    return s.text == kSelectingStatus;
  });
  ASSERT_NE(search, run.statuses.end());
  EXPECT_GE(search->unixSeconds, run.report.dark[0].start);
  EXPECT_LT(search->unixSeconds, run.report.dark[0].start + 2.0);
}

}  // namespace
}  // namespace np
