// The night report rebuilt from a run log after the run, checked against the report the
// run itself made from everything it saw (status line included): the two must agree on
// what the log can tell, and the rebuilt one must say what it cannot.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "report/LogReport.h"
#include "support/TempDir.h"
#include "support/TestWorld.h"
#include "support/TestText.h"

namespace np {
namespace {

using test::TestWorld;
using ::testing::HasSubstr;
using ::testing::Not;

const std::vector<std::string> kList = {
    "M81\t09:55:33\t+69:03:55",  "**** remaining=50", "NGC 253\t00:47:33\t-25:17:18", "**** remaining=50",
    "#COUNT 10",                 "#INTERVAL 30",      "M42\t05:35:17\t-05:23:28",     "**** remaining=50",
    "M45\t03:47:24\t+24:07:00", "**** remaining=3"};

LogReportOptions optionsFor(const TestWorld& f, const HeadlessResult& r) {
  LogReportOptions o;
  o.logPath = f.runLogPath();
  o.latitude = r.report.latitude;
  o.longitude = r.report.longitude;
  o.utcOffsetHours = r.utcOffsetHours;
  o.sunElev = r.report.sunElev;
  o.startUnix = r.startUnix;
  o.endUnix = r.endUnix;
  return o;
}

struct Scenario {
  const char* name;
  std::string ini, start;
  double hours;
  std::vector<std::string> list;
};

TEST(LogReport, AgreesWithTheRunsOwnReportOnEveryPlanAndWait) {
  const std::vector<Scenario> scenarios = {
      {"a day and a night", "", "2026-12-07T12:00:00Z", 24, kList},
      {"an unsafe spell", "[weather]\nconnected = true\nunsafe = 2026-12-08T04:05:00Z/2026-12-08T05:30:00Z\n",
       "2026-12-08T01:00:00Z", 8, kList},
      {"a list that runs out", "", "2026-12-08T02:00:00Z", 2, {"M42\t05:35:17\t-05:23:28", "**** remaining=2"}},
  };
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.name);
    TestWorld f;
    f.writeList(s.list);
    if (!s.ini.empty()) f.writeIni(s.ini);
    const HeadlessResult run = f.runHeadless(s.start, s.hours);
    ASSERT_EQ(run.exitCode, 0) << f.headlessErr;
    const LogReportResult built = buildReportFromLog(optionsFor(f, run));
    ASSERT_TRUE(built.ok) << built.error;
    const NightReport& a = run.report;
    const NightReport& b = built.report;

    ASSERT_EQ(b.plans.size(), a.plans.size());
    for (std::size_t i = 0; i < a.plans.size(); ++i) {
      EXPECT_EQ(b.plans[i].target, a.plans[i].target) << i;
      EXPECT_EQ(b.plans[i].scoreText, a.plans[i].scoreText) << i;
      EXPECT_EQ(b.plans[i].startUnix, a.plans[i].startUnix) << i;
      EXPECT_EQ(b.plans[i].endUnix, a.plans[i].endUnix) << i;
      EXPECT_EQ(b.plans[i].endReason, a.plans[i].endReason) << i;
      EXPECT_EQ(b.plans[i].imagesTaken, a.plans[i].imagesTaken) << i;
    }
    EXPECT_EQ(b.searches, a.searches);
    EXPECT_EQ(b.noTargetSleeps, a.noTargetSleeps);
    EXPECT_EQ(b.imagesTaken, a.imagesTaken);
    EXPECT_NEAR(b.darkSeconds, a.darkSeconds, 1.0);
    EXPECT_NEAR(b.exposingSecondsInDark, a.exposingSecondsInDark, 1.0);
    // The log's stamps have whole seconds and the status line changes a pause apart.
    EXPECT_NEAR(b.waitDuskSeconds, a.waitDuskSeconds, 5.0);
    EXPECT_NEAR(b.waitTargetSeconds, a.waitTargetSeconds, 65.0);
    EXPECT_NEAR(b.waitWeatherSeconds, a.waitWeatherSeconds, 65.0);
    EXPECT_EQ(b.weatherWaits.size(), a.weatherWaits.size());
    EXPECT_EQ(b.groups.size(), a.groups.size());  // every target of these lists was eligible once
    EXPECT_TRUE(b.imagesKnown);
  }
}

