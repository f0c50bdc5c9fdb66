// The fleet's report: what the takes of several sites from one list add up to.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "report/FleetReport.h"

namespace np {
namespace {

using ::testing::HasSubstr;

constexpr double kStart = 1'796'644'800;  // 2026-12-07 12:00:00 UTC

std::vector<CountedGroup> groups() {
  return {{2, "Two", 2}, {4, "One", 1}, {6, "Negative", -1}, {8, "Unreadable", std::nullopt}, {10, "Empty", 0}};
}

TEST(FleetReport, TheListIsDoneWhenItsLastGroupWithRunsReachesZero) {
  const std::vector<FleetTake> takes = {{0, 2, kStart + 100, 1},  {1, 6, kStart + 200, -2},
                                        {1, 4, kStart + 300, 0},  {0, 6, kStart + 400, -3},
                                        {1, 2, kStart + 86400, 0}, {0, 99, kStart + 90000, 5}};
  const FleetReport r = buildFleetReport(kStart, kStart + 2 * 86400, {"west", "east"}, groups(), takes);
  EXPECT_EQ(r.plans, (std::vector<int>{3, 3}));
  EXPECT_EQ(r.plansNotListed, 1);
  EXPECT_EQ(r.groupsToFinish, 2);
  EXPECT_EQ(r.groupsFinished, 2);
  ASSERT_TRUE(r.listDoneUnix.has_value());
  EXPECT_EQ(*r.listDoneUnix, kStart + 86400);
  EXPECT_EQ(r.groups[0].plans, (std::vector<int>{1, 1}));
  EXPECT_EQ(r.groups[0].finishedBy, 1u);
  EXPECT_EQ(r.groups[2].remainingAtEnd, -3);
  EXPECT_FALSE(r.groups[2].finishedUnix.has_value());

  const std::string text = formatFleetReport(r);
  EXPECT_THAT(text, HasSubstr("Plans run: 6 (west 3, east 3)\n"));
  EXPECT_THAT(text, HasSubstr("List done: 2026-12-08 12:00:00 UTC, 1.0 days after the start"));
  EXPECT_THAT(text, HasSubstr("Two             1      1  reached zero at 2026-12-08 12:00:00 UTC by east\n"));
  EXPECT_THAT(text, HasSubstr("Negative        1      1  never finishes: -1 at the start, -3 at the end\n"));
  EXPECT_THAT(text, HasSubstr("Unreadable      0      0  unreadable count\n"));
  EXPECT_THAT(text, HasSubstr("Empty           0      0  none left at the start\n"));
  EXPECT_THAT(text, HasSubstr("1 plans of groups not in the list"));
}

TEST(FleetReport, AListWithAGroupLeftIsNotDone) {
  const FleetReport r =
      buildFleetReport(kStart, kStart + 86400, {"west"}, groups(), {{0, 4, kStart + 100, 0}, {0, 2, kStart + 200, 1}});
  EXPECT_FALSE(r.listDoneUnix.has_value());
  EXPECT_EQ(r.runsLeft, 1);
  const std::string text = formatFleetReport(r);
  EXPECT_THAT(text, HasSubstr("List not done: 1 of the 2 groups with runs left at the start still have 1 run left"));
  EXPECT_THAT(text, HasSubstr("Two             1  not finished: 1 left\n"));
}

}  // namespace
}  // namespace np
