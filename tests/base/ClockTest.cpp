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

}  // namespace
}  // namespace np
