// The simulated observatory's files under a locale whose decimal separator is a comma,
// as the windowed program runs for such a user (the Qt application applies the user's
// locale at start-up): observatory.ini, plans, angle texts and the acquisition log keep
// the point.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "base/NumberText.h"
#include "host/AcquisitionLog.h"
#include "host/ObservatoryConfig.h"
#include "support/CommaLocale.h"
#include "support/SimFixture.h"
#include "support/TestText.h"

namespace np {
namespace {

using ::testing::HasSubstr;
using test::CommaLocale;
using test::errorOf;
using test::kSimNightUnix;
using test::SimFixture;

TEST(DecimalCommaLocale, IniAndAngleTextsReadWithAPoint) {
  CommaLocale comma;
  ASSERT_COMMA_LOCALE(comma);
  SimFixture sim(
      "[site]\r\nlatitude = 31.96\r\nlongitude = -111.6\r\n"
      "[limits]\r\nminimum_elevation = 12.5\r\nhorizon = 0:10.5 180:6.25\r\n"
      "[acquisition]\r\ninterval = 1.5\r\n[weather]\r\nclear_nights = 0.6\r\nunsafe_spell = 2.5\r\n");
  const ObservatoryConfig& c = sim.host->config();
  EXPECT_EQ(c.site.latitude, 31.96);
  EXPECT_EQ(c.site.longitude, -111.6);
  EXPECT_EQ(c.limits.minimumElevation, 12.5);
  ASSERT_EQ(c.limits.horizon.size(), 2u);
  EXPECT_EQ(c.limits.horizon[0].elevation, 10.5);
  EXPECT_EQ(c.limits.horizon[1].elevation, 6.25);
  EXPECT_EQ(c.acquisition.interval, 1.5);
  EXPECT_EQ(c.weather.clearNights, 0.6);
  EXPECT_EQ(c.weather.unsafeSpell, 2.5);

  EXPECT_EQ(sim.util->HMS_Hours("5.5"), 5.5);
  EXPECT_EQ(sim.util->DMS_Degrees("+30.5"), 30.5);
  EXPECT_DOUBLE_EQ(sim.util->DMS_Degrees("-02:15:30.5"), -(2.0 + 15.0 / 60.0 + 30.5 / 3600.0));

  // A comma is no decimal separator in these files, and the messages keep the point.
  EXPECT_THAT(errorOf([] { parseObservatoryConfig("[site]\nlatitude = 31,96\n", "o.ini"); }),
              HasSubstr("key 'site.latitude': cannot read '31,96' as a number"));
  EXPECT_THAT(errorOf([] { parseObservatoryConfig("[site]\nlatitude = 95.5\n", "o.ini"); }),
              HasSubstr("'95.5' lies outside -90 to 90"));
}

TEST(DecimalCommaLocale, PlanWithDecimalsRunsAndItsLogKeepsThePoint) {
  CommaLocale comma;
  ASSERT_COMMA_LOCALE(comma);
  SimFixture sim("[acquisition]\r\nautofocus = 87.5\r\n");
  const double T = kSimNightUnix;
  // On the meridian, 1.46 degrees south of the zenith.
  const std::string ra = formatPrintfFixed(sim.meridianRa(T + 3.0), 6);
  sim.runPlan({"#COUNT 2", "#INTERVAL 1.5", "#AUTOFOCUS", "A\t" + ra + "\t+30.5"});
  sim.runUntilIdle(0.5);

  const std::string log = test::readFileBytes(sim.host->acquisitionLogPath());
  EXPECT_EQ(log.find(','), std::string::npos) << log;
  EXPECT_THAT(log, HasSubstr("\tAUTOFOCUS\t87.5\r\n"));
  const std::regex exposure(R"(\tEXPOSURE\tA\t1\.5\t88\.\d{3}\t\d+\.\d{3}\r)");
  int exposureLines = 0;
  for (const std::string& line : test::splitLines(log)) {
    if (line.find("\tEXPOSURE\t") == std::string::npos) continue;
    ++exposureLines;
    EXPECT_TRUE(std::regex_search(line + "\r", exposure)) << line;
  }
  EXPECT_EQ(exposureLines, 2);

  // And it reads back under the same locale.
  const auto exposures = sim.events(acqlog::kExposure);
  ASSERT_EQ(exposures.size(), 2u);
  EXPECT_EQ(exposures[1].seconds, 1.5);
  EXPECT_NEAR(exposures[1].elevation, 88.5, 0.1);  // past the meridian by two and a half minutes
  ASSERT_EQ(sim.events(acqlog::kAutofocus).size(), 1u);
  EXPECT_EQ(sim.events(acqlog::kAutofocus)[0].seconds, 87.5);

  AcquisitionEvent e;
  e.utc = 1710043563.0;
  e.kind = acqlog::kExposure;
  e.text = "B";
  e.seconds = 37.25;
  e.elevation = -1.23456;
  e.azimuth = 359.9996;
  const std::string line = formatAcquisitionEvent(e);
  EXPECT_EQ(line, "2024-03-10 04:06:03\tEXPOSURE\tB\t37.25\t-1.235\t360.000");
  const AcquisitionEvent back = parseAcquisitionEvent(line);
  EXPECT_EQ(back.seconds, 37.25);
  EXPECT_EQ(back.elevation, -1.235);
  EXPECT_EQ(back.azimuth, 360.0);
}

}  // namespace
}  // namespace np
