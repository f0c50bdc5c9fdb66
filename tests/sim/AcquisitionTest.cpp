#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/Paths.h"
#include "support/TestText.h"
#include "host/AcquisitionLog.h"
#include "host/UtcTime.h"
#include "support/SimFixture.h"

namespace np {
namespace {

using ::testing::HasSubstr;
using test::kSimNightUnix;
using test::SimFixture;

constexpr double T = kSimNightUnix;  // RunScript is called at T; the script is active from T + 3

using test::errorOf;

// A target line for an object that stands about `fromZenith` degrees south of the zenith
// on the meridian at T + 3.
std::string meridianTarget(SimFixture& sim, const std::string& name, double fromZenith = 2.0) {
  const double ra = sim.meridianRa(T + 3.0);
  const double dec = sim.telescope->SiteLatitude() - fromZenith;
  return name + "\t" + std::to_string(ra) + "\t" + std::to_string(dec);
}

std::string quitAt(double unixSeconds) { return "#QUITAT " + formatUtc(unixSeconds); }

// "KIND@seconds after T" for every event, for compact comparisons.
std::vector<std::string> timeline(const std::vector<AcquisitionEvent>& events) {
  std::vector<std::string> out;
  for (const auto& e : events) {
    std::string s = e.kind + "@" + std::to_string(static_cast<long long>(e.utc - T));
    if (e.kind == acqlog::kExposure || e.kind == acqlog::kSkipped) s += ":" + e.text;
    if (e.kind == acqlog::kEnd) s += ":" + e.reason;
    out.push_back(s);
  }
  return out;
}

bool activeAt(SimFixture& sim, double offset) {
  sim.clock.set(T + offset);
  return sim.util->ScriptActive();
}

// ---- the course of a run ------------------------------------------------------------

TEST(AcquisitionRun, StartDelayAutofocusOverheadAndExposures) {
  SimFixture sim;
  sim.runPlan({quitAt(T + 86400.0), "#AUTOFOCUS", meridianTarget(sim, "A")});
  EXPECT_FALSE(sim.util->ScriptActive());
  EXPECT_TRUE(sim.host->scriptRunning());
  EXPECT_FALSE(activeAt(sim, 2.9));
  EXPECT_TRUE(activeAt(sim, 3.0));
  EXPECT_TRUE(activeAt(sim, 722.9));
  EXPECT_FALSE(activeAt(sim, 723.0));
  EXPECT_FALSE(sim.host->scriptRunning());

  const auto events = sim.events();
  EXPECT_THAT(timeline(events),
              ::testing::ElementsAre("START@3", "AUTOFOCUS@183", "EXPOSURE@363:A", "EXPOSURE@483:A",
                                     "EXPOSURE@603:A", "EXPOSURE@723:A", "END@723:done"));
  EXPECT_EQ(events[0].text, joinPath(sim.host->planDir(), "testplan.txt"));
  EXPECT_EQ(events[1].seconds, 180.0);
  for (int i = 2; i < 6; ++i) {
    EXPECT_EQ(events[i].seconds, 120.0);
    EXPECT_GT(events[i].elevation, 85.0);
  }
}

// A dry run shows where a German mount's flip falls: between two exposures, once the
// target has passed the flip's hour angle, the flip taking a slew's time (overhead).
TEST(AcquisitionRun, AFlipIsLoggedBetweenExposuresAtTheFlipsHourAngle) {
  SimFixture sim("[mount]\nmeridian_flip = 1\n");
  EXPECT_FALSE(SimFixture().host->config().mount.meridianFlip) << "none by default";
  sim.runPlan({"#COUNT 6", meridianTarget(sim, "A")});
  sim.runUntilIdle();
  // On the meridian at T + 3; the slew ends at T + 63 (0.25 degrees), and 1 degree is
  // passed after 240 s of images: the third image would begin past it.
  EXPECT_THAT(timeline(sim.events()),
              ::testing::ElementsAre("START@3", "EXPOSURE@183:A", "EXPOSURE@303:A", "FLIP@303", "EXPOSURE@483:A",
                                     "EXPOSURE@603:A", "EXPOSURE@723:A", "EXPOSURE@843:A", "END@843:done"));
  const AcquisitionEvent flip = sim.events(acqlog::kFlip).at(0);
  EXPECT_EQ(flip.text, "A");
  EXPECT_NEAR(flip.hourAngle, 15.041 * 300 / 3600, 0.02);
  EXPECT_TRUE(flip.pierSide.empty());
}

TEST(AcquisitionRun, LogIsWrittenOnlyUpToTheClock) {
  SimFixture sim;
  sim.runPlan({meridianTarget(sim, "A")});
  sim.clock.set(T + 200.0);
  EXPECT_THAT(timeline(sim.events()), ::testing::ElementsAre("START@3", "EXPOSURE@183:A"));
  sim.clock.set(T + 10000.0);
  EXPECT_EQ(sim.events().size(), 6u);
}

TEST(AcquisitionRun, CountAndIntervalApplyToTheTargetLinesAfterThem) {
  SimFixture sim;
  sim.runPlan({meridianTarget(sim, "A"), "#count 2", "#Interval 30", meridianTarget(sim, "B"), "; a comment", "",
               "   ", meridianTarget(sim, "C")});
  sim.runUntilIdle();
  EXPECT_THAT(timeline(sim.events()),
              ::testing::ElementsAre("START@3", "EXPOSURE@183:A", "EXPOSURE@303:A", "EXPOSURE@423:A",
                                     "EXPOSURE@543:A", "EXPOSURE@633:B", "EXPOSURE@663:B", "EXPOSURE@753:C",
                                     "EXPOSURE@783:C", "END@783:done"));
  EXPECT_EQ(sim.events(acqlog::kExposure).back().seconds, 30.0);
}

TEST(AcquisitionRun, ConfiguredDefaultsTimeTheRun) {
  SimFixture sim("[acquisition]\nstart_delay = 10\ncount = 1\ninterval = 5\noverhead = 0\nautofocus = 7\n");
  sim.runPlan({"#autofocus", meridianTarget(sim, "A")});
  EXPECT_FALSE(activeAt(sim, 9.0));
  EXPECT_TRUE(activeAt(sim, 10.0));
  sim.runUntilIdle();
  EXPECT_THAT(timeline(sim.events()), ::testing::ElementsAre("START@10", "AUTOFOCUS@17", "EXPOSURE@22:A", "END@22:done"));
}

TEST(AcquisitionRun, UnknownDirectivesAreLoggedAndIgnored) {
  SimFixture sim;
  sim.runPlan({"#DITHER 5", "#count 1", meridianTarget(sim, "A"), "#guide\ton"});
  sim.runUntilIdle();
  const auto events = sim.events();
  EXPECT_THAT(timeline(events), ::testing::ElementsAre("START@3", "IGNORED@3", "IGNORED@3", "EXPOSURE@183:A",
                                                       "END@183:done"));
  EXPECT_EQ(events[1].text, "#DITHER 5");
  EXPECT_EQ(events[2].text, "#guide on");  // no TAB inside a field
}

TEST(AcquisitionRun, FilterGroupsAreTakenInTurnOneLineAnImage) {
  SimFixture sim;
  sim.runPlan({"#FILTER L, R", "#COUNT 2,1", "#INTERVAL 30,200", "#BINNING 2", meridianTarget(sim, "A"),
               "#filter V", "#count 1", "#interval 10", meridianTarget(sim, "B")});
  sim.runUntilIdle();
  const auto events = sim.events();
  // A: 60 s overhead, then 2 x 30 s and 1 x 200 s; B: 60 s overhead and 10 s.
  EXPECT_THAT(timeline(events), ::testing::ElementsAre("START@3", "EXPOSURE@93:A", "EXPOSURE@123:A",
                                                       "EXPOSURE@323:A", "EXPOSURE@393:B", "END@393:done"));
  const auto exposures = sim.events(acqlog::kExposure);
  ASSERT_EQ(exposures.size(), 4u);
  EXPECT_EQ(exposures[0].seconds, 30.0);
  EXPECT_EQ(exposures[1].seconds, 30.0);
  EXPECT_EQ(exposures[2].seconds, 200.0);
  EXPECT_EQ(exposures[3].seconds, 10.0);
  // The simulated observatory writes no image files: its lines keep their four fields.
  for (const std::string& line : test::splitLines(test::readFileBytes(sim.host->acquisitionLogPath()))) {
    if (line.find("\tEXPOSURE\t") == std::string::npos) continue;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 5) << line;
  }
  EXPECT_TRUE(std::all_of(exposures.begin(), exposures.end(), [](const auto& e) { return e.file.empty(); }));
}

TEST(AcquisitionQuit, QuitTimeStopsBetweenTheImagesOfLaterGroups) {
  SimFixture sim;
  sim.runPlan({quitAt(T + 150.0), "#FILTER L,R", "#COUNT 1,3", "#INTERVAL 60", meridianTarget(sim, "A")});
  sim.runUntilIdle();
  // Overhead until 63, L until 123, R until 183 runs past the quit time and is finished.
  EXPECT_THAT(timeline(sim.events()),
              ::testing::ElementsAre("START@3", "EXPOSURE@123:A", "EXPOSURE@183:A", "END@183:quit"));
}

// ---- quit time ----------------------------------------------------------------------

TEST(AcquisitionQuit, ExposureUnderWayFinishesPastTheQuitTime) {
  SimFixture sim;
  sim.runPlan({quitAt(T + 233.0), meridianTarget(sim, "A")});
  EXPECT_TRUE(activeAt(sim, 302.0));
  EXPECT_FALSE(activeAt(sim, 303.0));
  EXPECT_THAT(timeline(sim.events()),
              ::testing::ElementsAre("START@3", "EXPOSURE@183:A", "EXPOSURE@303:A", "END@303:quit"));
}

TEST(AcquisitionQuit, QuitDuringSlewOrAutofocusEndsAtTheQuitTime) {
  SimFixture slew;
  slew.runPlan({quitAt(T + 30.0), meridianTarget(slew, "A")});
  slew.runUntilIdle();
  EXPECT_THAT(timeline(slew.events()), ::testing::ElementsAre("START@3", "END@30:quit"));

  SimFixture focus;
  focus.runPlan({quitAt(T + 100.0), "#AUTOFOCUS", meridianTarget(focus, "A")});
  focus.runUntilIdle();
  EXPECT_THAT(timeline(focus.events()), ::testing::ElementsAre("START@3", "END@100:quit"));
}

TEST(AcquisitionQuit, QuitTimeBeforeTheFirstTargetLine) {
  // A quit time already past: the script starts, sees it, and ends; it is still seen active.
  SimFixture sim;
  sim.runPlan({quitAt(T - 100.0), meridianTarget(sim, "A")});
  EXPECT_TRUE(activeAt(sim, 3.0));
  EXPECT_FALSE(activeAt(sim, 4.0));
  EXPECT_THAT(timeline(sim.events()), ::testing::ElementsAre("START@3", "END@4:quit"));
}

TEST(AcquisitionQuit, LaterQuitLineGovernsTheLinesAfterIt) {
  SimFixture sim;
  sim.runPlan({"#COUNT 1", meridianTarget(sim, "A"), quitAt(T + 100.0), meridianTarget(sim, "B")});
  sim.runUntilIdle();
  EXPECT_THAT(timeline(sim.events()), ::testing::ElementsAre("START@3", "EXPOSURE@183:A", "END@183:quit"));
}

// ---- abort and weather --------------------------------------------------------------

TEST(AcquisitionAbort, AbortScriptEndsTheRunAtOnce) {
  SimFixture sim;
  sim.runPlan({meridianTarget(sim, "A")});
  sim.clock.set(T + 200.0);
  ASSERT_TRUE(sim.util->ScriptActive());
  sim.util->AbortScript();
  EXPECT_FALSE(sim.util->ScriptActive());
  EXPECT_FALSE(sim.host->scriptRunning());
  sim.clock.set(T + 5000.0);
  EXPECT_FALSE(sim.util->ScriptActive());
  EXPECT_THAT(timeline(sim.events()), ::testing::ElementsAre("START@3", "EXPOSURE@183:A", "END@200:aborted"));
  // Nothing to abort any more: no effect.
  sim.util->AbortScript();
  EXPECT_EQ(sim.events().size(), 3u);
}

TEST(AcquisitionAbort, AbortDuringTheStartDelay) {
  SimFixture sim;
  sim.runPlan({meridianTarget(sim, "A")});
  sim.clock.set(T + 1.0);
  sim.util->AbortScript();
  EXPECT_FALSE(activeAt(sim, 3.0));
  EXPECT_FALSE(activeAt(sim, 200.0));
  EXPECT_THAT(timeline(sim.events()), ::testing::ElementsAre("END@1:aborted"));
}

TEST(AcquisitionAbort, AbortWithoutAnyRunDoesNothing) {
  SimFixture sim;
  EXPECT_NO_THROW(sim.util->AbortScript());
  EXPECT_TRUE(sim.events().empty());
}

constexpr const char* kUnsafeFrom0405 =
    "[weather]\nconnected = %s\nunsafe = 2024-03-10T04:05:00Z/2024-03-10T05:00:00Z\n";

std::string weatherIni(bool connected) {
  char buffer[200];
  std::snprintf(buffer, sizeof buffer, kUnsafeFrom0405, connected ? "true" : "false");
  return buffer;
}

TEST(AcquisitionWeather, ConnectedSourceTurningUnsafeAbortsTheRun) {
  SimFixture sim(weatherIni(true));
  sim.runPlan({meridianTarget(sim, "A")});
  EXPECT_TRUE(activeAt(sim, 299.0));
  EXPECT_FALSE(activeAt(sim, 300.0));
  EXPECT_FALSE(sim.util->Weather().Safe());
  EXPECT_THAT(timeline(sim.events()), ::testing::ElementsAre("START@3", "EXPOSURE@183:A", "END@300:weather"));
}

TEST(AcquisitionWeather, UnconnectedSourceNeverAborts) {
  SimFixture sim(weatherIni(false));
  sim.runPlan({meridianTarget(sim, "A")});
  sim.runUntilIdle();
  EXPECT_EQ(sim.events(acqlog::kExposure).size(), 4u);
  EXPECT_EQ(sim.events(acqlog::kEnd).at(0).reason, acqlog::kEndDone);
}

TEST(AcquisitionWeather, RunStartedInUnsafeWeatherIsSeenActiveThenAborted) {
  SimFixture sim(weatherIni(true), T + 400.0);
  const double start = T + 400.0;
  sim.runPlan({meridianTarget(sim, "A")});
  sim.clock.set(start + 3.0);
  EXPECT_TRUE(sim.util->ScriptActive());
  sim.clock.set(start + 4.0);
  EXPECT_FALSE(sim.util->ScriptActive());
  EXPECT_THAT(timeline(sim.events()), ::testing::ElementsAre("START@403", "END@404:weather"));
}

// ---- skipped targets ----------------------------------------------------------------

TEST(AcquisitionSkip, TargetBelowTheMinimumElevationIsSkipped) {
  SimFixture sim;
  sim.runPlan({"Deep South\t" + std::to_string(sim.meridianRa(T)) + "\t-80:00:00", meridianTarget(sim, "A")});
  sim.runUntilIdle();
  const auto events = sim.events();
  EXPECT_THAT(timeline(events), ::testing::ElementsAre("START@3", "SKIPPED@3:Deep South", "EXPOSURE@183:A",
                                                       "EXPOSURE@303:A", "EXPOSURE@423:A", "EXPOSURE@543:A",
                                                       "END@543:done"));
  EXPECT_EQ(events[1].reason, acqlog::kSkippedBelowMinimum);
  EXPECT_NEAR(events[1].elevation, 90.0 - (31.96 + 80.0), 0.01);
  EXPECT_NEAR(events[1].azimuth, 180.0, 0.01);
}

TEST(AcquisitionSkip, TargetBelowTheLocalHorizonIsSkipped) {
  SimFixture sim("[limits]\nminimum_elevation = 10\nhorizon = 0:60 359:60\n");
  sim.runPlan({"#COUNT 1", meridianTarget(sim, "Low", 40.0), meridianTarget(sim, "High", 5.0)});
  sim.runUntilIdle();
  const auto events = sim.events();
  EXPECT_THAT(timeline(events),
              ::testing::ElementsAre("START@3", "SKIPPED@3:Low", "EXPOSURE@183:High", "END@183:done"));
  EXPECT_EQ(events[1].reason, acqlog::kSkippedBelowHorizon);
  EXPECT_NEAR(events[1].elevation, 50.0, 0.01);
}

TEST(AcquisitionSkip, ElevationIsJudgedAtTheTargetsTurn) {
  // The second target is on the meridian at T + 3 but its turn comes 12 hours later,
  // when it stands near the lower culmination, below the horizon.
  SimFixture sim("[acquisition]\ncount = 1\ninterval = 43000\noverhead = 0\n");
  sim.runPlan({meridianTarget(sim, "First"), meridianTarget(sim, "Second", 30.0)});
  sim.runUntilIdle(60.0);
  EXPECT_THAT(timeline(sim.events()),
              ::testing::ElementsAre("START@3", "EXPOSURE@43003:First", "SKIPPED@43003:Second", "END@43003:done"));
}

TEST(AcquisitionRun, ExposurePositionIsWhereTheTargetStandsWhenItEnds) {
  SimFixture sim;
  sim.runPlan({"#count 1", "#interval 3600", "East\t" + std::to_string(std::fmod(sim.meridianRa(T) + 2.0, 24.0)) +
                                                 "\t+10:00:00"});
  sim.runUntilIdle();
  const auto exposures = sim.events(acqlog::kExposure);
  ASSERT_EQ(exposures.size(), 1u);
  sim.clock.set(exposures[0].utc);
  auto ct = sim.util->NewCTHereAndNow();
  ct->setRightAscension(std::fmod(sim.meridianRa(T) + 2.0, 24.0));
  ct->setDeclination(10.0);
  EXPECT_NEAR(exposures[0].elevation, ct->Elevation(), 0.001);
  EXPECT_NEAR(exposures[0].azimuth, ct->Azimuth(), 0.001);
}

// ---- hand-over, scripts and plans that cannot be run --------------------------------

TEST(AcquisitionHandOver, RunPlanOnceIsReadAndDeleted) {
  SimFixture sim;
  const std::string handOver = sim.host->planDir() + "/runplanonce.txt";
  sim.runPlan({meridianTarget(sim, "A")});
  EXPECT_FALSE(std::filesystem::exists(handOver));
  EXPECT_EQ(sim.host->runCount(), 1);
}

TEST(AcquisitionHandOver, MissingRunPlanOnceEndsTheRunAtOnce) {
  SimFixture sim;
  sim.util->LoadScript(sim.host->scriptPath());
  sim.util->RunScript();
  EXPECT_FALSE(sim.host->scriptRunning());
  EXPECT_FALSE(activeAt(sim, 3.0));
  EXPECT_FALSE(activeAt(sim, 100.0));
  const auto events = sim.events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, acqlog::kEnd);
  EXPECT_EQ(events[0].utc, T);
  EXPECT_EQ(events[0].reason, acqlog::kEndError);
  EXPECT_THAT(events[0].detail, HasSubstr("runplanonce.txt"));
}

