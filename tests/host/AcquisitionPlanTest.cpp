#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Errors.h"
#include "host/AcquisitionPlan.h"
#include "support/TestText.h"

namespace np {
namespace {

using ::testing::HasSubstr;
using test::errorOf;

constexpr const char* kTarget = "M 42\t05:35:17\t-05:23:28";

AcquisitionPlan parse(const std::vector<std::string>& lines) { return parseAcquisitionPlan(lines, 4, 120.0); }

const std::vector<FilterGroup>& groupsOfOnlyTarget(const AcquisitionPlan& plan) {
  EXPECT_EQ(plan.steps.size(), 1u);
  return plan.steps.at(0).groups;
}

// ---- plans of the directives every host knows ---------------------------------------

TEST(AcquisitionPlanReader, WithoutGroupDirectivesEachTargetIsOneGroupOfCountAndInterval) {
  const AcquisitionPlan plan = parse({"#QUITAT 2024-03-10 11:30:00", "#AUTOFOCUS", "; comment", "", kTarget,
                                      "#count 2", "#Interval 30", "B\t1.5\t+20", "#DITHER", "C\t2\t+10\r"});
  ASSERT_EQ(plan.steps.size(), 4u);
  EXPECT_EQ(plan.steps[0].kind, PlanStep::Kind::Autofocus);
  EXPECT_TRUE(plan.steps[0].groups.empty());
  EXPECT_EQ(plan.steps[0].count(), 0);
  EXPECT_EQ(plan.steps[0].line, 2);

  const PlanStep& a = plan.steps[1];
  EXPECT_EQ(a.name, "M 42");
  EXPECT_EQ(a.quitAt, 1710070200.0);
  EXPECT_EQ(a.line, 5);
  ASSERT_EQ(a.groups.size(), 1u);
  EXPECT_EQ(a.groups[0].filter, "");
  EXPECT_EQ(a.groups[0].binning, 1);
  EXPECT_EQ(a.groups[0].count, 4);
  EXPECT_EQ(a.groups[0].interval, 120.0);

  for (const PlanStep* later : {&plan.steps[2], &plan.steps[3]}) {
    ASSERT_EQ(later->groups.size(), 1u);
    EXPECT_EQ(later->groups[0].count, 2);
    EXPECT_EQ(later->groups[0].interval, 30.0);
  }
  EXPECT_THAT(plan.ignored, ::testing::ElementsAre("#DITHER"));
}

TEST(AcquisitionPlanReader, ErrorsNameTheLineAndTheCause) {
  EXPECT_EQ(errorOf([] { parse({"#COUNT 0"}); }), "line 1: #COUNT needs a number greater than 0, not '0'");
  EXPECT_EQ(errorOf([] { parse({";", "#COUNT 2.5"}); }), "line 2: #COUNT needs a whole number, not '2.5'");
  EXPECT_EQ(errorOf([] { parse({"#INTERVAL"}); }), "line 1: #INTERVAL needs a number greater than 0, not ''");
  EXPECT_EQ(errorOf([] { parse({"#QUITAT soon"}); }), "line 1: #QUITAT needs a date-time, not 'soon'");
  EXPECT_EQ(errorOf([] { parse({"M1 05:34:32 +22:00:00"}); }),
            "line 1: cannot read 'M1 05:34:32 +22:00:00' as name<TAB>RA<TAB>Dec");
}

// ---- filter groups ------------------------------------------------------------------

TEST(AcquisitionPlanGroups, ListsGiveOneGroupPerPositionAndSingleValuesApplyToAll) {
  const AcquisitionPlan plan = parse({"#FILTER L,R,G", "#COUNT 3, 1 ,1", "#INTERVAL 60", "#BINNING 1,2,\t2", kTarget});
  const auto& g = groupsOfOnlyTarget(plan);
  ASSERT_EQ(g.size(), 3u);
  EXPECT_EQ(g[0].filter, "L");
  EXPECT_EQ(g[1].filter, "R");
  EXPECT_EQ(g[2].filter, "G");
  EXPECT_EQ(g[0].count, 3);
  EXPECT_EQ(g[1].count, 1);
  EXPECT_EQ(g[2].count, 1);
  for (const FilterGroup& group : g) EXPECT_EQ(group.interval, 60.0);
  EXPECT_EQ(g[0].binning, 1);
  EXPECT_EQ(g[1].binning, 2);
  EXPECT_EQ(g[2].binning, 2);
  EXPECT_EQ(plan.steps[0].count(), 5);
}

TEST(AcquisitionPlanGroups, TheLongestListSetsTheNumberOfGroups) {
  // Only #INTERVAL is a list: every group has the one filter and the default count.
  const AcquisitionPlan plan = parse({"#filter Ha", "#interval 300, 600", kTarget});
  const auto& g = groupsOfOnlyTarget(plan);
  ASSERT_EQ(g.size(), 2u);
  EXPECT_EQ(g[0].filter, "Ha");
  EXPECT_EQ(g[1].filter, "Ha");
  EXPECT_EQ(g[0].count, 4);
  EXPECT_EQ(g[1].count, 4);
  EXPECT_EQ(g[0].interval, 300.0);
  EXPECT_EQ(g[1].interval, 600.0);
}

TEST(AcquisitionPlanGroups, DirectivesAreCaseInsensitiveAndApplyToTheLinesAfterThem) {
  const AcquisitionPlan plan =
      parse({kTarget, "#Filter  Red , H alpha", "#bInNiNg 16", "B\t1\t+1", "#FILTER clear", "C\t2\t+2"});
  ASSERT_EQ(plan.steps.size(), 3u);
  ASSERT_EQ(plan.steps[0].groups.size(), 1u);
  EXPECT_EQ(plan.steps[0].groups[0].filter, "");
  EXPECT_EQ(plan.steps[0].groups[0].binning, 1);

  const auto& b = plan.steps[1].groups;
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b[0].filter, "Red");  // names keep their case and the blanks inside them
  EXPECT_EQ(b[1].filter, "H alpha");
  EXPECT_EQ(b[0].binning, 16);
  EXPECT_EQ(b[1].binning, 16);

