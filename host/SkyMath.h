#pragma once
#include <string>

namespace np {

// Reads an angle written as up to three numeric fields (units, minutes, seconds; each
// may carry decimals) separated by anything that is not a digit, a point or a sign:
// "18:40:00", "18 40 00.5", "18h40m00s", "-02:15", "+33:00:00", "5.5". A leading minus
// makes the whole value negative. Throws RunTimeError "<member>: cannot read '<text>'"
// for text without digits, with more than three fields or with a malformed field.
double parseSexagesimal(const std::string& text, const char* member);

// Greenwich mean sidereal time in hours, 0 to 24, at a Julian date (UT1 taken as UTC).
double greenwichMeanSiderealHours(double julianDate);

// Local mean sidereal time in hours, 0 to 24, at a Julian date and an east longitude.
double localSiderealHours(double julianDate, double longitudeDegrees);

// localSiderealTime - rightAscension folded into (-12, +12], positive west.
double hourAngle12(double rightAscensionHours, double localSiderealHours);

struct Horizontal {
  double azimuth = 0.0;    // degrees from north through east, 0 to 360
  double elevation = 0.0;  // degrees
};

// Topocentric azimuth and elevation, without refraction, of an hour angle (hours) and
// declination (degrees) seen from a latitude (degrees).
Horizontal horizontalFromHourAngle(double hourAngleHours, double declinationDegrees, double latitudeDegrees);

// Azimuth and elevation of coordinates of date from a site at an instant.
Horizontal horizontalAt(double rightAscensionHours, double declinationDegrees, double latitudeDegrees,
                        double longitudeDegrees, double julianDate);

}  // namespace np