TEST(LogReport, WithoutTheAcquisitionLogImagesAreLeftOutAndSaidToBe) {
  TestWorld f;
  f.writeList(kList);
  const HeadlessResult run = f.runHeadless("2026-12-08T02:00:00Z", 3);
  ASSERT_EQ(run.exitCode, 0) << f.headlessErr;
  ASSERT_GE(run.report.plans.size(), 3u);
  LogReportOptions o = optionsFor(f, run);
  o.acquisitionLogPath = f.dir.file("missing.log");
  const LogReportResult built = buildReportFromLog(o);
  ASSERT_TRUE(built.ok) << built.error;
  const NightReport& b = built.report;
  EXPECT_FALSE(b.imagesKnown);
  ASSERT_EQ(b.plans.size(), run.report.plans.size());
  // Each plan lasts until the next search; the last until the report's end.
  for (std::size_t i = 0; i + 1 < b.plans.size(); ++i) EXPECT_EQ(b.plans[i].endUnix, b.plans[i + 1].searchUnix);
  EXPECT_EQ(b.plans.back().endUnix, run.endUnix);
  const std::string text = formatNightReport(b);
  EXPECT_THAT(text, HasSubstr("Images: left out\n"));
  EXPECT_THAT(text, HasSubstr("Note: images are left out: there is no AcquireImages.log beside the run log\n"));
  EXPECT_THAT(text, Not(HasSubstr("exposing")));

  // A log that is not the simulated observatory's is named, not read as one.
  test::writeFileBytes(f.dir.file("other.log"), "12/8/2026 3:00:00 AM  Starting run\r\n");
  o.acquisitionLogPath = f.dir.file("other.log");
  const LogReportResult other = buildReportFromLog(o);
  ASSERT_TRUE(other.ok);
  EXPECT_FALSE(other.report.imagesKnown);
  EXPECT_THAT(formatNightReport(other.report), HasSubstr("other.log is not the simulated observatory's"));
}

TEST(LogReport, KeepsToTheStretchAskedForInALogOfManyRuns) {
  TestWorld f;
  f.writeList(kList);
  ASSERT_EQ(f.runHeadless("2026-12-08T02:00:00Z", 2).exitCode, 0);
  const HeadlessResult second = f.runHeadless("2026-12-09T02:00:00Z", 2);
  ASSERT_EQ(second.exitCode, 0) << f.headlessErr;
  LogReportOptions o = optionsFor(f, second);
  const LogReportResult built = buildReportFromLog(o);
  ASSERT_TRUE(built.ok);
  EXPECT_EQ(built.report.plans.size(), second.report.plans.size());
  EXPECT_EQ(built.report.searches, second.report.searches);

  // Without a stretch: the whole log, both runs, and the second day's gap between them.
  o.startUnix.reset();
  o.endUnix.reset();
  const LogReportResult whole = buildReportFromLog(o);
  ASSERT_TRUE(whole.ok);
  EXPECT_GT(whole.report.plans.size(), second.report.plans.size());
  EXPECT_LT(whole.report.startUnix, second.startUnix);

  // A stretch that cuts plans in two: the one under way at its start is not a plan of it
  // (its END is no run of its own), and the one under way at its end ends with it.
  for (bool withImages : {true, false}) {
    LogReportOptions cut = optionsFor(f, second);
    cut.startUnix = second.report.plans[1].startUnix + 30;
    cut.endUnix = second.report.plans[3].startUnix + 30;
    if (!withImages) cut.acquisitionLogPath = f.dir.file("missing.log");
    const LogReportResult part = buildReportFromLog(cut);
    ASSERT_TRUE(part.ok);
    ASSERT_EQ(part.report.plans.size(), 2u) << withImages;
    EXPECT_EQ(part.report.plans[0].target, second.report.plans[2].target);
    if (withImages) {
      EXPECT_EQ(part.report.plans[0].imagesTaken, second.report.plans[2].imagesTaken);
    }
    EXPECT_EQ(part.report.plans[1].endUnix, *cut.endUnix);
    EXPECT_EQ(part.report.waitWeatherSeconds, 0.0);
  }

  // A stretch the log does not reach is an error, not an empty report.
  o.startUnix = second.endUnix + 86400;
  o.endUnix = *o.startUnix + 3600;
  const LogReportResult none = buildReportFromLog(o);
  EXPECT_FALSE(none.ok);
  EXPECT_THAT(none.error, HasSubstr("shows no search or day"));
}

