// The Moon against a reduction made elsewhere: PyEphem's own lunar theory through one
// lunation at the sample site (tests/data/moon-reference.csv, written by
// tests/selection/moon_reference.py), Astroplan's published Moon-separation case, and the
// published example of the Moon-age rule.
#include "selection/Moon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "host/UtcTime.h"

namespace np {
namespace {

constexpr double kLatitude = 31.96, kLongitude = -111.6;  // the sample site

double julianDate(const std::string& utc) {
  double unix = 0;
  EXPECT_TRUE(parseUtcInstant(utc, unix)) << utc;
  return julianDateFromUnix(unix);
}

std::vector<std::vector<std::string>> readCsv(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream ss(line);
    std::string f;
    while (std::getline(ss, f, ',')) fields.push_back(f);
    rows.push_back(fields);
  }
  return rows;
}

TEST(Moon, AgreesWithPyEphemThroughALunation) {
  const auto rows = readCsv(std::string(NIGHTPICK_TEST_DATA) + "/moon-reference.csv");
  ASSERT_GT(rows.size(), 100u);
  // The targets of the table's separation columns (J2000).
  const double targets[5][2] = {{3.79, 24.11667}, {5.588056, -5.391111}, {0.7925, -25.28833},
                                {12.666389, -11.623056}, {18.060278, -24.386667}};
  double worstPlace = 0, worstAltitude = 0, worstAge = 0, worstSeparation = 0;
  double minAge = 99, maxAge = 0;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const auto& r = rows[i];
    ASSERT_EQ(r.size(), 11u) << "row " << i;
    const MoonPlace m = moonPlace(julianDate(r[0]), kLatitude, kLongitude);
    const double place = angularSeparation(m.rightAscension, m.declination, std::stod(r[1]), std::stod(r[2]));
    worstPlace = std::max(worstPlace, place);
    worstAltitude = std::max(worstAltitude, std::fabs(m.altitude - std::stod(r[3])));
    double age = std::fabs(m.ageDays - std::stod(r[5]));
    age = std::min(age, kSynodicMonthDays - age);  // across new Moon
    worstAge = std::max(worstAge, age);
    minAge = std::min(minAge, m.ageDays);
    maxAge = std::max(maxAge, m.ageDays);
    for (int t = 0; t < 5; ++t) {
      const double separation = angularSeparation(targets[t][0], targets[t][1], m.rightAscension, m.declination);
      worstSeparation = std::max(worstSeparation, std::fabs(separation - std::stod(r[6 + static_cast<std::size_t>(t)])));
    }
  }
  EXPECT_LT(worstSeparation, 0.1);
  EXPECT_LT(worstPlace, 0.1);
  EXPECT_LT(worstAltitude, 0.1);
  EXPECT_LT(worstAge, 0.01);  // 0.12 degrees of elongation
  EXPECT_LT(minAge, 1.0) << "the table spans a whole lunation";
  EXPECT_GT(maxAge, 28.5);
  RecordProperty("worst_separation_degrees", std::to_string(worstSeparation));
  RecordProperty("worst_altitude_degrees", std::to_string(worstAltitude));
  std::printf("PyEphem: separations within %.4f deg, place %.4f deg, altitude %.4f deg, age %.4f days\n",
              worstSeparation, worstPlace, worstAltitude, worstAge);
}

// Astroplan's published case: Apache Point Observatory, 2003-04-05 06:07:08 UTC, targets
// one degree above the Moon and five and twenty degrees of azimuth beside it, against a
// minimum of 2 degrees. The separations are out, in, in. The Moon then stands 20.55
// degrees below APO's horizon (PyEphem: -20.552), so a group there is kept out by nothing.
TEST(Moon, AstroplansApachePointCase) {
  const double latitude = 32.780361, longitude = -105.820417;
  const double jd = julianDate("2003-04-05T06:07:08Z");
  const MoonPlace m = moonPlace(jd, latitude, longitude);
  EXPECT_NEAR(m.altitude, -20.552, 0.1);
  EXPECT_NEAR(m.azimuth, 307.985, 0.1);

  // The three targets, placed as Astroplan places them, turned into RA and Dec through a
  // spherical triangle on the local sky.
  const double lat = latitude * std::numbers::pi / 180.0;
  auto equatorial = [&](double altitude, double azimuth, double& ra, double& dec) {
    const double a = altitude * std::numbers::pi / 180.0, z = azimuth * std::numbers::pi / 180.0;
    const double sinDec = std::sin(a) * std::sin(lat) + std::cos(a) * std::cos(lat) * std::cos(z);
    dec = std::asin(sinDec) * 180.0 / std::numbers::pi;
    // The hour angle (west positive) from the same triangle; RA = LST - HA, with the
    // sidereal time left out: it cancels in every separation.
    const double y = -std::sin(z) * std::cos(a);
    const double x = std::sin(a) * std::cos(lat) - std::cos(a) * std::sin(lat) * std::cos(z);
    const double hourAngle = std::atan2(y, x) * 180.0 / std::numbers::pi / 15.0;
    ra = -hourAngle;
  };
  double moonRa = 0, moonDec = 0;
  equatorial(m.altitude, m.azimuth, moonRa, moonDec);
  EXPECT_NEAR(moonDec, m.declination, 0.02) << "the local triangle matches the Moon's own place";
  const double offsets[3][2] = {{1, 0}, {0, 5}, {0, 20}};  // altitude, azimuth
  const bool in[3] = {false, true, true};
  for (int i = 0; i < 3; ++i) {
    double ra = 0, dec = 0;
    equatorial(m.altitude + offsets[i][0], m.azimuth + offsets[i][1], ra, dec);
    const double separation = angularSeparation(ra, dec, moonRa, moonDec);
    EXPECT_EQ(separation >= requiredMoonSeparation(2.0, std::nullopt, m.ageDays), in[i]) << "target " << i;
  }
}

// The rule's published example: 60 degrees with a width of 7 days needs 60 at full Moon,
// about 28.4 at 7.4 days from it, and half of it at the width.
TEST(Moon, AgeRuleExample) {
  const double full = kSynodicMonthDays / 2;
  EXPECT_DOUBLE_EQ(requiredMoonSeparation(60, 7.0, full), 60.0);
  EXPECT_NEAR(requiredMoonSeparation(60, 7.0, full - 7.4), 28.4, 0.1);
  EXPECT_NEAR(requiredMoonSeparation(60, 7.0, full + 7.4), 28.4, 0.1);
  EXPECT_NEAR(requiredMoonSeparation(60, 7.0, 7.4), 28.4, 0.1);  // 7.4 days old
  EXPECT_NEAR(requiredMoonSeparation(60, 7.0, full + 7.0), 30.0, 1e-9);
  EXPECT_NEAR(requiredMoonSeparation(60, 7.0, 0.0), 11.0, 0.05) << "new Moon: under a fifth";
  EXPECT_DOUBLE_EQ(requiredMoonSeparation(60, std::nullopt, 0.0), 60.0) << "without a width: always the distance";
}

}  // namespace
}  // namespace np
