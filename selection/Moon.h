#pragma once
// The Moon as the selection needs it: where it stands from the site (topocentric, its
// centre), how high, and how old, from ERFA's lunar series. Directions are in the frame of
// the target list's coordinates (equatorial, J2000), so a target's separation from the Moon
// is read straight from its right ascension and declination.
#include <optional>

namespace np {

// The synodic month in days: the Moon's age runs from 0 (new) through half of it (full).
inline constexpr double kSynodicMonthDays = 29.53;

struct MoonPlace {
  double rightAscension = 0;  // hours, 0..24, topocentric, J2000 axes
  double declination = 0;     // degrees, topocentric, J2000 axes
  double altitude = 0;        // degrees above the horizon, topocentric, no refraction
  double azimuth = 0;         // degrees from north through east
  double ageDays = 0;         // 0..29.53: the Moon's elongation in ecliptic longitude from the Sun
};

// The Moon's place at a Julian date (UTC; UT1 taken as UTC) seen from a site at sea level
// (latitude and east longitude in degrees).
MoonPlace moonPlace(double julianDateUtc, double latitudeDegrees, double longitudeDegrees);

// The separation from the Moon that a group with `moon=distance` needs at the Moon's
// age: the distance itself, or with `moonwidth=widthDays`
// distance / (1 + ((0.5 - age/29.53) / (width/29.53))^2): all of it at full Moon, half of
// it `widthDays` from full.
double requiredMoonSeparation(double distance, std::optional<double> widthDays, double ageDays);

// Angle between two directions given as right ascension (hours) and declination
// (degrees), in degrees.
double angularSeparation(double ra1Hours, double dec1Degrees, double ra2Hours, double dec2Degrees);

}  // namespace np
