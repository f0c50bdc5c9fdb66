// The night report under a decimal-comma locale (nightpick-sim applies the user's locale
// when it draws the picture): the run log's scores are read with their point and the
// report's text keeps it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/NightReport.h"
#include "support/CommaLocale.h"

namespace np {
namespace {

using ::testing::HasSubstr;

constexpr double kT0 = 1796688000.0;  // 2026-12-08 00:00:00 UTC

TEST(NightReportLocale, ScoresAndTheTextKeepThePoint) {
  test::CommaLocale comma;
  ASSERT_COMMA_LOCALE(comma);
  NightReportInput in;
  in.startUnix = kT0;
  in.endUnix = kT0 + 2 * 3600;
  in.utcOffsetHours = 5.5;
  in.sunElev = -12.5;
  in.runLogText =
      "**** Searching for new target 2026-12-08 05:30:00\r\n  >>> New bestscore = 75.25\r\n"
      "Running ACP plan for selected target:A\r\n"
      "**** Searching for new target 2026-12-08 06:10:00\r\n  >>> New bestscore = 12,5\r\n"
      "Running ACP plan for selected target:B\r\n";
  // Greenwich at midnight in December: dark throughout, exposing a third of it.
  in.sun.emplace(51.48, 0.0);
  AcquisitionEvent start, exposure;
  start.utc = kT0 + 3;
  start.kind = acqlog::kStart;
  exposure.utc = kT0 + 3600 + 2400;
  exposure.kind = acqlog::kExposure;
  exposure.seconds = 2400;
  in.acquisition = {start, exposure};
  const NightReport r = buildNightReport(in);

  ASSERT_EQ(r.plans.size(), 2u);
  EXPECT_EQ(r.plans[0].score, 75.25);
  EXPECT_TRUE(std::isnan(r.plans[1].score)) << "the run log writes scores with a point";
  const std::string text = formatNightReport(r);
  EXPECT_THAT(text, HasSubstr("(local time, UTC+5.5)"));
  EXPECT_THAT(text, HasSubstr(" 75.25 "));
  EXPECT_THAT(text, HasSubstr("Dark time (Sun below -12.5 degrees): "));
  EXPECT_THAT(text, HasSubstr(" (33.3%)"));
}

}  // namespace
}  // namespace np