TEST(LogReport, ReadsTheDateFormsTheHostWrites) {
  struct Case {
    const char* text;
    LogDateOrder order;
    bool ok;
    int year, month, day, hour, minute, second;
  };
  const Case cases[] = {
      {"2026-12-07 05:00:00", LogDateOrder::Automatic, true, 2026, 12, 7, 5, 0, 0},
      {"12/7/2026 5:00:03 AM", LogDateOrder::Automatic, true, 2026, 12, 7, 5, 0, 3},
      {"12/7/2026 12:15:00 AM", LogDateOrder::Automatic, true, 2026, 12, 7, 0, 15, 0},
      {"12/7/2026 12:15:00 PM", LogDateOrder::Automatic, true, 2026, 12, 7, 12, 15, 0},
      {"12/7/2026 11:59:59 pm", LogDateOrder::Automatic, true, 2026, 12, 7, 23, 59, 59},
      {"7.12.2026 18:47:21", LogDateOrder::Automatic, true, 2026, 12, 7, 18, 47, 21},
      {"07/12/2026 18:47:21", LogDateOrder::Automatic, true, 2026, 12, 7, 18, 47, 21},
      {"12/7/2026 18:47:21", LogDateOrder::MonthDayYear, true, 2026, 12, 7, 18, 47, 21},
      {"12/8/2026", LogDateOrder::MonthDayYear, true, 2026, 12, 8, 0, 0, 0},  // midnight shows no time
      {"2026/12/07 05:00", LogDateOrder::Automatic, true, 2026, 12, 7, 5, 0, 0},
      {"12/7/2026 13:00:00 PM", LogDateOrder::Automatic, false, 0, 0, 0, 0, 0, 0},
      {"13/13/2026 05:00:00", LogDateOrder::Automatic, false, 0, 0, 0, 0, 0, 0},
      {"2026-12-07 25:00:00", LogDateOrder::Automatic, false, 0, 0, 0, 0, 0, 0},
      {"Monday 7 December", LogDateOrder::Automatic, false, 0, 0, 0, 0, 0, 0},
      {"2026-12-07 05:00:00 extra", LogDateOrder::Automatic, false, 0, 0, 0, 0, 0, 0},
      {"", LogDateOrder::Automatic, false, 0, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    CivilTime t;
    ASSERT_EQ(parseLogDateTime(c.text, c.order, t), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(t.year, c.year) << c.text;
    EXPECT_EQ(t.month, c.month) << c.text;
    EXPECT_EQ(t.day, c.day) << c.text;
    EXPECT_EQ(t.hour, c.hour) << c.text;
    EXPECT_EQ(t.minute, c.minute) << c.text;
    EXPECT_EQ(t.second, c.second) << c.text;
  }
}

TEST(LogReport, AWindowsLogInUsDatesGivesTheSameReportAsItsIsoTwin) {
  TestWorld f;
  f.writeList(kList);
  const HeadlessResult run = f.runHeadless("2026-12-07T12:00:00Z", 24);
  ASSERT_EQ(run.exitCode, 0) << f.headlessErr;
  // The same log as a US-English Windows computer's host would date it.
  const std::string iso = test::readFileBytes(f.runLogPath());
  std::string us;
  const std::regex stamp(R"((\d{4})-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2}))");
  std::sregex_iterator it(iso.begin(), iso.end(), stamp), end;
  std::size_t from = 0;
  for (; it != end; ++it) {
    const std::smatch& m = *it;
    us.append(iso, from, static_cast<std::size_t>(m.position(0)) - from);
    const int hour = std::stoi(m[4]);
    us += std::to_string(std::stoi(m[2])) + "/" + std::to_string(std::stoi(m[3])) + "/" + m[1].str() + " " +
          std::to_string(hour % 12 == 0 ? 12 : hour % 12) + ":" + m[5].str() + ":" + m[6].str() +
          (hour < 12 ? " AM" : " PM");
    from = static_cast<std::size_t>(m.position(0) + m.length(0));
  }
  us.append(iso, from);
  ASSERT_NE(us, iso);
  test::writeFileBytes(f.runLogPath(), us);
  const LogReportResult built = buildReportFromLog(optionsFor(f, run));
  ASSERT_TRUE(built.ok) << built.error;
  EXPECT_EQ(formatNightReport(built.report), formatNightReport(buildReportFromLog([&] {
              LogReportOptions o = optionsFor(f, run);
              test::writeFileBytes(f.dir.file("iso.log"), iso);
              o.logPath = f.dir.file("iso.log");
              o.acquisitionLogPath = f.acquisitionLogPath();
              return o;
            }()).report));
  EXPECT_EQ(built.report.plans.size(), run.report.plans.size());
}

}  // namespace
}  // namespace np
