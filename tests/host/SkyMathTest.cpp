#include <erfa.h>
#include <erfam.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>
#include <string>

#include "base/Errors.h"
#include "base/NumberText.h"
#include "host/SkyMath.h"
#include "host/UtcTime.h"
#include "support/SimFixture.h"

namespace np {
namespace {

using test::kSimNightUnix;
using test::SimFixture;

// ---- HMS_Hours and DMS_Degrees ------------------------------------------------------

// A field reads to the very double that reading its text as a decimal gives, whatever
// its digits: short fields take a quicker road, long ones the general one.
TEST(ParseSexagesimal, AFieldIsTheDoubleItsTextReadsAs) {
  std::uint64_t x = 88172645463325252ull;
  auto next = [&x] {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x;
  };
  for (int i = 0; i < 20000; ++i) {
    std::string whole = std::to_string(next() % 100000), fraction = std::to_string(next());
    fraction = fraction.substr(0, next() % 21);
    const std::string text = whole + (fraction.empty() ? "" : "." + fraction);
    ASSERT_EQ(parseSexagesimal(text, "test"), *parseStrictDecimal(text)) << text;
    const std::string three = "12:" + std::string(text.size() > 6 ? text.substr(0, 6) : text) + ":" + text;
    const double minutes = *parseStrictDecimal(text.size() > 6 ? text.substr(0, 6) : text);
    ASSERT_EQ(parseSexagesimal(three, "test"), 12.0 + minutes / 60.0 + *parseStrictDecimal(text) / 3600.0) << three;
  }
}

struct AngleCase {
  const char* text;
  double value;
};

class AngleTextReads : public ::testing::TestWithParam<AngleCase> {};

TEST_P(AngleTextReads, BothMembersGiveTheSameValue) {
  SimFixture sim;
  const AngleCase& c = GetParam();
  EXPECT_NEAR(sim.util->HMS_Hours(c.text), c.value, 1e-12) << c.text;
  EXPECT_NEAR(sim.util->DMS_Degrees(c.text), c.value, 1e-12) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, AngleTextReads,
    ::testing::Values(AngleCase{"18:40:00", 18.0 + 40.0 / 60.0},
                      AngleCase{"18 40 00.5", 18.0 + 40.0 / 60.0 + 0.5 / 3600.0},
                      AngleCase{"18h40m00s", 18.0 + 40.0 / 60.0},
                      AngleCase{"-02:15", -2.25},
                      AngleCase{"+33:00:00", 33.0},
                      AngleCase{"5.5", 5.5},
                      AngleCase{"-0:30", -0.5},               // the sign covers the whole value
                      AngleCase{"-00:00:36", -0.01},
                      AngleCase{"12:30.5", 12.0 + 30.5 / 60.0},  // decimals in the minutes
                      AngleCase{"1.5:30", 2.0},               // decimals in the units
                      AngleCase{" 7 ", 7.0},
                      AngleCase{"23d 59' 59.9\"", 23.0 + 59.0 / 60.0 + 59.9 / 3600.0},
                      AngleCase{".5", 0.5},
                      AngleCase{"12:30:00\t", 12.5}));

class AngleTextFails : public ::testing::TestWithParam<const char*> {};

TEST_P(AngleTextFails, ErrorNamesMemberAndText) {
  SimFixture sim;
  const std::string text = GetParam();
  try {
    sim.util->HMS_Hours(text);
    FAIL() << "no error for '" << text << "'";
  } catch (const RunTimeError& e) {
    EXPECT_EQ(std::string(e.what()), "HMS_Hours: cannot read '" + text + "'");
  }
  try {
    sim.util->DMS_Degrees(text);
    FAIL() << "no error for '" << text << "'";
  } catch (const RunTimeError& e) {
    EXPECT_EQ(std::string(e.what()), "DMS_Degrees: cannot read '" + text + "'");
  }
}

INSTANTIATE_TEST_SUITE_P(Malformed, AngleTextFails,
                         ::testing::Values("", "abc", "  ", "1.2.3", "1:2:3:4", "12:-30", "12:+30", "+-5", "-",
                                           ".", "5-3", "10:20:30.1.2"));

// ---- sidereal time and hour angles --------------------------------------------------

TEST(SiderealTime, GmstAtJ2000MatchesPublishedValue) {
  SimFixture sim;
  // 2000-01-01 12:00 UT: GMST 18h 41m 50.548s.
  EXPECT_NEAR(sim.util->Julian_GMST(2451545.0), 18.0 + 41.0 / 60.0 + 50.548 / 3600.0, 2e-6);
}

struct HourAngleCase {
  double ra, lst, expected;
};

class HourAngleFolds : public ::testing::TestWithParam<HourAngleCase> {};

TEST_P(HourAngleFolds, IntoMinus12To12PositiveWest) {
  SimFixture sim;
  const HourAngleCase& c = GetParam();
  EXPECT_NEAR(sim.util->HourAngle12(c.ra, c.lst), c.expected, 1e-12) << c.ra << " at " << c.lst;
}

INSTANTIATE_TEST_SUITE_P(Cases, HourAngleFolds,
                         ::testing::Values(HourAngleCase{2.0, 1.0, -1.0}, HourAngleCase{1.0, 2.0, 1.0},
                                           HourAngleCase{23.0, 1.0, 2.0}, HourAngleCase{1.0, 23.0, -2.0},
                                           HourAngleCase{0.0, 12.0, 12.0}, HourAngleCase{12.0, 0.0, 12.0},
                                           HourAngleCase{5.0, 5.0, 0.0}, HourAngleCase{0.0, 30.0, 6.0},
                                           HourAngleCase{18.0, 5.5, 11.5}, HourAngleCase{5.5, 18.0, -11.5}));

TEST(SiderealTime, HourAngleAtNowUsesSiteLongitude) {
  SimFixture sim;
  const double lst = sim.util->Julian_GMST(sim.util->SysJulianDate()) + sim.telescope->SiteLongitude() / 15.0;
  for (double ra : {0.0, 3.3, 9.9, 17.25, 23.9}) {
    EXPECT_NEAR(sim.util->HourAngle12(ra), sim.util->HourAngle12(ra, lst), 1e-9) << ra;
  }
}

// ---- the coordinate transform -------------------------------------------------------

TEST(CoordinateTransform, ObjectOnTheMeridianCulminates) {
  SimFixture sim;
  const double lat = sim.telescope->SiteLatitude();
  const double ra = sim.meridianRa(sim.clock.unixSeconds());
  struct {
    double dec, azimuth;
  } cases[] = {{20.0, 180.0}, {-30.0, 180.0}, {50.0, 0.0}, {85.0, 0.0}};
  for (const auto& c : cases) {
    auto ct = sim.util->NewCTHereAndNow();
    ct->setRightAscension(ra);
    ct->setDeclination(c.dec);
    EXPECT_NEAR(ct->Elevation(), 90.0 - std::fabs(lat - c.dec), 1e-6) << c.dec;
    const double azimuthOff = std::fmod(ct->Azimuth() - c.azimuth + 540.0, 360.0) - 180.0;
    EXPECT_NEAR(azimuthOff, 0.0, 1e-6) << c.dec;
  }
}

// An independent reckoning: the 1982 sidereal time and the spherical triangle.
TEST(CoordinateTransform, AgreesWithIndependentComputation) {
  const double lat = 31.96, lon = -111.6;
  for (double offset : {0.0, 7345.0, 40000.0, 86400.0 * 100.5}) {
    SimFixture sim;
    sim.clock.set(kSimNightUnix + offset);
    const double jd = julianDateFromUnix(sim.clock.unixSeconds());
    const double lst = eraGmst82(jd, 0.0) + lon * ERFA_DD2R;
    for (double ra : {1.0, 7.5, 13.25, 22.0}) {
      for (double dec : {-40.0, -5.0, 15.0, 45.0, 75.0}) {
        auto ct = sim.util->NewCTHereAndNow();
        ct->setRightAscension(ra);
        ct->setDeclination(dec);
        const double h = lst - ra * 15.0 * ERFA_DD2R;
        const double d = dec * ERFA_DD2R, phi = lat * ERFA_DD2R;
        const double el = std::asin(std::sin(phi) * std::sin(d) + std::cos(phi) * std::cos(d) * std::cos(h));
        double az = std::atan2(-std::cos(d) * std::sin(h), std::sin(d) * std::cos(phi) - std::cos(d) * std::sin(phi) * std::cos(h));
        if (az < 0) az += 2 * ERFA_DPI;
        EXPECT_NEAR(ct->Elevation(), el * ERFA_DR2D, 1e-4) << ra << " " << dec;
        double diff = std::fmod(ct->Azimuth() - az * ERFA_DR2D + 540.0, 360.0) - 180.0;
        EXPECT_NEAR(diff, 0.0, 1e-3) << ra << " " << dec;
      }
    }
  }
}

TEST(CoordinateTransform, IsFixedToTheMomentItWasMade) {
  SimFixture sim;
  auto before = sim.util->NewCTHereAndNow();
  before->setRightAscension(6.0);
  before->setDeclination(10.0);
  const double el = before->Elevation();
  sim.clock.advance(3600.0);
  EXPECT_EQ(before->Elevation(), el);
  auto after = sim.util->NewCTHereAndNow();
  after->setRightAscension(6.0);
  after->setDeclination(10.0);
  EXPECT_GT(std::fabs(after->Elevation() - el), 1.0);
}

// One transform used for one target after another (as a pass does not, but may): each
// reading is of the coordinates set last, the same as a fresh transform's; the hour angle
// follows the clock from instant to instant.
TEST(CoordinateTransform, ReadingsFollowEveryNewCoordinateAndTheClock) {
  SimFixture sim;
  auto ct = sim.util->NewCTHereAndNow();
  for (const auto& [ra, dec] : std::vector<std::pair<double, double>>{{6.0, 10.0}, {6.0, 60.0}, {18.0, 60.0}}) {
    ct->setRightAscension(ra);
    ct->setDeclination(dec);
    const double el = ct->Elevation(), az = ct->Azimuth();
    auto fresh = sim.util->NewCTHereAndNow();
    fresh->setRightAscension(ra);
    fresh->setDeclination(dec);
    EXPECT_EQ(el, fresh->Elevation()) << ra << " " << dec;
    EXPECT_EQ(az, fresh->Azimuth()) << ra << " " << dec;
  }
  const double ha = sim.util->HourAngle12(3.0);
  EXPECT_EQ(sim.util->HourAngle12(3.0), ha);
  sim.clock.advance(1800.0);
  EXPECT_NEAR(sim.util->HourAngle12(3.0) - ha, 0.5 * 1.0027379, 1e-6);
}

TEST(CoordinateTransform, ReadingBeforeBothCoordinatesAreSetFails) {
  SimFixture sim;
  auto ct = sim.util->NewCTHereAndNow();
  EXPECT_THROW(ct->Elevation(), RunTimeError);
  ct->setRightAscension(3.0);
  try {
    ct->Azimuth();
    FAIL();
  } catch (const RunTimeError& e) {
    EXPECT_NE(std::string(e.what()).find("Azimuth"), std::string::npos);
  }
  ct->setDeclination(3.0);
  EXPECT_NO_THROW(ct->Azimuth());
}

}  // namespace
}  // namespace np
