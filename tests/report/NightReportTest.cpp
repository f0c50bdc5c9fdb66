// The night report worked out from a run's traces: the pairing of plans with the host's
// acquisition runs, the waits from the status line, and the share of the dark time spent
// exposing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "report/NightReport.h"
#include "support/TempDir.h"

namespace np {
namespace {

using ::testing::HasSubstr;

// 2026-12-08 00:00:00 UTC; the tests work at UTC offset 0 so local = UTC.
constexpr double kT0 = 1796688000.0;

AcquisitionEvent ev(double t, const char* kind, std::string text = "", double seconds = 0.0,
                    std::string reason = "") {
  AcquisitionEvent e;
  e.utc = t;
  e.kind = kind;
  e.text = std::move(text);
  e.seconds = seconds;
  e.reason = std::move(reason);
  return e;
}

std::string stamp(double unix) { return formatGeneralDate(localFromUnix(unix, 0.0)); }

std::string banner(double unix) {
  return std::string(64, '*') + "\r\n**** Searching for new target " + stamp(unix) + "\r\n" + std::string(64, '*') +
         "\r\n";
}

TEST(NightReportPairing, PlansTakeTheAcquisitionRunsInOrderWithTheirScoresAndImages) {
  NightReportInput in;
  in.startUnix = kT0;
  in.endUnix = kT0 + 3 * 3600;
  in.runLogText = banner(kT0 + 10) + "Target: A RA=1, DEC=2\r\n  Score=50 Elev=3 TransitAlt=4 HADiff=5\r\n" +
                  "  >>> New bestscore = 50\r\nTarget: B RA=1, DEC=2\r\n  >>> New bestscore = 75.5\r\n" +
                  "Running ACP plan for selected target:B\r\n" + banner(kT0 + 1000) +
                  "  >>> New bestscore = 12.25\r\nRunning ACP plan for selected target:Second one\r\n" +
                  banner(kT0 + 2000) + "No viable target - sleeping for 5 minutes\r\n" + banner(kT0 + 2400) +
                  "  >>> New bestscore = -3\r\nRunning ACP plan for selected target:C\r\n";
  in.acquisition = {
      // A script left running by an earlier run: its images belong to no plan of this one.
      ev(kT0 - 100, acqlog::kStart, "plan"), ev(kT0 + 5, acqlog::kExposure, "Old", 60),
      ev(kT0 + 6, acqlog::kEnd, "", 0, acqlog::kEndDone),
      ev(kT0 + 13, acqlog::kStart, "plan"), ev(kT0 + 100, acqlog::kAutofocus, "", 87),
      ev(kT0 + 220, acqlog::kExposure, "B", 120), ev(kT0 + 340, acqlog::kExposure, "B", 120),
      ev(kT0 + 400, acqlog::kSkipped, "B2"), ev(kT0 + 401, acqlog::kEnd, "", 0, acqlog::kEndDone),
      // The second plan never became active: a lone END.
      ev(kT0 + 1003, acqlog::kEnd, "", 0, acqlog::kEndError),
      ev(kT0 + 2403, acqlog::kStart, "plan"), ev(kT0 + 2600, acqlog::kExposure, "C", 30),
      // After the run: not counted.
      ev(kT0 + 3 * 3600 + 50, acqlog::kExposure, "C", 30)};
  NightReport r = buildNightReport(in);

  ASSERT_EQ(r.plans.size(), 3u);
  EXPECT_EQ(r.searches, 4);
  EXPECT_EQ(r.noTargetSleeps, 1);

  EXPECT_EQ(r.plans[0].target, "B");
  EXPECT_EQ(r.plans[0].scoreText, "75.5");
  EXPECT_DOUBLE_EQ(r.plans[0].score, 75.5);
  EXPECT_TRUE(r.plans[0].started);
  EXPECT_TRUE(r.plans[0].finished);
  EXPECT_EQ(r.plans[0].endReason, acqlog::kEndDone);
  EXPECT_DOUBLE_EQ(r.plans[0].startUnix, kT0 + 13);
  EXPECT_DOUBLE_EQ(r.plans[0].endUnix, kT0 + 401);
  EXPECT_EQ(r.plans[0].imagesTaken, 2);
  EXPECT_EQ(r.plans[0].imagesSkipped, 1);
  EXPECT_DOUBLE_EQ(r.plans[0].exposureSeconds, 240);

  EXPECT_EQ(r.plans[1].target, "Second one");
  EXPECT_EQ(r.plans[1].scoreText, "12.25");
  EXPECT_FALSE(r.plans[1].started);
  EXPECT_TRUE(r.plans[1].finished);
  EXPECT_EQ(r.plans[1].endReason, acqlog::kEndError);
  EXPECT_EQ(r.plans[1].imagesTaken, 0);

  // Still running when the run ended: it lasts to the end of the run.
  EXPECT_EQ(r.plans[2].target, "C");
  EXPECT_DOUBLE_EQ(r.plans[2].score, -3);
  EXPECT_TRUE(r.plans[2].started);
  EXPECT_FALSE(r.plans[2].finished);
  EXPECT_DOUBLE_EQ(r.plans[2].endUnix, in.endUnix);
  EXPECT_EQ(r.plans[2].imagesTaken, 1);

  EXPECT_EQ(r.imagesTaken, 3);
  EXPECT_EQ(r.imagesSkipped, 1);
}

// Read from the run log file, the report starts where this run's part starts: the
// history before it (here a run with plans of its own, and a torn last line) counts for
// nothing, and it is the same report as from this run's text.
TEST(NightReportPairing, FromTheRunLogFileOnlyThisRunsPartCounts) {
  test::TempDir dir;
  const std::string history = banner(kT0 - 5000) + "  >>> New bestscore = 9\r\n" +
                              "Running ACP plan for selected target:Old\r\nNo viable target - sleeping for 5 minutes\r\n" +
                              banner(kT0 - 100) + "Target: torn RA=1";
  const std::string part = "\r\n" + banner(kT0 + 10) + "  >>> New bestscore = 50\r\n" +
                           "Running ACP plan for selected target:New\r\n" + banner(kT0 + 900) +
                           "No viable target - sleeping for 5 minutes\r\n" + banner(kT0 + 1300) +
                           "Running ACP plan for selected target:Last";
  test::writeFileBytes(dir.file("Nightpick.log"), history + part);

  NightReportInput fromText;
  fromText.startUnix = kT0;
  fromText.endUnix = kT0 + 3600;
  fromText.runLogText = part;
  NightReportInput fromFile = fromText;
  fromFile.runLogText = "ignored\r\nRunning ACP plan for selected target:Never\r\n";
  fromFile.runLogPath = dir.file("Nightpick.log");
  fromFile.runLogStart = history.size();

  const NightReport a = buildNightReport(fromText), b = buildNightReport(fromFile);
  ASSERT_EQ(b.plans.size(), 2u);
  EXPECT_EQ(b.plans[0].target, "New");
  EXPECT_EQ(b.plans[0].scoreText, "50");
  EXPECT_DOUBLE_EQ(b.plans[0].searchUnix, kT0 + 10);
  EXPECT_EQ(b.plans[1].target, "Last");
  EXPECT_EQ(b.plans[1].scoreText, "");
  EXPECT_DOUBLE_EQ(b.plans[1].searchUnix, kT0 + 1300);
  EXPECT_EQ(b.searches, 3);
  EXPECT_EQ(b.noTargetSleeps, 1);
  EXPECT_EQ(formatNightReport(a), formatNightReport(b));

  // A start at or past the end of the file: nothing of this run was logged.
  fromFile.runLogStart = history.size() + part.size() + 10;
  const NightReport none = buildNightReport(fromFile);
  EXPECT_TRUE(none.plans.empty());
  EXPECT_EQ(none.searches, 0);
}

TEST(NightReportPairing, APlanWhoseScriptNeverRanBeforeTheStopHasNoImagesAndEndsWithTheRun) {
  NightReportInput in;
  in.startUnix = kT0;
  in.endUnix = kT0 + 600;
  in.runLogText = banner(kT0 + 590) + "  >>> New bestscore = 1\r\nRunning ACP plan for selected target:Late\r\n";
  NightReport r = buildNightReport(in);
  ASSERT_EQ(r.plans.size(), 1u);
  EXPECT_FALSE(r.plans[0].started);
  EXPECT_FALSE(r.plans[0].finished);
  EXPECT_DOUBLE_EQ(r.plans[0].startUnix, kT0 + 590);
  EXPECT_DOUBLE_EQ(r.plans[0].endUnix, kT0 + 600);
  EXPECT_THAT(formatNightReport(r), HasSubstr("not started"));
}

TEST(NightReportWaits, EachWaitingStatusCountsUntilTheNextChangeOrTheEndOfTheRun) {
  std::vector<StatusChange> st = {
      {kT0 - 50, {}, "Nightpick stopped"},
      {kT0, {}, "Waiting for ACP"},
      {kT0 + 30, {}, "Waiting for Sun to reach an elevation of -12.5 degrees"},
      {kT0 + 1030, {}, "Waiting for weather to be safe"},
      {kT0 + 1330, {}, "Selecting best target"},
      {kT0 + 1331, {}, "No viable target - sleeping for 5 minutes"},
      {kT0 + 1632, {}, "Selecting best target"},
      {kT0 + 1633, {}, "No viable target - sleeping for 5 minutes"}};
  NightReportInput in;
  in.startUnix = kT0;
  in.endUnix = kT0 + 1700;
  in.statuses = &st;
  NightReport r = buildNightReport(in);
  EXPECT_DOUBLE_EQ(r.waitHostSeconds, 30);
  EXPECT_DOUBLE_EQ(r.waitDuskSeconds, 1000);
  EXPECT_DOUBLE_EQ(r.waitWeatherSeconds, 300);
  EXPECT_DOUBLE_EQ(r.waitTargetSeconds, 301 + 67);
  ASSERT_EQ(r.weatherWaits.size(), 1u);
  EXPECT_DOUBLE_EQ(r.weatherWaits[0].start, kT0 + 1030);
  EXPECT_DOUBLE_EQ(r.weatherWaits[0].end, kT0 + 1330);
  ASSERT_EQ(r.noTargetWaits.size(), 2u);
  EXPECT_DOUBLE_EQ(r.noTargetWaits[1].end, kT0 + 1700);  // cut at the end of the run

  std::string text = formatNightReport(r);
  EXPECT_THAT(text, HasSubstr("Waiting for dusk:            0:16:40"));
  EXPECT_THAT(text, HasSubstr("Waiting for weather:         0:05:00"));
  EXPECT_THAT(text, HasSubstr("Waiting for a viable target: 0:06:08"));
  EXPECT_THAT(text, HasSubstr("Waiting for the host:        0:00:30"));
}

TEST(NightReportDark, TheShareCountsOnlyExposureTimeInTheDark) {
  // Greenwich on the evening of 7 December: the run begins in daylight and the dark
  // comes within it.
  const ReportSun greenwich(51.48, 0.0);
  const double start = kT0 - 8 * 3600, end = kT0 - 4 * 3600;
  const std::vector<TimeSpan> dark = greenwich.darkSpans(-18.0, start, end);
  ASSERT_EQ(dark.size(), 1u);
  const double dusk = dark[0].start;
  ASSERT_GT(dusk, start + 3600);
  ASSERT_EQ(dark[0].end, end);

  NightReportInput in;
  in.startUnix = start;
  in.endUnix = end;
  in.sunElev = -18;
  in.sun = greenwich;
  in.runLogText = banner(start) + "  >>> New bestscore = 1\r\nRunning ACP plan for selected target:X\r\n";
  in.acquisition = {ev(start + 3, acqlog::kStart, "p"),
                    ev(dusk + 60, acqlog::kExposure, "X", 120),    // 60 s before the dark, 60 s in it
                    ev(dusk + 1200, acqlog::kExposure, "X", 300),  // all in the dark
                    ev(dusk + 1201, acqlog::kEnd, "", 0, acqlog::kEndDone)};
  NightReport r = buildNightReport(in);
  EXPECT_EQ(r.dark.size(), 1u);
  EXPECT_DOUBLE_EQ(r.darkSeconds, end - dusk);
  EXPECT_NEAR(r.exposingSecondsInDark, 360, 1e-6);
  EXPECT_DOUBLE_EQ(r.plans.at(0).exposureSeconds, 420);
  // The Sun curve covers the run, both ends included.
  ASSERT_FALSE(r.sun.empty());
  EXPECT_DOUBLE_EQ(r.sun.front().unix, start);
  EXPECT_DOUBLE_EQ(r.sun.back().unix, end);
  EXPECT_THAT(formatNightReport(r), HasSubstr("exposing 0:06:00"));
}

}  // namespace
}  // namespace np
