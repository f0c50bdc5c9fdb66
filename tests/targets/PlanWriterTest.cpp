#include "targets/PlanWriter.h"
#include "support/RecordingMessageSink.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "support/HostFakes.h"
#include "support/ScriptedEvents.h"

namespace np {
namespace {

using test::RecordingMessageSink;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using test::kExampleList;

// In the platform's own spelling, as the program joins them.
const std::string kProgramDir = withSeparator("/prog");
const std::string kList = joinPath(kProgramDir, "targets.txt");
const std::string kNewList = joinPath(kProgramDir, "newtargets.txt");
const std::string kPlan = joinPath("/plans", "nightpickplan.txt");

// The update against the fake host and files in memory. Date_Julian answers from
// `julianDates` in turn; FormatVar renders any date as "QUIT".
class PlanWriterTest : public ::testing::Test {
 protected:
  PlanWriterTest() {
    files.files[kList] = kExampleList;
    host.util.members.FormatVar.answer = [](DateTime, const std::string& format) {
      return format == "General Date" ? std::string("QUIT") : std::string();
    };
    host.util.members.Date_Julian.answer = [this](DateTime) {
      const double jd = julianDates.at(std::min(dateCalls, julianDates.size() - 1));
      ++dateCalls;
      return jd;
    };
    settings.lastFocusJD = 2460000.0;
    settings.focusInterval = 30;
  }

  std::optional<std::int16_t> run(std::int64_t start) {
    test::ScriptedEvents events;
    const Services services = host.services(files, clock, events, messages,
                                            [this](const std::string& text) { statusTexts.push_back(text); });
    return updateTarget(services, log, settings, [this] { savedFocusJDs.push_back(settings.lastFocusJD); }, quitTime,
                        start);
  }

  void focusDue() { julianDates = {2460001.0, 2460001.25}; }
  void focusNotDue() { julianDates = {2460000.0}; }