  const auto& c = plan.steps[2].groups;
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].filter, "clear");
  EXPECT_EQ(c[0].binning, 16);
  EXPECT_TRUE(plan.ignored.empty());
}

TEST(AcquisitionPlanGroups, ListsOfDifferentLengthsFailAtTheTargetLineNamingBoth) {
  EXPECT_EQ(errorOf([] { parse({"#FILTER L,R,G", "#COUNT 3,1", "; between", kTarget}); }),
            "line 4: #COUNT gives 2 values but #FILTER gives 3");
  EXPECT_EQ(errorOf([] { parse({"#BINNING 1,2", "#INTERVAL 60,60,60", "#COUNT 5", kTarget}); }),
            "line 4: #INTERVAL gives 3 values but #BINNING gives 2");
  // Checked where a target line uses them: a list put right before that is no fault.
  const AcquisitionPlan plan = parse({"#FILTER L,R,G", "#COUNT 3,1", "#COUNT 3,1,1", kTarget});
  EXPECT_EQ(groupsOfOnlyTarget(plan).size(), 3u);
}

struct BadDirective {
  const char* line;
  const char* mustSay;
};

class AcquisitionPlanBadDirective : public ::testing::TestWithParam<BadDirective> {};

TEST_P(AcquisitionPlanBadDirective, NamesTheLineAndTheFault) {
  const std::string error = errorOf([&] { parse({"; first", GetParam().line, kTarget}); });
  EXPECT_THAT(error, ::testing::StartsWith("line 2: ")) << GetParam().line;
  EXPECT_THAT(error, HasSubstr(GetParam().mustSay)) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AcquisitionPlanBadDirective,
    ::testing::Values(BadDirective{"#BINNING 0", "#BINNING needs a whole number from 1 to 16, not '0'"},
                      BadDirective{"#BINNING 17", "not '17'"},
                      BadDirective{"#BINNING 1.5", "not '1.5'"},
                      BadDirective{"#BINNING 2,x", "not 'x'"},
                      BadDirective{"#FILTER", "#FILTER needs a filter name"},
                      BadDirective{"#FILTER L,,R", "not 'L,,R'"},
                      BadDirective{"#FILTER L, ", "#FILTER needs a filter name"},
                      BadDirective{"#COUNT 3,,1", "#COUNT needs a number greater than 0, not ''"},
                      BadDirective{"#COUNT 2, 1.5", "#COUNT needs a whole number, not '1.5'"},
                      BadDirective{"#INTERVAL 30,-1", "#INTERVAL needs a number greater than 0, not '-1'"}));

}  // namespace
}  // namespace np
