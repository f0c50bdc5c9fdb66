// The tally of a run's passes marks a group kept out by the Moon only when the Moon's
// tests are all it failed, at most once a half hour per group.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Clock.h"
#include "report/NightReport.h"

namespace np {
namespace {

struct Judged {
  std::string name;
  std::vector<EligibilityTest> failed;
};

// One pass at the clock's time over the groups, each failing the tests given.
void pass(EligibilityTally& tally, const std::vector<Judged>& groups) {
  std::int64_t start = 0;
  for (const Judged& g : groups) {
    tally.group(start, g.name + "\t1\t2", g.name, 1, true, 1, 2);
    for (int t = 0; t < kEligibilityTests; ++t) {
      const auto test = static_cast<EligibilityTest>(t);
      bool failed = false;
      for (EligibilityTest f : g.failed) failed = failed || f == test;
      tally.tested(TestOutcome{test, !failed, 0, 0, 0});
    }
    if (g.failed.empty()) tally.scored(50, TargetScore{}, false);
    start += 2;
  }
}

TEST(MoonTally, MarksTheGroupsTheMoonAloneKeptOut) {
  ManualClock clock(1797000000.0);
  EligibilityTally tally(&clock);
  const std::vector<Judged> groups{{"Clear", {}},
                                   {"Near", {EligibilityTest::Moon}},
                                   {"NearAndLow", {EligibilityTest::MinimumElevation, EligibilityTest::Moon}},
                                   {"MoonUp", {EligibilityTest::MoonAltitude}},
                                   {"NearAndLater", {EligibilityTest::Moon, EligibilityTest::Window}},
                                   {"Both", {EligibilityTest::Moon, EligibilityTest::MoonAltitude}}};
  pass(tally, groups);
  clock.advance(600);  // within the half hour: no new marks
  pass(tally, groups);
  clock.advance(1200);
  pass(tally, groups);

  std::vector<std::string> marks;
  for (const MoonKeptOut& m : tally.moonKeptOut())
    marks.push_back(m.name + "@" + std::to_string(static_cast<long long>(m.unixSeconds - 1797000000.0)));
  EXPECT_EQ(marks, (std::vector<std::string>{"Near@0", "MoonUp@0", "Both@0", "Near@1800", "MoonUp@1800", "Both@1800"}));
}

TEST(MoonTally, TheLastGroupOfTheLastPassCounts) {
  ManualClock clock(1797000000.0);
  EligibilityTally tally(&clock);
  pass(tally, {{"Clear", {}}, {"Near", {EligibilityTest::Moon}}});
  ASSERT_EQ(tally.moonKeptOut().size(), 1u);
  EXPECT_EQ(tally.moonKeptOut()[0].name, "Near");
}

}  // namespace
}  // namespace np
