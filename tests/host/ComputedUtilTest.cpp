// The members of IUtil that every back end computes alike (host/ComputedUtil.h): through
// the simulated observatory, which derives its Util from it, and through a back end of
// the tests' own whose site is whatever a test sets. (SkyMathTest has the angle texts,
// hour angles and transforms.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <type_traits>

#include "base/Clock.h"
#include "base/Errors.h"
#include "host/ComputedUtil.h"
#include "support/SimFixture.h"
#include "support/TestText.h"

namespace np {
namespace {

using ::testing::HasSubstr;
using test::errorOf;
using test::kSimNightUnix;
using test::SimFixture;

constexpr double kNightJD = 2460379.5 + 4.0 / 24.0;  // 2024-03-10 04:00:00 UTC
constexpr double kSerial20240310 = 45361.0;          // automation date of 2024-03-10 00:00

// ---- time ---------------------------------------------------------------------------

TEST(HostTime, SysJulianDateIsTheClockInUtc) {
  SimFixture sim;
  EXPECT_NEAR(sim.util->SysJulianDate(), kNightJD, 1e-9);
  sim.clock.advance(43200.0);
  EXPECT_NEAR(sim.util->SysJulianDate(), kNightJD + 0.5, 1e-9);
}

TEST(HostTime, LocalDateTimesUseTheConfiguredOffset) {
  SimFixture sim;  // default site: utc offset -7
  EXPECT_EQ(sim.clock.utcOffsetHours(), -7.0);
  const DateTime local9pm{kSerial20240310 - 1.0 + 21.0 / 24.0};  // 2024-03-09 21:00 local
  EXPECT_NEAR(sim.util->Date_Julian(local9pm), kNightJD, 1e-9);
  EXPECT_NEAR(sim.util->Julian_Date(kNightJD).serial, local9pm.serial, 1e-9);
  EXPECT_EQ(sim.util->FormatVar(sim.util->Julian_Date(sim.util->SysJulianDate()), "General Date"),
            "2024-03-09 21:00:00");
  EXPECT_EQ(sim.util->FormatVar(sim.clock.nowLocal(), "General Date"), "2024-03-09 21:00:00");
}

TEST(HostTime, FractionalOffsetEastOfUtc) {
  SimFixture sim("[site]\nlongitude = 77.2\nutc_offset = 5.5\n");
  EXPECT_EQ(sim.clock.utcOffsetHours(), 5.5);
  EXPECT_EQ(sim.util->FormatVar(sim.util->Julian_Date(kNightJD), "General Date"), "2024-03-10 09:30:00");
  const DateTime local{kSerial20240310 + 9.5 / 24.0};
  EXPECT_NEAR(sim.util->Date_Julian(local), kNightJD, 1e-9);
}

TEST(HostTime, FormatVarKnowsOnlyGeneralDate) {
  SimFixture sim;
  const DateTime t{kSerial20240310 + 0.5 + 1.0 / 86400.0};
  EXPECT_EQ(sim.util->FormatVar(t, "General Date"), "2024-03-10 12:00:01");
  for (const char* format : {"Short Date", "general date", "", "yyyy-mm-dd"}) {
    const std::string error = errorOf([&] { sim.util->FormatVar(t, format); });
    EXPECT_THAT(error, HasSubstr("FormatVar"));
    EXPECT_THAT(error, HasSubstr(std::string("'") + format + "'"));
  }
}

// ---- a back end of its own ----------------------------------------------------------

// What a back end adds to ComputedUtil: the members asked of its observatory, and the site.
class SiteUtil : public ComputedUtil {
 public:
  using ComputedUtil::ComputedUtil;

  double latitude = 31.96;
  double longitude = -111.6;

  bool ScriptActive() override { return false; }
  void LoadScript(const std::string&) override {}
  void RunScript() override {}
  void AbortScript() override {}
  IPrefs& Prefs() override { throw RunTimeError("Prefs: none here"); }
  bool WeatherConnected() override { return false; }
  IWeather& Weather() override { throw RunTimeError("Weather: none here"); }

 protected:
  double siteLatitude() override { return latitude; }
  double siteLongitude() override { return longitude; }
};

static_assert(!std::is_abstract_v<SiteUtil>, "ComputedUtil leaves a computed member to the back end");

double meridianElevation(IUtil& util, double ra, double dec) {
  auto ct = util.NewCTHereAndNow();
  ct->setRightAscension(ra);
  ct->setDeclination(dec);
  return ct->Elevation();
}

// The sidereal time is kept for the clock's instant and the site's longitude: a site that
// moves (a back end that reads it from its mount) is seen at once, the clock standing still.
TEST(ComputedUtil, FollowsTheSiteItIsGivenAtOneInstant) {
  ManualClock clock(kSimNightUnix);
  SiteUtil util(clock);
  const double before = util.HourAngle12(6.0);
  util.longitude += 15.0;
  const double after = util.HourAngle12(6.0);
  EXPECT_NEAR(std::remainder(after - before, 24.0), 1.0, 1e-9);

  // On the meridian, at the declination of the site's latitude: the zenith, wherever the site is.
  const double lst = util.Julian_GMST(util.SysJulianDate()) + util.longitude / 15.0;
  for (double latitude : {31.96, -45.0, 70.0}) {
    util.latitude = latitude;
    EXPECT_NEAR(meridianElevation(util, std::fmod(lst + 48.0, 24.0), latitude), 90.0, 1e-6) << latitude;
  }
}

}  // namespace
}  // namespace np