TEST(AcquisitionHandOver, PlanThatCannotBeOpenedEndsTheRunAtOnce) {
  SimFixture sim;
  sim.handOver(sim.host->planDir() + "/nosuchplan.txt");
  sim.util->LoadScript(sim.host->scriptPath());
  sim.util->RunScript();
  EXPECT_FALSE(activeAt(sim, 3.0));
  const auto events = sim.events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].reason, acqlog::kEndError);
  EXPECT_THAT(events[0].detail, HasSubstr("nosuchplan.txt"));
}

struct BadPlan {
  std::vector<std::string> lines;
  const char* mustSay;
};

class AcquisitionBadPlan : public ::testing::TestWithParam<BadPlan> {};

TEST_P(AcquisitionBadPlan, EndsTheRunAtOnceNamingTheLine) {
  SimFixture sim;
  sim.runPlan(GetParam().lines);
  EXPECT_FALSE(activeAt(sim, 3.0));
  EXPECT_FALSE(std::filesystem::exists(sim.host->planDir() + "/runplanonce.txt"));
  const auto events = sim.events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].reason, acqlog::kEndError);
  EXPECT_THAT(events[0].detail, HasSubstr(GetParam().mustSay));
  EXPECT_THAT(events[0].detail, HasSubstr("testplan.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AcquisitionBadPlan,
    ::testing::Values(BadPlan{{"#COUNT 1", "M1\t5.5.3\t+22:00:00"}, "line 2"},
                      BadPlan{{"M1\t05:34:32\tnorth"}, "line 1"},
                      BadPlan{{"M1 05:34:32 +22:00:00"}, "line 1"},
                      BadPlan{{"M1\t25:00:00\t+22:00:00"}, "line 1"},
                      BadPlan{{"M1\t05:00:00\t+95:00:00"}, "line 1"},
                      BadPlan{{";", "#QUITAT tomorrow"}, "line 2"},
                      BadPlan{{"#COUNT 0"}, "line 1"},
                      BadPlan{{"#COUNT 2.5"}, "line 1"},
                      BadPlan{{"#INTERVAL -3"}, "line 1"},
                      BadPlan{{"#INTERVAL"}, "line 1"}));

TEST(AcquisitionScripts, LoadScriptNeedsAnExistingFile) {
  SimFixture sim;
  const std::string missing = sim.hostDir() + "/Scripts/Nope.js";
  const std::string error = errorOf([&] { sim.util->LoadScript(missing); });
  EXPECT_THAT(error, HasSubstr("LoadScript"));
  EXPECT_THAT(error, HasSubstr(missing));
  EXPECT_THAT(errorOf([&] { sim.util->LoadScript(sim.hostDir() + "/Scripts"); }), HasSubstr("LoadScript"));
  EXPECT_EQ(sim.host->loadedScript(), "");
}

TEST(AcquisitionScripts, RunScriptNeedsALoadedScriptAndNoRunningOne) {
  SimFixture sim;
  sim.handOver(sim.writePlan({meridianTarget(sim, "A")}));
  EXPECT_THAT(errorOf([&] { sim.util->RunScript(); }), HasSubstr("RunScript: no script is loaded"));
  sim.util->LoadScript(sim.host->scriptPath());
  sim.util->RunScript();
  // Still in its start delay, then active: either way a second start fails.
  EXPECT_THAT(errorOf([&] { sim.util->RunScript(); }), HasSubstr("RunScript: a script is already running"));
  sim.clock.set(T + 100.0);
  EXPECT_THAT(errorOf([&] { sim.util->RunScript(); }), HasSubstr("RunScript: a script is already running"));
  EXPECT_EQ(sim.host->runCount(), 1);
}

TEST(AcquisitionScripts, RunsFollowOneAnother) {
  SimFixture sim("[acquisition]\ncount = 1\n");
  sim.runPlan({meridianTarget(sim, "A")});
  sim.runUntilIdle();
  const double second = sim.clock.unixSeconds();
  sim.handOver(sim.writePlan({meridianTarget(sim, "B")}, "second.txt"));
  sim.util->RunScript();  // the loaded script stays loaded
  sim.runUntilIdle();
  const auto events = sim.events();
  EXPECT_THAT(timeline(events), ::testing::ElementsAre("START@3", "EXPOSURE@183:A", "END@183:done", "START@186",
                                                       "EXPOSURE@366:B", "END@366:done"));
  EXPECT_EQ(second, T + 183.0);
  EXPECT_THAT(events[3].text, HasSubstr("second.txt"));
  EXPECT_EQ(sim.host->runCount(), 2);
}

// ---- the log file as bytes ----------------------------------------------------------

TEST(AcquisitionLogFile, TabSeparatedLinesWithCrLf) {
  SimFixture sim;
  sim.runPlan({"#count 1", meridianTarget(sim, "M 42")});
  sim.runUntilIdle();
  sim.telescope->Park();
  const std::string bytes = test::readFileBytes(sim.host->acquisitionLogPath());
  const std::regex expected(
      "2024-03-10 04:00:03\tSTART\t[^\t\r\n]*[/\\\\]Plans[/\\\\]testplan\\.txt\r\n"
      "2024-03-10 04:03:03\tEXPOSURE\tM 42\t120\t8[0-9]\\.[0-9]{3}\t[0-9]+\\.[0-9]{3}\r\n"
      "2024-03-10 04:03:03\tEND\tdone\r\n"
      "2024-03-10 04:03:03\tPARK\r\n");
  EXPECT_TRUE(std::regex_match(bytes, expected)) << bytes;
}

}  // namespace
}  // namespace np
