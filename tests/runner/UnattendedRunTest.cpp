// Faults and bad input that must not cost a night or a count, through whole headless runs
// on real program folders: sites whose clock zone is not longitude / 15, weather that
// clears by day, typos and odd encodings in the list, and a host slow to start its script.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "host/UtcTime.h"
#include "support/TestWorld.h"
#include "support/TestText.h"

namespace np {
namespace {

using test::TestWorld;
using ::testing::HasSubstr;
using ::testing::Not;

std::vector<int> remainingCounts(const std::string& listPath) {
  std::vector<int> counts;
  for (const std::string& l : test::splitLines(test::readFileBytes(listPath)))
    if (l.rfind("**** remaining=", 0) == 0) counts.push_back(std::stoi(l.substr(15)));
  return counts;
}

// The plan's quit time is the coming dawn in UTC: plans run up to the dawn, not hours before
// or after it, at sites whose zone differs from the longitude's estimate (New England in
// winter, central Europe in summer time).
TEST(UnattendedRun, PlansQuitAtTheDawnWhateverTheClocksZone) {
  struct Site {
    const char* ini;
    const char* start;  // about two hours before dawn
  } const sites[] = {{"[site]\nlatitude = 41\nlongitude = -74\nutc_offset = -5\n", "2026-12-08T08:30:00Z"},
                     {"[site]\nlatitude = 45\nlongitude = 7.5\nutc_offset = 2\n", "2026-03-15T02:00:00Z"}};
  for (const Site& s : sites) {
    SCOPED_TRACE(s.start);
    TestWorld f;
    f.writeIni(std::string(s.ini) + "[acquisition]\ninterval = 60\n");
    // Groups all round the sky, so one is always up.
    std::vector<std::string> list;
    for (int h = 0; h < 24; h += 2) {
      list.push_back("Field " + std::to_string(h) + "\t" + std::to_string(h) + ":00:00\t+50:00:00");
      list.push_back("**** remaining=100");
    }
    f.writeList(list);
    HeadlessResult r = f.runHeadless(s.start, 5);
    ASSERT_EQ(r.exitCode, 0) << r.error;
    const NightReport& report = r.report;
    ASSERT_FALSE(report.dark.empty());
    const double dawn = report.dark.front().end;  // the Sun rises through -18 here
    ASSERT_LT(dawn, r.endUnix - 600);

    // The last plan's quit line names the dawn, in UTC.
    const std::string plan = test::readFileBytes(f.planPath());
    ASSERT_EQ(plan.rfind("#QUITAT ", 0), 0u);
    double quit = 0;
    ASSERT_TRUE(parseUtcInstant(plan.substr(8, 19), quit)) << plan;
    EXPECT_NEAR(quit, dawn, 5);

    // Every plan but perhaps the last before dawn took images; none exposed past the dawn
    // beyond the exposure under way; and no count went down by day.
    int withoutImages = 0;
    for (const PlanRun& p : report.plans) {
      EXPECT_LT(p.searchUnix, dawn);
      if (p.imagesTaken == 0) ++withoutImages;
      for (double end : p.exposureEnds) EXPECT_LE(end, dawn + 60 + 1);
    }
    EXPECT_LE(withoutImages, 1);
    int spent = 0;
    for (int c : remainingCounts(f.listPath())) spent += 100 - c;
    EXPECT_EQ(spent, static_cast<int>(report.plans.size()));
    EXPECT_LT(spent, 60);
  }
}

// Weather that clears only after dawn: the pass that waited goes on to the day, and the
// morning costs no count.
TEST(UnattendedRun, AWeatherWaitThatEndsByDayStartsNoPlan) {
  TestWorld f;
  // Default site (UTC-7): dawn at about 05:48 local (12:48 UTC) on 2026-12-08.
  f.writeIni("[weather]\nconnected = true\nunsafe = 2026-12-08T10:00:00Z/2026-12-08T14:00:00Z\n");
  f.writeList({"Field\t06:00:00\t+20:00:00", "**** remaining=5"});
  HeadlessResult r = f.runHeadless("2026-12-08T11:00:00Z", 6);
  ASSERT_EQ(r.exitCode, 0) << r.error;
  EXPECT_TRUE(r.report.plans.empty());
  EXPECT_EQ(remainingCounts(f.listPath()), std::vector<int>{5});
  const auto log = test::splitLines(test::readFileBytes(f.runLogPath()));
  EXPECT_EQ(test::countPrefix(log, "**** Searching"), 0);
  EXPECT_EQ(test::countPrefix(log, "Currently daytime ("), 1);
}

// A typo in one line, a finished group included, costs that group and one message per
// pass; the night goes on with the others. Lists saved with CR line ends or a byte-order
// mark read as the user meant them.
TEST(UnattendedRun, BadListLinesCostOnlyTheirGroup) {
  TestWorld f;
  const std::string good = "Field\t06:00:00\t+20:00:00";
  test::writeFileBytes(f.listPath(), "\xEF\xBB\xBFTypo\tabc\t+10\r**** remaining=0\r" + good + "\r**** remaining=5\r");
  HeadlessResult r = f.runHeadless("2026-12-08T08:00:00Z", 1);
  ASSERT_EQ(r.exitCode, 0) << r.error;
  ASSERT_FALSE(r.report.plans.empty());
  const int passes = r.report.searches;
  EXPECT_EQ(static_cast<int>(r.messages.size()), passes);
  EXPECT_THAT(r.messages.front(), HasSubstr("'Typo\tabc\t+10'"));
  EXPECT_THAT(r.messages.front(), HasSubstr("HMS_Hours: cannot read 'abc'"));
  // The mark stays at the head of the list and never reaches the plan.
  const std::string list = test::readFileBytes(f.listPath());
  EXPECT_EQ(list.rfind("\xEF\xBB\xBFTypo\tabc\t+10\r\n**** remaining=0\r\n", 0), 0u) << list;
  EXPECT_EQ(remainingCounts(f.listPath())[1], 5 - static_cast<int>(r.report.plans.size()));
  const std::string plan = test::readFileBytes(f.planPath());
  EXPECT_THAT(plan, Not(HasSubstr("\xEF\xBB\xBF")));
  EXPECT_THAT(plan, HasSubstr(good));
}

TEST(UnattendedRun, AUtf16ListIsNamedAndLeftAlone) {
  TestWorld f;
  const std::string utf16("\xFF\xFEM\0" "4\0" "2\0\t\0" "5\0\r\0\n\0", 16);
  test::writeFileBytes(f.listPath(), utf16);
  HeadlessResult r = f.runHeadless("2026-12-08T08:00:00Z", 0.5);
  ASSERT_EQ(r.exitCode, 0) << r.error;
  ASSERT_FALSE(r.messages.empty());
  EXPECT_THAT(r.messages.front(), HasSubstr("UTF-16 little-endian"));
  EXPECT_EQ(test::readFileBytes(f.listPath()), utf16);
}

// A host that takes a minute to start its script: every plan still costs one count, and
// the run goes on to its end.
TEST(UnattendedRun, ASlowHostCostsOneCountPerPlan) {
  TestWorld f;
  f.writeIni("[acquisition]\nstart_delay = 62\ncount = 2\ninterval = 60\n");
  f.writeList({"Field\t06:00:00\t+20:00:00", "**** remaining=50"});
  HeadlessResult r = f.runHeadless("2026-12-08T08:00:00Z", 2);
  ASSERT_EQ(r.exitCode, 0) << r.error;
  ASSERT_GE(r.report.plans.size(), 5u);
  for (const PlanRun& p : r.report.plans) {
    if (&p == &r.report.plans.back()) break;  // the stop may cut the last one short
    EXPECT_TRUE(p.started);
    EXPECT_EQ(p.imagesTaken, 2);
  }
  EXPECT_EQ(remainingCounts(f.listPath()), std::vector<int>{50 - static_cast<int>(r.report.plans.size())});
}

// A script that never shows active, either because it ends at once or because the host
// never gets it going: the loop gives up after its bound, frees the host and goes on.
TEST(UnattendedRun, AScriptThatNeverStartsDoesNotStallTheNight) {
  for (const char* ini : {"", "[acquisition]\nstart_delay = 100000\n"}) {
    SCOPED_TRACE(ini);
    TestWorld f;
    f.writeIni(ini);
    // Without a start delay: a plan line the host cannot read ends each run at once.
    f.writeList({*ini ? "; a comment" : "#COUNT many", "Field\t06:00:00\t+20:00:00", "**** remaining=50"});
    HeadlessResult r = f.runHeadless("2026-12-08T08:00:00Z", 1);
    ASSERT_EQ(r.exitCode, 0) << r.error;
    const auto log = test::splitLines(test::readFileBytes(f.runLogPath()));
    const int plans = test::countPrefix(log, "Running ACP plan for selected target:");
    EXPECT_GE(plans, 5);  // one every ten minutes
    EXPECT_LE(plans, 7);
    EXPECT_GE(test::countPrefix(log, "ACP script was not seen running"), plans - 1);
    EXPECT_EQ(remainingCounts(f.listPath()), std::vector<int>{50 - plans});
  }
}

}  // namespace
}  // namespace np
