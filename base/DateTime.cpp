#include "base/DateTime.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "base/Errors.h"

namespace np {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr std::int64_t kSecondsPerDay = 86'400;
// Serials beyond this many days (about 27,000 years either way) are refused rather than
// run into integer overflow; no date the program meets comes near.
constexpr double kMaxSerialMagnitude = 1.0e7;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct YMD {
  std::int64_t year;
  unsigned month, day;
};

// The inverse of daysFromCivil.
constexpr YMD civilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {y + (m <= 2 ? 1 : 0), m, d};
}

constexpr std::int64_t kEpochDays = daysFromCivil(1899, 12, 30);
static_assert(daysFromCivil(1970, 1, 1) == 0);
static_assert(kEpochDays == -25569);

bool isLeap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned daysInMonth(std::int64_t y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

void checkSerial(DateTime d) {
  if (!std::isfinite(d.serial) || std::fabs(d.serial) > kMaxSerialMagnitude)
    throw RunTimeError("Date-time value out of range");
}

// Splits a whole number of `unitsPerDay` units since the epoch into a civil time.
CivilTime splitUnits(std::int64_t units, std::int64_t unitsPerDay, double unitsPerSecond) {
  std::int64_t days = units / unitsPerDay;
  std::int64_t rest = units % unitsPerDay;
  if (rest < 0) {
    rest += unitsPerDay;
    --days;
  }
  const YMD ymd = civilFromDays(days + kEpochDays);
  const std::int64_t unitsPerMinute = static_cast<std::int64_t>(unitsPerSecond) * 60;
  CivilTime t;
  t.year = static_cast<int>(ymd.year);
  t.month = static_cast<int>(ymd.month);
  t.day = static_cast<int>(ymd.day);
  t.hour = static_cast<int>(rest / (unitsPerMinute * 60));
  rest %= unitsPerMinute * 60;
  t.minute = static_cast<int>(rest / unitsPerMinute);
  rest %= unitsPerMinute;
  t.second = static_cast<double>(rest) / unitsPerSecond;
  return t;
}

// Reads exactly `n` digits at `pos`; advances pos.
bool readDigits(const std::string& s, std::size_t& pos, int n, int& value) {
  if (pos + static_cast<std::size_t>(n) > s.size()) return false;
  value = 0;
  for (int i = 0; i < n; ++i) {
    const char c = s[pos + static_cast<std::size_t>(i)];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  pos += static_cast<std::size_t>(n);
  return true;
}

bool expect(const std::string& s, std::size_t& pos, char c) {
  if (pos >= s.size() || s[pos] != c) return false;
  ++pos;
  return true;
}

}  // namespace

DateTime fromCivil(const CivilTime& t) {
  // A month outside 1..12 is carried into the year and a day outside the month into the
  // neighbouring months, so that field arithmetic ("day + 1") gives the expected date.
  const std::int64_t m0 = static_cast<std::int64_t>(t.month) - 1;
  const std::int64_t yearCarry = m0 >= 0 ? m0 / 12 : -((11 - m0) / 12);
  const std::int64_t y = t.year + yearCarry;
  const auto m = static_cast<unsigned>(m0 - yearCarry * 12 + 1);
  const std::int64_t days = daysFromCivil(y, m, 1) + (t.day - 1) - kEpochDays;
  const double seconds = t.hour * 3600.0 + t.minute * 60.0 + t.second;
  return DateTime{static_cast<double>(days) + seconds / static_cast<double>(kSecondsPerDay)};
}

CivilTime toCivil(DateTime d) {
  checkSerial(d);
  const auto ms = static_cast<std::int64_t>(std::floor(d.serial * static_cast<double>(kMsPerDay) + 0.5));
  return splitUnits(ms, kMsPerDay, 1000.0);
}

std::string formatGeneralDate(DateTime d) {
  checkSerial(d);
  // Half a second goes up (towards the later time), also before the epoch.
  const auto seconds = static_cast<std::int64_t>(std::floor(d.serial * static_cast<double>(kSecondsPerDay) + 0.5));
  const CivilTime t = splitUnits(seconds, kSecondsPerDay, 1.0);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                static_cast<int>(t.second));
  return buf;
}

bool parseIsoDateTime(const std::string& text, CivilTime& out) {
  std::size_t pos = 0;
  CivilTime t;
  if (!readDigits(text, pos, 4, t.year) || !expect(text, pos, '-') || !readDigits(text, pos, 2, t.month) ||
      !expect(text, pos, '-') || !readDigits(text, pos, 2, t.day))
    return false;
  if (t.month < 1 || t.month > 12 || t.day < 1 || static_cast<unsigned>(t.day) > daysInMonth(t.year, static_cast<unsigned>(t.month)))
    return false;
  t.hour = 0;
  t.minute = 0;
  t.second = 0.0;
  if (pos < text.size()) {
    if (text[pos] != 'T' && text[pos] != ' ') return false;
    ++pos;
    if (!readDigits(text, pos, 2, t.hour) || !expect(text, pos, ':') || !readDigits(text, pos, 2, t.minute))
      return false;
    if (t.hour > 23 || t.minute > 59) return false;
    if (pos < text.size() && text[pos] == ':') {
      ++pos;
      int whole = 0;
      if (!readDigits(text, pos, 2, whole) || whole > 59) return false;
      t.second = whole;
    }
    if (pos < text.size() && text[pos] == 'Z') ++pos;
    if (pos != text.size()) return false;
  }
  out = t;
  return true;
}

}  // namespace np
