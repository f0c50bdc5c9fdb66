#include "host/UtcTime.h"

#include <erfa.h>

#include <algorithm>
#include <cctype>

namespace np {

double julianDateFromUnix(double unixSeconds) { return unixSeconds / kSecondsPerDay + kUnixEpochJD; }

double unixFromJulianDate(double julianDate) { return (julianDate - kUnixEpochJD) * kSecondsPerDay; }

double unixFromCivilUtc(const CivilTime& utc) {
  // Whole days and seconds apart, so that whole-second instants come out exact.
  double mjd0 = 0.0, mjd = 0.0;
  if (eraCal2jd(utc.year, utc.month, utc.day, &mjd0, &mjd) != 0) {
    // Fields out of their ranges: carried over as the automation date does it.
    return (fromCivil(utc).serial - (kUnixEpochJD - kSerialEpochJD)) * kSecondsPerDay;
  }
  constexpr double kUnixEpochMjd = 40587.0;
  return (mjd - kUnixEpochMjd) * kSecondsPerDay + utc.hour * 3600.0 + utc.minute * 60.0 + utc.second;
}

bool parseUtcInstant(const std::string& text, double& unixSeconds) {
  auto first = std::find_if_not(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c); });
  auto last = std::find_if_not(text.rbegin(), text.rend(), [](unsigned char c) { return std::isspace(c); }).base();
  if (first >= last) return false;
  CivilTime civil;
  if (!parseIsoDateTime(std::string(first, last), civil)) return false;
  unixSeconds = unixFromCivilUtc(civil);
  return true;
}

std::string formatUtc(double unixSeconds) {
  return formatGeneralDate(DateTime{unixSeconds / kSecondsPerDay + (kUnixEpochJD - kSerialEpochJD)});
}

}  // namespace np
