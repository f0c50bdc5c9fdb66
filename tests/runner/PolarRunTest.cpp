// A whole run at the South Pole in June, through the headless runner: the Sun stays below
// the dusk elevation for weeks, so the day is one long night of plans, each to quit at
// the dawn that ends the polar night.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/TestWorld.h"
#include "support/TestText.h"

namespace np {
namespace {

using test::TestWorld;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(PolarRun, AJuneDayAtTheSouthPoleIsOneLongNightOfPlans) {
  TestWorld f;
  f.writeList({"Eta Carinae\t10:45:03\t-59:41:04", "**** remaining=500", "NGC 104\t00:24:05\t-72:04:52",
               "**** remaining=500"});
  f.writeIni("[site]\nlatitude = -89.95\nlongitude = 0\n");
  HeadlessResult r = f.runHeadless("2024-06-15T00:00:00Z", 24);
  ASSERT_EQ(r.exitCode, 0) << r.error;
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(f.headlessErr, "");
  ASSERT_TRUE(r.hasReport);
  const NightReport& n = r.report;

  // Dark from start to stop, and used: plan after plan, never a wait for the dusk.
  EXPECT_NEAR(n.darkSeconds, 24 * 3600, 1);
  EXPECT_EQ(n.waitDuskSeconds, 0);
  EXPECT_GT(n.plans.size(), 50u);
  EXPECT_GT(n.exposingSecondsInDark, 0.5 * n.darkSeconds);
  EXPECT_EQ(n.plans.back().endUnix, r.endUnix);  // the stop came during a plan

  const std::string log = test::readFileBytes(f.runLogPath());
  EXPECT_THAT(log, Not(HasSubstr("Currently daytime")));
  EXPECT_THAT(log, Not(HasSubstr("does not pass")));
  // The plans quit at the end of the polar night, seven weeks on.
  EXPECT_THAT(test::readFileBytes(f.planPath()), HasSubstr("#QUITAT 2024-08-01 "));
  ASSERT_FALSE(r.statuses.empty());
  EXPECT_EQ(r.statuses.back().text, "Nightpick stopped");
}

}  // namespace
}  // namespace np
