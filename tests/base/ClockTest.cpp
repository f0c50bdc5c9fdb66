#include "base/Clock.h"

#include <gtest/gtest.h>

#include <ctime>

namespace np {
namespace {

TEST(ClockTest, SystemSecondsAgreeWithTheCLibrary) {
  const double before = static_cast<double>(std::time(nullptr));
  const double now = systemUnixSeconds();
  const double after = static_cast<double>(std::time(nullptr));
  EXPECT_GE(now, before - 1.0);
  EXPECT_LE(now, after + 1.0);
}

// The C library's local time of an instant, as a date-time: localtime_s on Windows reads
// the same zone from the system (no TZ is set under ctest), localtime_r on Linux.
DateTime cLibraryLocal(std::time_t t) {
  std::tm tm{};
#ifdef _WIN32
  if (localtime_s(&tm, &t) != 0) return {};
#else
  if (localtime_r(&t, &tm) == nullptr) return {};
#endif
  return fromCivil(CivilTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                             static_cast<double>(tm.tm_sec)});
}

// Whatever the machine's zone: the system clock's local time is the C library's, in
// winter and in summer (so across a daylight-saving change) and at the edges of a day.
TEST(SystemClockTest, LocalTimeIsTheOperatingSystemsForEveryDate) {
  const std::time_t instants[] = {
      0,           // 1970-01-01 00:00 UTC
      1767225600,  // 2026-01-01 00:00 UTC
      1768478400,  // 2026-01-15 12:00 UTC, winter in the north
      1784116800,  // 2026-07-15 12:00 UTC, summer in the north
      1774746000,  // 2026-03-29 01:00 UTC, the European change to summer time
      1792889999,  // 2026-10-25 00:59:59 UTC, a second before the change back
      std::time(nullptr),
  };
  for (const std::time_t t : instants) {
    const DateTime expected = cLibraryLocal(t);
    EXPECT_NEAR(SystemClock::localAt(static_cast<double>(t)).serial, expected.serial, 0.5 / 86400.0) << t;
    EXPECT_NEAR(SystemClock::localAt(static_cast<double>(t) + 0.25).serial, expected.serial + 0.25 / 86400.0,
                0.001 / 86400.0)
        << t;
  }
}

TEST(SystemClockTest, NowIsTheSystemsPresentInItsLocalZone) {
  SystemClock clock;
  clock.setUtcOffsetHours(13.0);  // a fixed offset has no say on the system clock
  const std::time_t before = std::time(nullptr);
  const DateTime now = clock.nowLocal();
  const std::time_t after = std::time(nullptr);
  EXPECT_GE(now.serial, cLibraryLocal(before).serial - 1.0 / 86400.0);
  EXPECT_LE(now.serial, cLibraryLocal(after).serial + 1.0 / 86400.0);
  EXPECT_NEAR(clock.unixSeconds(), static_cast<double>(before), 2.0);
  EXPECT_NEAR(localFromUnix(clock.unixSeconds(), clock.utcOffsetHours()).serial, clock.nowLocal().serial, 2.0 / 86400.0);
  // Through the base class, as the program's units see it.
  const Clock& asClock = clock;
  EXPECT_NEAR(asClock.nowLocal().serial, now.serial, 2.0 / 86400.0);
}

}  // namespace
}  // namespace np
