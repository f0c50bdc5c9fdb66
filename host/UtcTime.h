#pragma once
#include <string>

#include "base/DateTime.h"

namespace np {

// The host back ends keep every instant as UTC seconds since 1970-01-01 (the clock's
// own scale). These helpers move between that scale, civil UTC date-times and Julian
// dates.

inline constexpr double kSecondsPerDay = 86400.0;

double julianDateFromUnix(double unixSeconds);
double unixFromJulianDate(double julianDate);

// Seconds since 1970 of a civil date-time read as UTC.
double unixFromCivilUtc(const CivilTime& utc);

// Reads an ISO 8601 UTC instant ("YYYY-MM-DD HH:MM:SS", "YYYY-MM-DDTHH:MM:SS[Z]",
// "YYYY-MM-DD[THH:MM]"); false when the text is not one.
bool parseUtcInstant(const std::string& text, double& unixSeconds);

// "YYYY-MM-DD HH:MM:SS" of a UTC instant, seconds rounded to the nearest whole second.
std::string formatUtc(double unixSeconds);

}  // namespace np
