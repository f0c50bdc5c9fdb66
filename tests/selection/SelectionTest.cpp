#include "selection/Selection.h"
#include "support/RecordingMessageSink.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/UtcTime.h"
#include "support/HostFakes.h"
#include "support/ScriptedEvents.h"

namespace np {
namespace {

using test::RecordingMessageSink;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kList = withSeparator("/prog") + "targets.txt";  // as the program joins them

// A selection pass over a list in memory against the fake host. Target lines carry their
// right ascension and declination as plain numbers; `place` puts a right ascension on
// the fake sky.
class SelectionTest : public ::testing::Test {
 protected:
  void list(std::vector<std::string> lines) { files.files[kList] = std::move(lines); }
  void place(double ra, double elevation, double azimuth, double hourAngle) {
    host.sky.byRightAscension[ra] = test::SkyPosition{elevation, azimuth, hourAngle};
  }

  // The pass in the terms of the tests below: its score, target line and group start, or
  // kNoTargetScore with the other two left as they were.
  bool run() {
    Services services = host.services(files, clock, events, messages,
                                      [this](const std::string& text) { statusTexts.push_back(text); });
    services.locale = locale;
    const std::optional<ChosenGroup> chosen = selectTarget(services, log, settings, stopFlag);
    bestScore = chosen ? chosen->score : kNoTargetScore;
    if (!chosen) return false;
    bestTarget = chosen->targetLine;
    bestTargetstart = chosen->start;
    return true;
  }

  test::SkyHost host;
  test::MemoryFileSystem files;
  test::LogLines log;
  RecordingMessageSink messages;
  test::ScriptedEvents events;
  Settings settings;
  bool stopFlag = false;
  ManualClock clock{1.7e9};
  NumberLocale locale;
  std::vector<std::string> statusTexts;

