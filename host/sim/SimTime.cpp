#include "host/sim/SimTime.h"

#include <algorithm>
#include <cctype>

namespace np::sim {

double julianDateFromUnix(double unixSeconds) { return unixSeconds / kSecondsPerDay + kUnixEpochJD; }

double unixFromJulianDate(double julianDate) { return (julianDate - kUnixEpochJD) * kSecondsPerDay; }

double unixFromCivilUtc(const CivilTime& utc) {
  // The automation date is a plain day count; read in UTC it is an instant.
  return (fromCivil(utc).serial - (kUnixEpochJD - kSerialEpochJD)) * kSecondsPerDay;
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

}  // namespace np::sim
