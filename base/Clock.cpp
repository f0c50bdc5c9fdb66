#include "base/Clock.h"

#include <cmath>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#endif

namespace np {

double systemUnixSeconds() {
  const std::chrono::duration<double> sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  return sinceEpoch.count();
}

double SystemClock::utcOffsetHoursAt(double unixSeconds) {
  const double whole = std::floor(unixSeconds);
#ifdef _WIN32
  // Windows's own zone rules (the zone chosen in its settings, not a TZ variable): the
  // instant as a FILETIME (100 ns since 1601), turned to local time for that date.
  constexpr double kUnixEpochAsFileTimeSeconds = 11644473600.0;
  const auto ticks = static_cast<ULONGLONG>((whole + kUnixEpochAsFileTimeSeconds) * 1e7);
  FILETIME ft{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME utc{}, local{};
  if (!::FileTimeToSystemTime(&ft, &utc) || !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return 0.0;
  const auto serialOf = [](const SYSTEMTIME& t) {
    return fromCivil(CivilTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, static_cast<double>(t.wSecond)}).serial;
  };
  return std::round((serialOf(local) - serialOf(utc)) * 86400.0) / 3600.0;
#else
  const std::time_t t = static_cast<std::time_t>(whole);
  std::tm local{};
  if (::localtime_r(&t, &local) == nullptr) return 0.0;
  return static_cast<double>(local.tm_gmtoff) / 3600.0;
#endif
}

}  // namespace np