  float bestScore = 7;
  std::string bestTarget = "before";
  std::int64_t bestTargetstart = -99;
};

TEST_F(SelectionTest, WorkedExample) {
  list({"T1\t5.5\t20", "**** remaining=3"});
  place(5.5, 64.35, 180, -1.25);
  EXPECT_TRUE(run());
  EXPECT_EQ(bestScore, 162.5f);
  EXPECT_EQ(bestTarget, "T1\t5.5\t20");
  EXPECT_EQ(bestTargetstart, 0);
  EXPECT_THAT(log.lines, ElementsAre("Target: T1 RA=5.5, DEC=20", "  Score=162.5 Elev=64.35 TransitAlt=70 HADiff=1.25",
                                     "  >>> New bestscore = 162.5"));
  EXPECT_THAT(statusTexts, ElementsAre("Selecting best target"));
  EXPECT_THAT(messages.messages, IsEmpty());
}

TEST_F(SelectionTest, LogNumbersUseTheLocalesSeparator) {
  locale.decimalSeparator = ',';
  list({"T1\t5.5\t-20.25", "**** remaining=3"});
  host.telescope.members.SiteLatitude.answer = [] { return -40.0; };
  place(5.5, 64.35, 180, 2.5);
  EXPECT_TRUE(run());
  // transit altitude (-20.25 + 90) - (-40) = 109.75 -> 70.25; score 3.5*30 + 19.75 = 124.75
  EXPECT_THAT(log.lines, ElementsAre("Target: T1 RA=5,5, DEC=-20,25",
                                     "  Score=124,75 Elev=64,35 TransitAlt=70,25 HADiff=2,5",
                                     "  >>> New bestscore = 124,75"));
}

TEST_F(SelectionTest, ElevationIsLoggedInDoubleAndScoresInSinglePrecision) {
  list({"T1\t1\t20.1", "**** remaining=3"});
  host.telescope.members.SiteLatitude.answer = [] { return 0.0; };
  place(1, 1.0 / 3.0 + 30, 180, 1.0 / 3.0);
  EXPECT_TRUE(run());
  // 20.1 + 90 in single precision is 110.099998...; folded: 69.9000015258789.
  // Score (6 - 1/3) * 30 + 20.0999984741211 = 190.0999984741... -> 190.1 at 7 digits.
  EXPECT_THAT(log.lines, ElementsAre("Target: T1 RA=1, DEC=20.1",
                                     "  Score=190.1 Elev=30.3333333333333 TransitAlt=69.9000015258789 "
                                     "HADiff=0.333333333333333",
                                     "  >>> New bestscore = 190.1"));
}

// ---- the score ----

struct ScoreCase {
  const char* what;
  float dec;
  double hourAngle, latitude;
  double hourAngleAbs, transit;
  float score;
};

class ScoreTest : public ::testing::TestWithParam<ScoreCase> {};

TEST_P(ScoreTest, FromHourAngleAndTransitAltitude) {
  const ScoreCase& c = GetParam();
  const TargetScore s = scoreTarget(c.dec, c.hourAngle, c.latitude);
  EXPECT_EQ(s.hourAngle, c.hourAngleAbs) << c.what;
  EXPECT_EQ(s.transitAltitude, c.transit) << c.what;
  EXPECT_EQ(s.score, c.score) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Figures, ScoreTest,
    ::testing::Values(ScoreCase{"worked example", 20, -1.25, 40, 1.25, 70, 162.5f},
                      ScoreCase{"on the meridian at the zenith", 40, 0, 40, 0, 90, 180.0f},
                      ScoreCase{"transit of exactly 90 stays", 50, 6, 50, 6, 90, 0.0f},
                      ScoreCase{"just north of the zenith folds", 50, 6, 40, 6, 80, 10.0f},
                      ScoreCase{"culminates north of the zenith", 80, 0, 30, 0, 40, 230.0f},
                      ScoreCase{"opposite meridian", -10, 12, 40, 12, 40, -130.0f},
                      ScoreCase{"southern site", -60, -3, -30, 3, 60, 120.0f},
                      ScoreCase{"highest score: on meridian, transit at the horizon", -50, 0, 40, 0, 0, 270.0f}));

TEST(Score, SumIsFormedInSinglePrecision) {
  // Differs from the all-double figure in its last digits.
  const TargetScore s = scoreTarget(20.1f, 0, 0);
  EXPECT_EQ(s.transitAltitude, 180.0 - static_cast<double>(110.1f));
  EXPECT_NE(s.transitAltitude, 180.0 - (static_cast<double>(20.1f) + 90.0));
}

// ---- the tests every group must pass ----

struct EligibilityCase {
  const char* what;
  int alignmentMode = 2;
  float dec = 20;
  double elevation = 45, azimuth = 180;
  double tiltUp = 90, minimumElevation = 10, horizon = 0;
  float maxElevation = 90, minAzimuth = 0, maxAzimuth = 360;
  std::string delimiter = "**** remaining=1";
  bool eligible = true;
};

EligibilityCase eligibility(const char* what, bool eligible, std::function<void(EligibilityCase&)> change) {
  EligibilityCase c;
  c.what = what;
  c.eligible = eligible;
  change(c);
  return c;
}

class EligibilityTest : public SelectionTest, public ::testing::WithParamInterface<EligibilityCase> {};

TEST_P(EligibilityTest, DecidesWhetherTheGroupIsScored) {
  const EligibilityCase& c = GetParam();
  host.telescope.members.AlignmentMode.answer = [&c] { return c.alignmentMode; };
  host.prefs.members.TiltUpLimit.answer = [&c] { return c.tiltUp; };
  host.prefs.members.MinimumElevation.answer = [&c] { return c.minimumElevation; };
  host.prefs.members.GetHorizon.answer = [&c](double) { return c.horizon; };
  settings.maxElevation = c.maxElevation;
  settings.minAzimuth = c.minAzimuth;
  settings.maxAzimuth = c.maxAzimuth;
  list({"T\t3\t" + std::to_string(c.dec), c.delimiter});
  place(3, c.elevation, c.azimuth, 1);

  EXPECT_EQ(run(), c.eligible) << c.what;
  EXPECT_EQ(log.lines.size(), c.eligible ? 3u : 0u) << c.what;
  if (c.eligible) {
    EXPECT_GT(bestScore, kNoTargetScore) << c.what;
  } else {
    EXPECT_EQ(bestScore, kNoTargetScore) << c.what;
    EXPECT_EQ(bestTarget, "before");
    EXPECT_EQ(bestTargetstart, -99);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tests, EligibilityTest,
    ::testing::Values(
        eligibility("all clear", true, [](auto&) {}),
        // Tilt-up limit: elevation on an alt-azimuth mount, declination on the others.
        eligibility("alt-az above tilt-up", false, [](auto& c) { c.alignmentMode = 0, c.elevation = 70, c.tiltUp = 60; }),
        eligibility("alt-az at tilt-up", true, [](auto& c) { c.alignmentMode = 0, c.elevation = 60, c.tiltUp = 60; }),
        eligibility("alt-az: declination above tilt-up is no matter", true,
                    [](auto& c) { c.alignmentMode = 0, c.dec = 80, c.elevation = 50, c.tiltUp = 60; }),
        eligibility("polar: declination above tilt-up", false,
                    [](auto& c) { c.alignmentMode = 1, c.dec = 61, c.elevation = 20, c.tiltUp = 60; }),
        eligibility("German: declination above tilt-up", false,
                    [](auto& c) { c.alignmentMode = 2, c.dec = 61, c.tiltUp = 60; }),
        eligibility("German: elevation above tilt-up is no matter", true,
                    [](auto& c) { c.alignmentMode = 2, c.dec = 10, c.elevation = 85, c.tiltUp = 60; }),
        eligibility("German: declination at tilt-up", true, [](auto& c) { c.dec = 60, c.tiltUp = 60; }),
        // Observing window, bounds included, no wrap through north.
        eligibility("at maximum elevation", true, [](auto& c) { c.elevation = 70, c.maxElevation = 70; }),
        eligibility("above maximum elevation", false, [](auto& c) { c.elevation = 70.001, c.maxElevation = 70; }),
        eligibility("at minimum azimuth", true, [](auto& c) { c.azimuth = 100, c.minAzimuth = 100; }),
        eligibility("below minimum azimuth", false, [](auto& c) { c.azimuth = 99.9, c.minAzimuth = 100; }),
        eligibility("at maximum azimuth", true, [](auto& c) { c.azimuth = 200, c.maxAzimuth = 200; }),
        eligibility("above maximum azimuth", false, [](auto& c) { c.azimuth = 200.1, c.maxAzimuth = 200; }),
        eligibility("window through north never passes", false,
                    [](auto& c) { c.azimuth = 350, c.minAzimuth = 300, c.maxAzimuth = 60; }),
        eligibility("window through north, near north", false,
                    [](auto& c) { c.azimuth = 10, c.minAzimuth = 300, c.maxAzimuth = 60; }),
        // More than one degree above the minimum elevation and the horizon.
        eligibility("exactly 1 above minimum elevation", false,
                    [](auto& c) { c.elevation = 31, c.minimumElevation = 30; }),
        eligibility("just over 1 above minimum elevation", true,
                    [](auto& c) { c.elevation = 31.0001, c.minimumElevation = 30; }),
        eligibility("exactly 1 above the horizon", false, [](auto& c) { c.elevation = 41, c.horizon = 40; }),
        eligibility("just over 1 above the horizon", true, [](auto& c) { c.elevation = 41.0001, c.horizon = 40; }),
        // The count.
        eligibility("count 0", false, [](auto& c) { c.delimiter = "**** remaining=0"; }),
        eligibility("no count", false, [](auto& c) { c.delimiter = "****"; }),
        eligibility("negative count", true, [](auto& c) { c.delimiter = "**** remaining=-4"; }),
        eligibility("unreadable count", false, [](auto& c) { c.delimiter = "**** remaining=many"; })));

// ---- the Moon, the window and the priority ----

// The sample site at instants whose Moon PyEphem gives (tests/data/moon-reference.csv):
// 2026-12-20 03:00 UTC the Moon stands 73.5 degrees high at RA 1.9718 h, Dec +16.958, 10.3
// days old; 2026-12-07 07:00 UTC it is 73 degrees below the horizon near RA 15.47 h.
class SkySelectionTest : public SelectionTest {
 protected:
  SkySelectionTest() {
    host.telescope.members.SiteLatitude.answer = [] { return 31.96; };
    host.telescope.members.SiteLongitude.answer = [] { return -111.6; };
  }
  void at(const std::string& utc) {
    double unix = 0;
    ASSERT_TRUE(parseUtcInstant(utc, unix));
    clock.set(unix);
  }
  // The target lines chosen, by name, over one pass per delimiter line given.
  std::string chosenFor(const std::string& target, const std::string& delimiter) {
    list({target, delimiter});
    log.lines.clear();
    return run() ? bestTarget : "none";
  }
};

TEST_F(SkySelectionTest, MoonKeepsOutATargetNearItWhileItIsUp) {
  at("2026-12-20T03:00:00Z");
  place(1.96875, 50, 180, 0);  // right ascensions a float holds exactly
  place(1.9375, 50, 180, 0);
  const std::string near = "Near\t1.96875\t24.958";  // 8 degrees from the Moon
  const std::string far = "Far\t1.9375\t46.958";     // 30 degrees from it
  EXPECT_EQ(chosenFor(near, "**** remaining=3 moon=10"), "none");
  EXPECT_THAT(log.lines, IsEmpty());
  EXPECT_EQ(chosenFor(far, "**** remaining=3 moon=10"), far);
  EXPECT_EQ(chosenFor(near, "**** remaining=3 moon=7.5"), near);
  // 10 days old, 4.5 days from full: with a width of 7 days 10 degrees shrink to 7.1.
  EXPECT_EQ(chosenFor(near, "**** remaining=3 moon=10 moonwidth=7"), near);
  EXPECT_EQ(chosenFor(near, "**** remaining=3 moon=10 moonwidth=14"), "none");
  EXPECT_THAT(messages.messages, IsEmpty());
}

TEST_F(SkySelectionTest, MoonBelowTheHorizonKeepsNoTargetOut) {
  at("2026-12-07T07:00:00Z");
  place(15.5, 50, 180, 0);
  const std::string onTheMoon = "OnTheMoon\t15.5\t-24.14";
  EXPECT_EQ(chosenFor(onTheMoon, "**** remaining=3 moon=90"), onTheMoon);
}

TEST_F(SkySelectionTest, MoonAltitudeLimit) {
  place(3, 50, 180, 0);
  const std::string target = "T\t3\t10";
  at("2026-12-20T03:00:00Z");  // the Moon 73.5 degrees up
  EXPECT_EQ(chosenFor(target, "**** remaining=3 moonalt=0"), "none");
  EXPECT_EQ(chosenFor(target, "**** remaining=3 moonalt=73"), "none");
  EXPECT_EQ(chosenFor(target, "**** remaining=3 moonalt=74"), target);
  at("2026-12-07T07:00:00Z");  // the Moon down
  EXPECT_EQ(chosenFor(target, "**** remaining=3 moonalt=0"), target);
}

TEST_F(SkySelectionTest, WindowOpensAtAfterAndClosesAtBefore) {
  place(3, 50, 180, 0);
  const std::string target = "T\t3\t10";
  const std::string window = "**** remaining=3 after=2027-01-10T00:00:00Z before=2027-01-12T00:00:00Z";
  at("2027-01-09T23:59:59Z");
  EXPECT_EQ(chosenFor(target, window), "none");
  at("2027-01-10T00:00:00Z");
  EXPECT_EQ(chosenFor(target, window), target);
  at("2027-01-11T23:59:59Z");
  EXPECT_EQ(chosenFor(target, window), target);
  at("2027-01-12T00:00:00Z");
  EXPECT_EQ(chosenFor(target, window), "none");
  EXPECT_EQ(chosenFor(target, "**** remaining=3 after=2027-01-11T00:00:00Z"), target);
  EXPECT_EQ(chosenFor(target, "**** remaining=3 before=2027-01-13T00:00:00Z"), target);
  EXPECT_EQ(chosenFor(target, "**** remaining=3 after=2027-01-13T00:00:00Z"), "none");
}

TEST_F(SkySelectionTest, HighestPriorityWinsAmongTheEligibleGroups) {
  place(1, 60, 180, 0);    // on the meridian: the best score
  place(2, 40, 150, -3);   // three hours out
  place(3, 70, 180, 0.5);  // not eligible (count 0) whatever its priority
  place(4, 40, 150, -2);   // priority 2 too, a better score than 2's
  list({"Best\t1\t20", "**** remaining=3", "Urgent\t2\t20", "**** remaining=3 priority=2", "Done\t3\t20",
        "**** remaining=0 priority=9", "Later\t4\t20", "**** priority=2 remaining=1"});
  EXPECT_TRUE(run());
  EXPECT_EQ(bestTarget, "Later\t4\t20");
  EXPECT_EQ(bestTargetstart, 6);
  // Every eligible group is logged as before; "New bestscore" marks each new leader.
  EXPECT_THAT(log.lines, ElementsAre("Target: Best RA=1, DEC=20", ::testing::StartsWith("  Score=191.96 "),
                                     "  >>> New bestscore = 191.96", "Target: Urgent RA=2, DEC=20",
                                     ::testing::StartsWith("  Score=101.96 "), "  >>> New bestscore = 101.96",
                                     "Target: Later RA=4, DEC=20", ::testing::StartsWith("  Score=131.96 "),
                                     "  >>> New bestscore = 131.96"));
  // Within one priority the score decides, and the earlier group keeps its place.
  list({"A\t2\t20", "**** remaining=3 priority=1", "B\t4\t20", "**** remaining=3 priority=1", "C\t1\t20",
        "**** remaining=3 priority=-1"});
  EXPECT_TRUE(run());
  EXPECT_EQ(bestTarget, "B\t4\t20");
}

TEST_F(SkySelectionTest, ListWithoutConditionsNeverWorksOutTheMoon) {
  int siteAsked = 0;
  host.telescope.members.SiteLongitude.answer = [&siteAsked] {
    ++siteAsked;
    return -111.6;
  };
  place(3, 50, 180, 0);
  list({"T\t3\t10", "**** remaining=3 after=2020-01-01T00:00:00Z priority=1"});
  EXPECT_TRUE(run());
  EXPECT_EQ(siteAsked, 0);
  list({"T\t3\t10", "**** remaining=3 moon=5", "U\t3\t10", "**** remaining=3 moonalt=90"});
  EXPECT_TRUE(run());
  EXPECT_EQ(siteAsked, 1) << "one Moon for the whole pass";
}

TEST_F(SelectionTest, HorizonIsConsultedOnlyClearOfTheMinimumElevation) {
  list({"A\t1\t0", "**** remaining=1", "B\t2\t0", "**** remaining=1"});
  place(1, 10.5, 100, 0);  // within 1 degree of the minimum elevation 10
  place(2, 30, 250, 0);
  std::vector<double> asked;  // the horizon is asked at 250 once, never at 100
  host.prefs.members.GetHorizon.answer = [&asked](double azimuth) {
    asked.push_back(azimuth);
    return 5.0;
  };
  EXPECT_TRUE(run());
  EXPECT_EQ(bestTarget, "B\t2\t0");
  EXPECT_THAT(asked, ElementsAre(250.0));
}

// ---- choosing among groups ----

TEST_F(SelectionTest, BestGroupOfTheExampleList) {
  list({"Garden Field\t1\t33", "**** remaining=3", "Twin Field North\t2\t12.5", "Twin Field South\t3\t12",
        "**** remaining=1", "Harbour Cluster\t4\t-2", "**** remaining=0"});
  place(1, 40, 100, 3);      // (6-3)*30 + (90-83) = 97
  place(3, 60, 180, -0.5);   // 5.5*30 + (90-62) = 193
  place(4, 50, 200, 0);      // best placed, but finished
  EXPECT_TRUE(run());
  EXPECT_EQ(bestTarget, "Twin Field South\t3\t12");
  EXPECT_EQ(bestTargetstart, 2);
  EXPECT_EQ(bestScore, 193.0f);
  EXPECT_THAT(log.lines, ElementsAre("Target: Garden Field RA=1, DEC=33", "  Score=97 Elev=40 TransitAlt=83 HADiff=3",
                                     "  >>> New bestscore = 97", "Target: Twin Field South RA=3, DEC=12",
                                     "  Score=193 Elev=60 TransitAlt=62 HADiff=0.5", "  >>> New bestscore = 193"));
}

TEST_F(SelectionTest, EqualScoresKeepTheEarlierGroup) {
  list({"A\t1\t10", "**** remaining=1", "B\t2\t10", "**** remaining=1"});
  place(1, 40, 100, 1);
  place(2, 40, 260, -1);
  EXPECT_TRUE(run());
  EXPECT_EQ(bestTarget, "A\t1\t10");
  EXPECT_EQ(bestTargetstart, 0);
  ASSERT_EQ(log.lines.size(), 5u);
  EXPECT_EQ(log.lines[2], "  >>> New bestscore = 180");
  EXPECT_EQ(log.lines[3], "Target: B RA=2, DEC=10");
}

TEST_F(SelectionTest, EmptyListOrNoDelimiterFindsNothing) {
  for (const std::vector<std::string>& lines :
       {std::vector<std::string>{}, std::vector<std::string>{"A\t1\t2", "", "*** not a delimiter"}}) {
    list(lines);
    EXPECT_FALSE(run());
    EXPECT_EQ(host.util.members.NewCTHereAndNow.calls, 0);
    EXPECT_EQ(bestScore, kNoTargetScore);
    EXPECT_EQ(bestTarget, "before");
    EXPECT_EQ(bestTargetstart, -99);
    EXPECT_THAT(log.lines, IsEmpty());
  }
}

TEST_F(SelectionTest, DelimiterAsFirstLineEndsThePass) {
  list({"**** remaining=1", "A\t1\t2", "**** remaining=x", "B\t2\t2", "**** remaining=1"});
  place(2, 40, 100, 0);
  EXPECT_FALSE(run());
  EXPECT_THAT(messages.messages, ElementsAre("Target delimiter invalid as first line"));
  EXPECT_EQ(events.calls, 1);  // nothing more of the list was read
  EXPECT_EQ(bestScore, kNoTargetScore);
  EXPECT_EQ(bestTarget, "before");
  EXPECT_EQ(host.util.members.NewCTHereAndNow.calls, 0);
}

TEST_F(SelectionTest, LinesAfterTheLastDelimiterAreReadButNeverJudged) {
  list({"A\t1\t10", "**** remaining=1", "B\t2\t10", "C\t3\t10"});
  place(1, 40, 100, 1);
  EXPECT_TRUE(run());
  EXPECT_EQ(events.calls, 4);
  EXPECT_EQ(host.util.members.NewCTHereAndNow.calls, 1);
}

TEST_F(SelectionTest, RejectedTargetLineIsNeverChosen) {
  // The first group's coordinates would win; the second group's line has no coordinates
  // and must not be judged by them.
  list({"A\t1\t10", "**** remaining=0", "B 2 10", "**** remaining=5"});
  place(1, 40, 100, 0);
  EXPECT_FALSE(run());
  EXPECT_EQ(bestScore, kNoTargetScore);
  EXPECT_EQ(bestTarget, "before");
  EXPECT_THAT(log.lines, IsEmpty());
  EXPECT_THAT(messages.messages, ElementsAre("Parse error - First tab missing from target line 'B 2 10'"));
}

TEST_F(SelectionTest, MessagesOfAGroupComeDelimiterFirst) {
  list({"A\t1", "**** remaining=1 bad", "B\t2\t10", "**** remaining=1"});
  place(2, 40, 100, 1);
  EXPECT_TRUE(run());
  EXPECT_THAT(messages.messages, ElementsAre("Malformed target delimiter line (missing '='?)",
                                             "Parse error - Second tab missing from target line 'A\t1'"));
  EXPECT_EQ(bestTarget, "B\t2\t10");
  EXPECT_EQ(bestTargetstart, 2);
}

TEST_F(SelectionTest, UnreadableCountIsReportedAndTheOthersAreJudged) {
  list({"A\t1\t10", "**** remaining=1.5", "B\t2\t10", "**** remaining=2"});
  place(1, 40, 100, 0);
  place(2, 40, 100, 3);
  EXPECT_TRUE(run());
  EXPECT_THAT(messages.messages,
              ElementsAre("Invalid remaining count in target delimiter line '**** remaining=1.5'"));
  EXPECT_EQ(bestTarget, "B\t2\t10");
}

TEST_F(SelectionTest, TransformIsReplacedForEveryDelimiterLine) {
  list({"A\t1\t10", "**** remaining=1", "bad", "**** remaining=1", "C\t3\t-5", "**** remaining=0", "tail"});
  place(1, 40, 100, 1);
  place(3, 40, 100, 1);
  EXPECT_TRUE(run());
  EXPECT_EQ(host.util.members.NewCTHereAndNow.calls, 3);
  ASSERT_NE(host.lastTransform, nullptr);
  EXPECT_EQ(host.lastTransform->rightAscension(), 3.0);
  EXPECT_EQ(host.lastTransform->declination(), -5.0);
}

// ---- the window's events during the pass ----

TEST_F(SelectionTest, StopEndsTheReadingAfterTheCurrentLine) {
  list({"A\t1\t10", "**** remaining=1", "B\t2\t10", "**** remaining=1", "C\t3\t10", "**** remaining=1"});
  place(1, 40, 100, 3);
  place(2, 40, 100, 2);
  place(3, 40, 100, 0);
  // The stop button is pressed while the events before line 4 are processed: line 4 is
  // still read and its group judged, then the pass ends.
  events.onDoEvents = [this](int call) {
    if (call == 4) stopFlag = true;
  };
  EXPECT_TRUE(run());
  EXPECT_EQ(events.calls, 4);
  EXPECT_EQ(bestTarget, "B\t2\t10");
  EXPECT_EQ(bestTargetstart, 2);
  EXPECT_EQ(host.util.members.NewCTHereAndNow.calls, 2);
}

TEST_F(SelectionTest, SettingsChangedDuringThePassApplyToLaterGroups) {
  list({"A\t1\t10", "**** remaining=1", "B\t2\t10", "**** remaining=1"});
  place(1, 40, 100, 3);
  place(2, 40, 100, 0);
  // The preferences dialog narrows the window to 150..250 degrees after the first group.
  events.onDoEvents = [this](int call) {
    if (call == 3) settings.minAzimuth = 150, settings.maxAzimuth = 250;
  };
  EXPECT_TRUE(run());
  EXPECT_EQ(bestTarget, "A\t1\t10");
  EXPECT_EQ(log.lines.size(), 3u);
}

// ---- failures ----

TEST_F(SelectionTest, HostFailurePropagates) {
  list({"A\t1\t10", "**** remaining=1"});
  place(1, 40, 100, 1);
  host.util.members.HourAngle12.answer = [](double) -> double { throw RunTimeError("HourAngle12 failed"); };
  EXPECT_THROW(run(), RunTimeError);
  EXPECT_EQ(host.util.members.HourAngle12.calls, 1);
}

}  // namespace
}  // namespace np
