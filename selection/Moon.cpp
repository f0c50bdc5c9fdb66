#include "selection/Moon.h"

#include <erfa.h>
#include <erfam.h>

#include <cmath>

namespace np {

namespace {

constexpr double kMjdZero = 2400000.5;

double wrap360(double degrees) {
  const double d = std::fmod(degrees, 360.0);
  return d < 0 ? d + 360.0 : d;
}

// Ecliptic longitude (J2000 mean ecliptic) of an equatorial J2000 vector, degrees.
double eclipticLongitude(const double p[3]) {
  const double eps = 84381.406 * ERFA_DAS2R;  // the obliquity at J2000
  const double y = p[1] * std::cos(eps) + p[2] * std::sin(eps);
  return wrap360(std::atan2(y, p[0]) * ERFA_DR2D);
}

}  // namespace

MoonPlace moonPlace(double julianDateUtc, double latitudeDegrees, double longitudeDegrees) {
  // UTC to TT through ERFA's leap seconds; a status of 1 (a date past its table) is an
  // estimate, still far better than the Moon needs.
  const double utc2 = julianDateUtc - kMjdZero;
  double tai1 = 0, tai2 = 0, tt1 = 0, tt2 = 0;
  if (eraUtctai(kMjdZero, utc2, &tai1, &tai2) < 0) {
    tai1 = kMjdZero;
    tai2 = utc2 + 37.0 / 86400.0;
  }
  eraTaitt(tai1, tai2, &tt1, &tt2);

  double moon[2][3];
  eraMoon98(tt1, tt2, moon);  // geocentric, GCRS, AU

  // The site in the terrestrial frame (WGS84, sea level), and the celestial-to-terrestrial
  // rotation at this instant (no polar motion), to take the site's offset into GCRS.
  const double lat = latitudeDegrees * ERFA_DD2R, lon = longitudeDegrees * ERFA_DD2R;
  double siteItrs[3];
  eraGd2gc(ERFA_WGS84, lon, lat, 0.0, siteItrs);
  for (double& c : siteItrs) c /= ERFA_DAU;
  double c2t[3][3];
  eraC2t06a(tt1, tt2, kMjdZero, utc2, 0.0, 0.0, c2t);
  double siteGcrs[3];
  eraTrxp(c2t, siteItrs, siteGcrs);
  double topo[3];
  for (int i = 0; i < 3; ++i) topo[i] = moon[0][i] - siteGcrs[i];

  MoonPlace place;
  double ra = 0, dec = 0;
  eraC2s(topo, &ra, &dec);
  place.rightAscension = eraAnp(ra) * ERFA_DR2D / 15.0;
  place.declination = dec * ERFA_DR2D;

  // Altitude and azimuth from the site's local east, north and up.
  double local[3];
  eraRxp(c2t, topo, local);
  const double east = -std::sin(lon) * local[0] + std::cos(lon) * local[1];
  const double north =
      -std::sin(lat) * std::cos(lon) * local[0] - std::sin(lat) * std::sin(lon) * local[1] + std::cos(lat) * local[2];
  const double up =
      std::cos(lat) * std::cos(lon) * local[0] + std::cos(lat) * std::sin(lon) * local[1] + std::sin(lat) * local[2];
  place.altitude = std::atan2(up, std::hypot(east, north)) * ERFA_DR2D;
  place.azimuth = wrap360(std::atan2(east, north) * ERFA_DR2D);

  // The age from the elongation in longitude, seen from the Earth's centre.
  double earthHelio[2][3], earthBary[2][3];
  eraEpv00(tt1, tt2, earthHelio, earthBary);
  const double sun[3] = {-earthHelio[0][0], -earthHelio[0][1], -earthHelio[0][2]};
  const double elongation = wrap360(eclipticLongitude(moon[0]) - eclipticLongitude(sun));
  place.ageDays = elongation / 360.0 * kSynodicMonthDays;
  return place;
}

double requiredMoonSeparation(double distance, std::optional<double> widthDays, double ageDays) {
  if (!widthDays) return distance;
  const double x = (0.5 - ageDays / kSynodicMonthDays) / (*widthDays / kSynodicMonthDays);
  return distance / (1.0 + x * x);
}

double angularSeparation(double ra1Hours, double dec1Degrees, double ra2Hours, double dec2Degrees) {
  return eraSeps(ra1Hours * 15.0 * ERFA_DD2R, dec1Degrees * ERFA_DD2R, ra2Hours * 15.0 * ERFA_DD2R,
                 dec2Degrees * ERFA_DD2R) *
         ERFA_DR2D;
}

}  // namespace np
