#include "host/Clock.h"

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

TEST(ClockTest, NowLocalAppliesTheZoneOffset) {
  ManualClock clock(0.0);  // 1970-01-01 00:00 UTC
  clock.setUtcOffsetHours(-6.0);
  EXPECT_EQ(formatGeneralDate(clock.nowLocal()), "1969-12-31 18:00:00");
  clock.set(1'700'000'000.0);
  clock.setUtcOffsetHours(1.0);
  EXPECT_EQ(formatGeneralDate(clock.nowLocal()), "2023-11-14 23:13:20");
}

}  // namespace
}  // namespace np
