#pragma once
#include <compare>
#include <string>

namespace np {

// A local date-time as the program shows and compares it: days since 1899-12-30 00:00
// in the observatory computer's local zone, fraction = time of day (the automation date).
struct DateTime {
  double serial = 0.0;
  auto operator<=>(const DateTime&) const = default;
};

struct CivilTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0;
  double second = 0.0;
};

// A stretch of time in UTC seconds since 1970, from start to end.
struct TimeSpan {
  double start = 0.0;
  double end = 0.0;
  double length() const { return end - start; }
};

// Julian date of the automation date's epoch (1899-12-30 00:00).
inline constexpr double kSerialEpochJD = 2415018.5;
inline constexpr double kUnixEpochJD = 2440587.5;

// The local date-time of a UTC instant (seconds since 1970) in a zone `utcOffsetHours`
// east of UTC, and back.
inline DateTime localFromUnix(double unixSeconds, double utcOffsetHours) {
  return DateTime{(unixSeconds + utcOffsetHours * 3600.0) / 86400.0 + (kUnixEpochJD - kSerialEpochJD)};
}
inline double unixFromLocal(DateTime local, double utcOffsetHours) {
  return (local.serial - (kUnixEpochJD - kSerialEpochJD)) * 86400.0 - utcOffsetHours * 3600.0;
}

DateTime fromCivil(const CivilTime& t);
CivilTime toCivil(DateTime d);  // seconds rounded to the nearest millisecond
// "YYYY-MM-DD HH:MM:SS", seconds rounded to the nearest whole second.
std::string formatGeneralDate(DateTime d);
// Parses "YYYY-MM-DD HH:MM:SS", "YYYY-MM-DDTHH:MM:SS[Z]" or "YYYY-MM-DD[THH:MM]"; false if malformed.
bool parseIsoDateTime(const std::string& text, CivilTime& out);

}  // namespace np
