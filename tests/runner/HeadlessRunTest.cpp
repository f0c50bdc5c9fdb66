// Whole runs through the headless runner, as a user starts them: a program folder with a
// target list and an observatory configuration, a start and a number of hours; what is
// checked is what the run prints and leaves behind, and the night report against both.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "support/SampleNight.h"
#include "support/TestWorld.h"
#include "support/TestText.h"

namespace np {
namespace {

using test::TestWorld;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

const std::vector<std::string> kSkyList = {
    "M81\t09:55:33\t+69:03:55",         "**** remaining=50", "NGC 253\t00:47:33\t-25:17:18", "**** remaining=50",
    "#COUNT 10",                        "#INTERVAL 30",      "M42\t05:35:17\t-05:23:28",     "**** remaining=50",
    "Omega Centauri\t13:26:47\t-47:28:46", "**** remaining=50", "M45\t03:47:24\t+24:07:00",     "**** remaining=50",
    "M104\t12:39:59\t-11:37:23",        "**** remaining=50"};

std::vector<std::string> lines(const std::string& text) { return test::splitLines(text); }

// The group counts of a list, by target name.
std::map<std::string, int> counts(const std::string& listPath) {
  std::map<std::string, int> c;
  std::string previous;
  for (const std::string& l : lines(test::readFileBytes(listPath))) {
    if (l.rfind("**** remaining=", 0) == 0) c[previous.substr(0, previous.find('\t'))] = std::stoi(l.substr(15));
    previous = l;
  }
  return c;
}

bool inDark(const NightReport& r, double t) {
  return std::any_of(r.dark.begin(), r.dark.end(), [&](const TimeSpan& s) { return t >= s.start - 5 && t <= s.end + 5; });
}

// What every finished run's report must agree with: its own traces.
void expectPlausibleReport(const HeadlessResult& result, const TestWorld& f, const std::string& runLogPart) {
  ASSERT_TRUE(result.hasReport);
  const NightReport& r = result.report;
  const double length = result.endUnix - result.startUnix;

  // Images: the acquisition log's events within the run, one for one.
  int exposures = 0, skipped = 0;
  for (const AcquisitionEvent& e : readAcquisitionLog(f.acquisitionLogPath())) {
    if (e.utc < result.startUnix || e.utc > result.endUnix) continue;
    exposures += e.kind == acqlog::kExposure;
    skipped += e.kind == acqlog::kSkipped;
  }
  EXPECT_EQ(r.imagesTaken, exposures);
  EXPECT_EQ(r.imagesSkipped, skipped);
  int taken = 0;
  for (const PlanRun& p : r.plans) taken += p.imagesTaken;
  EXPECT_EQ(taken, r.imagesTaken);

  // Plans: one per "Running" line of this run's log, with a logged best score.
  auto log = lines(runLogPart);
  EXPECT_EQ(static_cast<int>(r.plans.size()), test::countPrefix(log, "Running ACP plan for selected target:"));
  std::set<std::string> scores;
  for (const std::string& l : log)
    if (l.rfind("  >>> New bestscore = ", 0) == 0) scores.insert(l.substr(22));
  for (const PlanRun& p : r.plans) {
    EXPECT_TRUE(scores.count(p.scoreText)) << p.target << " " << p.scoreText;
    EXPECT_GE(p.score, -180);
    EXPECT_LE(p.score, 360);
    EXPECT_GE(p.startUnix, result.startUnix);
    EXPECT_LE(p.endUnix, result.endUnix);
    EXPECT_LE(p.startUnix, p.endUnix);
    // The loop runs plans at night only; the report's night is the Sun's own.
    EXPECT_TRUE(inDark(r, p.startUnix)) << p.target << " at " << p.startUnix;
  }
  for (std::size_t i = 1; i < r.plans.size(); ++i) EXPECT_GE(r.plans[i].startUnix, r.plans[i - 1].endUnix);

  // The time adds up: waits and plans never overlap, so together they fit in the run.
  double planTime = 0;
  for (const PlanRun& p : r.plans) planTime += p.endUnix - p.startUnix;
  EXPECT_LE(r.waitDuskSeconds + r.waitWeatherSeconds + r.waitTargetSeconds + r.waitHostSeconds + planTime,
            length + 1);
  EXPECT_LE(r.darkSeconds, length + 1);
  EXPECT_LE(r.exposingSecondsInDark, r.darkSeconds);

  // Printed after the status lines.
  auto printed = lines(f.headlessOut);
  auto reportLine = std::find_if(printed.begin(), printed.end(), [](const std::string& l) { return l.rfind("Night report: ", 0) == 0; });
  ASSERT_NE(reportLine, printed.end());
  static const std::regex statusLine(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d .+)");
  for (auto it = printed.begin(); it != reportLine; ++it) {
    if (!it->empty()) {
      EXPECT_TRUE(std::regex_match(*it, statusLine)) << *it;
    }
  }
  EXPECT_EQ(printed[reportLine - printed.begin() - 1], "");
  EXPECT_THAT(*std::prev(reportLine, 2), HasSubstr("Nightpick stopped"));
}

std::set<std::string> targetsRun(const NightReport& r) {
  std::set<std::string> s;
  for (const PlanRun& p : r.plans) s.insert(p.target);
  return s;
}

// The README's sample night, byte for byte as recorded from nightpick-sim: any change of a
// log line, the list, the plan, the settings or the report shows here (and, built for
// Windows, any difference of the core there).
TEST(HeadlessRunRecorded, TheSampleNightIsTheRecordedOne) {
  EXPECT_EQ(test::differences(test::runSampleNight(), test::recordedSampleNight()), "");
}

TEST(HeadlessRunSites, ANorthernWinterNightRunsNorthernTargetsThroughTheDark) {
  TestWorld f;
  f.writeList(kSkyList);
  // Default site: latitude 31.96, longitude -111.6, UTC-7. 05:00 local on 7 December.
  HeadlessResult r = f.runHeadless("2026-12-07T12:00:00Z", 24);
  ASSERT_EQ(r.exitCode, 0) << f.headlessErr;
  EXPECT_EQ(f.headlessErr, "");
  expectPlausibleReport(r, f, test::readFileBytes(f.runLogPath()));
  const NightReport& n = r.report;

  // About eleven hours of astronomical darkness in the 24 hours (the end of one night, then
  // 18:45 to 05:00), and the whole day in between waiting for dusk.
  EXPECT_GT(n.darkSeconds, 10.5 * 3600);
  EXPECT_LT(n.darkSeconds, 11.5 * 3600);
  EXPECT_GT(n.waitDuskSeconds, 12.5 * 3600);
  EXPECT_LT(n.waitDuskSeconds, 13.5 * 3600);
  EXPECT_EQ(n.waitWeatherSeconds, 0);
  EXPECT_GT(n.exposingSecondsInDark, 0.6 * n.darkSeconds);

  auto run = targetsRun(n);
  EXPECT_TRUE(run.count("M81"));
  EXPECT_FALSE(run.count("Omega Centauri"));  // culminates at 10.5 degrees here
  EXPECT_GE(n.plans.size(), 30u);
  EXPECT_THAT(f.headlessOut, HasSubstr("Dark time (Sun below -18 degrees): "));
}

TEST(HeadlessRunSites, ASouthernSummerNightIsShortAndRunsSouthernTargets) {
  TestWorld f;
  f.writeList(kSkyList);
  f.writeIni("[site]\nlatitude = -30.17\nlongitude = -70.81\n[limits]\nminimum_elevation = 15\n");
  // 07:00 local (UTC-5) on 7 December: a summer day, then a short night.
  HeadlessResult r = f.runHeadless("2026-12-07T12:00:00Z", 24);
  ASSERT_EQ(r.exitCode, 0) << f.headlessErr;
  expectPlausibleReport(r, f, test::readFileBytes(f.runLogPath()));
  const NightReport& n = r.report;
  EXPECT_DOUBLE_EQ(r.utcOffsetHours, -5);
  EXPECT_DOUBLE_EQ(n.minimumElevation, 15);

  EXPECT_GT(n.darkSeconds, 5.5 * 3600);
  EXPECT_LT(n.darkSeconds, 7.5 * 3600);
  auto run = targetsRun(n);
  EXPECT_FALSE(run.count("M81"));  // never above the horizon at -30
  EXPECT_TRUE(run.count("NGC 253") || run.count("M42"));
  EXPECT_FALSE(n.plans.empty());
  for (const PlanRun& p : n.plans) EXPECT_EQ(p.imagesSkipped, 0);
}

TEST(HeadlessRunWeather, AnUnsafeSpellAbortsThePlanAndIsWaitedOut) {
  TestWorld f;
  f.writeList(kSkyList);
  // 21:05 to 22:30 local, in the middle of the dark.
  f.writeIni("[weather]\nconnected = true\nunsafe = 2026-12-08T04:05:00Z/2026-12-08T05:30:00Z\n");
  const double unsafeStart = 1796702700.0, unsafeEnd = 1796707800.0;
  HeadlessResult r = f.runHeadless("2026-12-08T01:00:00Z", 8);
  ASSERT_EQ(r.exitCode, 0) << f.headlessErr;
  expectPlausibleReport(r, f, test::readFileBytes(f.runLogPath()));
  const NightReport& n = r.report;

  EXPECT_GT(n.waitWeatherSeconds, unsafeEnd - unsafeStart - 60);
  EXPECT_LE(n.waitWeatherSeconds, unsafeEnd - unsafeStart);
  int weatherEnds = 0;
  for (const PlanRun& p : n.plans) {
    weatherEnds += p.endReason == acqlog::kEndWeather;
    // No plan runs in the unsafe spell.
    EXPECT_TRUE(p.startUnix >= unsafeEnd || p.endUnix <= unsafeStart + 1) << p.target;
  }
  EXPECT_EQ(weatherEnds, 1);
  EXPECT_THAT(f.headlessOut, HasSubstr("\n2026-12-07 21:05:0"));
  EXPECT_THAT(f.headlessOut, HasSubstr(" Waiting for weather to be safe\n2026-12-07 22:30:0"));
  EXPECT_THAT(f.headlessOut, HasSubstr("Waiting for weather:         1:2"));
}

TEST(HeadlessRunList, AListThatRunsOutSleepsForLackOfATarget) {
  TestWorld f;
  f.writeList({"M42\t05:35:17\t-05:23:28", "**** remaining=2"});
  // 19:00 to 21:00 local: dark throughout.
  HeadlessResult r = f.runHeadless("2026-12-08T02:00:00Z", 2);
  ASSERT_EQ(r.exitCode, 0) << f.headlessErr;
  expectPlausibleReport(r, f, test::readFileBytes(f.runLogPath()));
  const NightReport& n = r.report;

  ASSERT_EQ(n.plans.size(), 2u);
  EXPECT_EQ(counts(f.listPath())["M42"], 0);
  double planTime = n.plans[1].endUnix - n.plans[0].startUnix;
  EXPECT_GT(n.noTargetSleeps, 10);
  // From the second plan's end to the stop, the run did little but sleep.
  EXPECT_GT(n.waitTargetSeconds, 7200 - planTime - 60);
  EXPECT_NEAR(n.darkSeconds, 7200, 1);
  EXPECT_THAT(f.headlessOut, HasSubstr(" No viable target - sleeping for 5 minutes\n"));
  EXPECT_THAT(f.headlessOut, HasSubstr("Plans run: 2 ("));
}

TEST(HeadlessRunList, GroupsNoPassFoundEligibleAreReportedWithTheTestThatKeptThemOut) {
  TestWorld f;
  // At 32 degrees north: one that runs, one that never rises, one run out, one unreadable.
  f.writeList({"M42\t05:35:17\t-05:23:28", "**** remaining=2", "Southern\t05:00:00\t-80:00:00", "**** remaining=5",
               "M1\t05:34:32\t+22:00:52", "**** remaining=0", "Odd\tlater\t+10:00:00", "**** remaining=1"});
  HeadlessResult r = f.runHeadless("2026-12-08T02:00:00Z", 2);
  ASSERT_EQ(r.exitCode, 0) << f.headlessErr;
  const std::vector<KeptOutGroup>& kept = r.report.neverEligible;
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ(kept[0].name, "Southern");
  EXPECT_EQ(kept[0].test, "min-elevation");
  EXPECT_EQ(kept[0].failedThere, kept[0].passes);
  EXPECT_EQ(kept[0].passes, r.report.searches);
  EXPECT_EQ(kept[1].name, "M1");
  EXPECT_EQ(kept[1].test, "count");
  EXPECT_EQ(kept[2].test, "target line");
}

TEST(HeadlessRunList, ParseProblemsAreReportedAndTheRunGoesOn) {
  TestWorld f;
  f.writeList({"M42 with no tabs", "**** remaining=3", "M45\t03:47:24\t+24:07:00", "**** remaining=2 colour=red",
               "Trailing\t1\t2"});
  HeadlessResult r = f.runHeadless("2026-12-08T02:00:00Z", 1);
  ASSERT_EQ(r.exitCode, 0) << f.headlessErr;
  expectPlausibleReport(r, f, test::readFileBytes(f.runLogPath()));
  EXPECT_THAT(f.headlessErr, HasSubstr("message: Parse error - First tab missing from target line 'M42 with no tabs'\n"));
  EXPECT_THAT(f.headlessErr, HasSubstr("message: Unknown target config item name: 'colour'\n"));
  EXPECT_THAT(f.headlessErr, Not(HasSubstr("error:")));
  EXPECT_EQ(targetsRun(r.report), std::set<std::string>{"M45"});
  // Every message line printed is one message box recorded.
  auto errLines = lines(f.headlessErr);
  EXPECT_EQ(errLines.size(), r.messages.size());
}

TEST(HeadlessRunList, AMissingListEndsTheRunWithItsErrorAndTouchesNothingElse) {
  TestWorld f;
  HeadlessResult r = f.runHeadless("2026-12-08T02:00:00Z", 2);
  EXPECT_NE(r.exitCode, 0);
  EXPECT_THAT(r.error, HasSubstr("targets.txt"));
  EXPECT_THAT(f.headlessErr, AllOf(HasSubstr("error: "), HasSubstr("targets.txt")));

  // The log holds the search that failed and ends with a whole line: it was closed.
  std::string log = test::readFileBytes(f.runLogPath());
  EXPECT_THAT(log, HasSubstr("**** Searching for new target 2026-12-07 19:00:00\r\n"));
  EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
  // No list, no plan and no hand-over file appear; the host ran nothing.
  std::vector<std::string> programEntries;
  for (const auto& e : std::filesystem::directory_iterator(f.programDir()))
    programEntries.push_back(e.path().filename().string());
  EXPECT_EQ(programEntries, std::vector<std::string>{"observatory"});
  EXPECT_TRUE(std::filesystem::is_empty(f.hostDir() + "/Plans"));
  EXPECT_FALSE(std::filesystem::exists(f.acquisitionLogPath()));

  ASSERT_TRUE(r.hasReport);
  EXPECT_TRUE(r.report.plans.empty());
  EXPECT_THAT(f.headlessOut, HasSubstr("Plans run: 0 (1 searches"));
}

// Every file under a folder with its bytes.
std::map<std::string, std::string> snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
    if (e.is_regular_file()) files[e.path().string()] = test::readFileBytes(e.path().string());
  return files;
}

// A copy started on a folder that another copy runs on is refused and writes nothing
// there: above all not the settings it loaded, which may be older than the running copy's.
TEST(HeadlessRunList, ACopyRefusedByTheFoldersLockWritesNothingIntoIt) {
  TestWorld f;
  f.writeList(kSkyList);
  LocalFileSystem files;
  for (const char* config : {"", "lastFocusJD,2459000.5\r\nfocusInterval,45\r\nbaseDir,x\r\nmaxElevation,80\r\n"
                                 "minAzimuth,0\r\nmaxAzimuth,360\r\n"}) {
    SCOPED_TRACE(config);
    if (*config != '\0') test::writeFileBytes(f.configPath(), config);
    const auto before = snapshot(f.programDir());
    auto running = files.LockFolder(f.programDir());
    ASSERT_NE(running, nullptr);
    HeadlessResult r = f.runHeadless("2026-12-08T02:00:00Z", 2);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_THAT(r.error, HasSubstr("is already running on this folder"));
    EXPECT_EQ(snapshot(f.programDir()), before);
  }
}

TEST(HeadlessRunList, TwoNightsInARowLowerTheCountsAcrossBoth) {
  TestWorld f;
  f.writeList({"M42\t05:35:17\t-05:23:28", "**** remaining=40", "M45\t03:47:24\t+24:07:00", "**** remaining=40",
               "NGC 253\t00:47:33\t-25:17:18", "**** remaining=40"});
  auto total = [&] {
    int t = 0;
    for (auto& [name, c] : counts(f.listPath())) t += c;
    return t;
  };

  // 17:00 local to 07:00 the next morning, twice.
  HeadlessResult first = f.runHeadless("2026-12-08T00:00:00Z", 14);
  ASSERT_EQ(first.exitCode, 0) << f.headlessErr;
  std::string logAfterFirst = test::readFileBytes(f.runLogPath());
  expectPlausibleReport(first, f, logAfterFirst);
  const int afterFirst = total();
  EXPECT_EQ(afterFirst, 120 - static_cast<int>(first.report.plans.size()));
  EXPECT_GT(first.report.plans.size(), 20u);

  HeadlessResult second = f.runHeadless("2026-12-09T00:00:00Z", 14);
  ASSERT_EQ(second.exitCode, 0) << f.headlessErr;
  std::string logAfterSecond = test::readFileBytes(f.runLogPath());
  ASSERT_EQ(logAfterSecond.compare(0, logAfterFirst.size(), logAfterFirst), 0);  // appended
  expectPlausibleReport(second, f, logAfterSecond.substr(logAfterFirst.size()));
  EXPECT_EQ(total(), afterFirst - static_cast<int>(second.report.plans.size()));
  EXPECT_GT(second.report.plans.size(), 20u);
  // The second report is the second night's alone.
  for (const PlanRun& p : second.report.plans) EXPECT_GE(p.searchUnix, second.startUnix);
  EXPECT_EQ(second.report.searches, test::countPrefix(lines(logAfterSecond.substr(logAfterFirst.size())),
                                                "**** Searching for new target "));
}

TEST(HeadlessRunSky, TheReportCarriesTheListAsItWasAndTheSitesLimits) {
  TestWorld f;
  f.writeList(kSkyList);
  f.writeIni("[limits]\nminimum_elevation = 20\nhorizon = 0:10 90:14 180:6 270:22\n");
  test::writeFileBytes(f.dir.file("config.ini"), "lastFocusJD,0\r\nfocusInterval,30\r\nbaseDir,C:\\\r\nmaxElevation,75\r\nminAzimuth,0\r\nmaxAzimuth,360\r\nsunElev,-15\r\n");
  HeadlessResult r = f.runHeadless("2026-12-08T02:00:00Z", 3);
  ASSERT_EQ(r.exitCode, 0) << f.headlessErr;
  const NightReport& n = r.report;
  ASSERT_EQ(n.groups.size(), 6u);
  EXPECT_EQ(n.groups[0].name, "M81");
  EXPECT_NEAR(n.groups[0].ra, 9 + 55 / 60.0 + 33 / 3600.0, 1e-5);
  EXPECT_NEAR(n.groups[1].dec, -(25 + 17 / 60.0 + 18 / 3600.0), 1e-5);
  EXPECT_EQ(n.groups[0].remaining, 50);  // as the run found it, before any plan
  EXPECT_DOUBLE_EQ(n.minimumElevation, 20);
  EXPECT_DOUBLE_EQ(n.horizonMax, 22);
  EXPECT_DOUBLE_EQ(n.maxElevation, 75);
  EXPECT_DOUBLE_EQ(n.sunElev, -15);
  EXPECT_THAT(f.headlessOut, HasSubstr("Dark time (Sun below -15 degrees): 3:00:00"));
}

}  // namespace
}  // namespace np