  test::SkyHost host;
  test::MemoryFileSystem files;
  test::LogLines log;
  RecordingMessageSink messages;
  ManualClock clock{1.7e9};
  Settings settings;
  DateTime quitTime{45000.25};
  std::vector<double> julianDates{2460000.0};
  std::size_t dateCalls = 0;
  std::vector<std::string> statusTexts;
  std::vector<double> savedFocusJDs;
};

TEST_F(PlanWriterTest, SecondGroupWithAutofocusDue) {
  focusDue();
  run(2);
  EXPECT_THAT(files.files.at(kPlan), ElementsAre("#QUITAT QUIT", "#autofocus", "Twin Field North\t05:10:00\t+12:30:00",
                                                 "Twin Field South\t05:11:30\t+12:05:00"));
  EXPECT_THAT(files.files.at(kList),
              ElementsAre("Garden Field\t18:40:00\t+33:00:00", "**** remaining=3", "Twin Field North\t05:10:00\t+12:30:00",
                          "Twin Field South\t05:11:30\t+12:05:00", "**** remaining=0",
                          "Harbour Cluster\t21:05:00\t-02:15:00", "**** remaining=0"));
  EXPECT_THAT(log.lines, ElementsAre("Updating targets file", "Performing autofocus on this target",
                                     "Remaining count for best target = 0"));
  EXPECT_FALSE(files.FileExists(kNewList));
  EXPECT_THAT(statusTexts, ElementsAre("Updating targets file"));
  // The time of the request is taken afresh and saved at once.
  EXPECT_EQ(settings.lastFocusJD, 2460001.25);
  EXPECT_THAT(savedFocusJDs, ElementsAre(2460001.25));
  EXPECT_THAT(messages.messages, IsEmpty());
}

TEST_F(PlanWriterTest, FirstGroupWithoutAutofocus) {
  focusNotDue();
  run(0);
  EXPECT_THAT(files.files.at(kPlan), ElementsAre("#QUITAT QUIT", "Garden Field\t18:40:00\t+33:00:00"));
  const auto& list = files.files.at(kList);
  ASSERT_EQ(list.size(), kExampleList.size());
  EXPECT_EQ(list[1], "**** remaining=2");
  for (std::size_t i = 2; i < list.size(); ++i) EXPECT_EQ(list[i], kExampleList[i]);
  EXPECT_THAT(log.lines, ElementsAre("Updating targets file", "Remaining count for best target = 2"));
  EXPECT_EQ(settings.lastFocusJD, 2460000.0);
  EXPECT_THAT(savedFocusJDs, IsEmpty());
}

TEST_F(PlanWriterTest, QuitTimeIsRenderedByTheHost) {
  host.util.members.FormatVar.answer = [](DateTime value, const std::string& format) {
    EXPECT_EQ(value, DateTime{45000.25});
    EXPECT_EQ(format, "General Date");
    return std::string("2023-03-15 06:00:00");
  };
  run(0);
  EXPECT_EQ(host.util.members.FormatVar.calls, 1);
  EXPECT_EQ(files.files.at(kPlan).front(), "#QUITAT 2023-03-15 06:00:00");
}

TEST_F(PlanWriterTest, NowComesFromTheClock) {
  clock.setUtcOffsetHours(-7);
  const DateTime now = clock.nowLocal();
  host.util.members.Date_Julian.answer = [now](DateTime local) {
    EXPECT_EQ(local, now);
    return 2460000.0;
  };
  run(0);
  EXPECT_EQ(host.util.members.Date_Julian.calls, 1);
}

TEST_F(PlanWriterTest, ReplacesTheListInOneStep) {
  run(5);
  // No moment without a complete targets.txt: no delete of the list, one replace at the end.
  EXPECT_THAT(files.operations, ElementsAre("create " + kNewList, "create " + kPlan, "replace " + kNewList + " " + kList));
}

TEST_F(PlanWriterTest, LinesAfterTheLastDelimiterAreCarriedOverButNotPlanned) {
  files.files[kList].push_back("");
  files.files[kList].push_back("notes\t1\t2");
  run(5);
  EXPECT_THAT(files.files.at(kPlan), ElementsAre("#QUITAT QUIT", "Harbour Cluster\t21:05:00\t-02:15:00"));
  const auto& list = files.files.at(kList);
  ASSERT_EQ(list.size(), kExampleList.size() + 2);
  EXPECT_EQ(list[6], "**** remaining=-1");
  EXPECT_EQ(list[7], "");
  EXPECT_EQ(list[8], "notes\t1\t2");
}

struct RewriteCase {
  std::string delimiter;
  std::string rewritten;
  std::vector<std::string> messages;
  std::vector<std::string> countLog;
};

class DelimiterRewriteTest : public PlanWriterTest, public ::testing::WithParamInterface<RewriteCase> {};

TEST_P(DelimiterRewriteTest, RewritesOnlyTheChosenGroupsDelimiter) {
  const RewriteCase& c = GetParam();
  files.files[kList] = {"A\t1\t2", c.delimiter, "B\t3\t4", "**** remaining=5"};
  run(0);
  EXPECT_THAT(files.files.at(kList), ElementsAre("A\t1\t2", c.rewritten, "B\t3\t4", "**** remaining=5"));
  EXPECT_THAT(files.files.at(kPlan), ElementsAre("#QUITAT QUIT", "A\t1\t2"));
  EXPECT_EQ(messages.messages, c.messages);
  std::vector<std::string> expectedLog{"Updating targets file"};
  expectedLog.insert(expectedLog.end(), c.countLog.begin(), c.countLog.end());
  EXPECT_EQ(log.lines, expectedLog);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, DelimiterRewriteTest,
    ::testing::Values(
        RewriteCase{"*****remaining=3", "**** remaining=2", {}, {"Remaining count for best target = 2"}},
        RewriteCase{"**** remaining=3 other=x",
                    "**** remaining=2",
                    {"Unknown target config item name: 'other'"},
                    {"Remaining count for best target = 2"}},
        RewriteCase{"**** remaining=-1", "**** remaining=-2", {}, {"Remaining count for best target = -2"}},
        RewriteCase{"**** remaining=1", "**** remaining=0", {}, {"Remaining count for best target = 0"}},
        RewriteCase{"****", "**** remaining=-1", {}, {"Remaining count for best target = -1"}},
        RewriteCase{"**** remaining4",
                    "**** remaining=-1",
                    {"Malformed target delimiter line (missing '='?)"},
                    {"Remaining count for best target = -1"}},
        // The lowest count cannot be lowered: it stays.
        RewriteCase{"**** remaining=-32768", "**** remaining=-32768", {}, {"Remaining count for best target = -32768"}},
        // An unreadable count is left in the file as the user wrote it.
        RewriteCase{"**** remaining=2.5",
                    "**** remaining=2.5",
                    {"Invalid remaining count in target delimiter line '**** remaining=2.5'"},
                    {}},
        RewriteCase{"**** remaining=40000",
                    "**** remaining=40000",
                    {"Invalid remaining count in target delimiter line '**** remaining=40000'"},
                    {}}));

// A line with conditions keeps them, in place and spelling; one whose condition cannot
// be read is left for the user to mend, like an unreadable count.
INSTANTIATE_TEST_SUITE_P(
    Conditions, DelimiterRewriteTest,
    ::testing::Values(RewriteCase{"**** remaining=3 moon=30 moonwidth=7",
                                  "**** remaining=2 moon=30 moonwidth=7",
                                  {},
                                  {"Remaining count for best target = 2"}},
                      RewriteCase{"**** priority=1 after=2027-01-10T00:00:00Z remaining=1 moonalt=0",
                                  "**** priority=1 after=2027-01-10T00:00:00Z remaining=0 moonalt=0",
                                  {},
                                  {"Remaining count for best target = 0"}},
                      RewriteCase{"**** remaining=3 moon=far",
                                  "**** remaining=3 moon=far",
                                  {"Invalid moon value in target delimiter line '**** remaining=3 moon=far'"},
                                  {}}));

TEST_F(PlanWriterTest, WithoutDelimiterAfterTheStartEverythingGoesIntoThePlan) {
  files.files[kList] = {"A\t1\t2", "**** remaining=1", "B\t3\t4", "; comment"};
  run(2);
  EXPECT_THAT(files.files.at(kPlan), ElementsAre("#QUITAT QUIT", "B\t3\t4", "; comment"));
  EXPECT_THAT(files.files.at(kList), ElementsAre("A\t1\t2", "**** remaining=1", "B\t3\t4", "; comment"));
  EXPECT_THAT(log.lines, ElementsAre("Updating targets file"));
}

TEST_F(PlanWriterTest, StartBeyondTheListFailsAndLeavesTheListAlone) {
  EXPECT_THROW(run(8), RunTimeError);
  EXPECT_EQ(files.files.at(kList), kExampleList);
}

// ---- the autofocus decision ----

struct FocusCase {
  const char* what;
  double nowJD, lastFocusJD;
  std::int16_t interval;
  bool due;
};

class AutofocusDueTest : public ::testing::TestWithParam<FocusCase> {};

TEST_P(AutofocusDueTest, ComparesElapsedTimeWithTheInterval) {
  const FocusCase& c = GetParam();
  EXPECT_EQ(autofocusDue(c.nowJD, c.lastFocusJD, c.interval), c.due) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Decision, AutofocusDueTest,
    ::testing::Values(
        FocusCase{"never focused", 2460000.5, 0.0, 30, true},
        FocusCase{"exactly the interval", 30 * 0.0006944444, 0.0, 30, false},
        FocusCase{"just past the interval", std::nextafter(30 * 0.0006944444, 1.0), 0.0, 30, true},
        // 30/1440 days is a little more than 30 x 0.0006944444: the interval is already over.
        FocusCase{"thirty exact minutes", 30.0 / 1440.0, 0.0, 30, true},
        FocusCase{"well inside", 2460000.01, 2460000.0, 30, false},
        FocusCase{"interval 0, clock advanced", 2460000.0000001, 2460000.0, 0, true},
        FocusCase{"interval 0, clock unchanged", 2460000.0, 2460000.0, 0, false},
        FocusCase{"negative interval", 2460000.0, 2460000.0, -5, true},
        FocusCase{"longest interval", 2460000.0 + 32767 * 0.0006944444 + 0.001, 2460000.0, 32767, true}));

TEST(LowerCount, OneLowerButNeverBelowTheRange) {
  EXPECT_EQ(lowerCount(3), 2);
  EXPECT_EQ(lowerCount(1), 0);
  EXPECT_EQ(lowerCount(0), -1);
  EXPECT_EQ(lowerCount(32767), 32766);
  EXPECT_EQ(lowerCount(-32767), -32768);
  EXPECT_EQ(lowerCount(-32768), -32768);
}

}  // namespace
}  // namespace np
