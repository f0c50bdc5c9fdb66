// The wait without a window system: it moves the manual clock instead of sleeping and
// processes events through the hook, once after the wait as the real wait does.
#include <gtest/gtest.h>

#include <vector>

#include "night/SimulatedWait.h"

namespace np {
namespace {

TEST(SimulatedEventPump, AWaitMovesTheClockThenProcessesEvents) {
  ManualClock clock(1000.0);
  std::vector<double> seenAt;
  SimulatedEventPump pump(clock, [&] { seenAt.push_back(clock.unixSeconds()); });

  pump.WaitSeconds(1);
  pump.WaitSeconds(300);
  EXPECT_EQ(clock.unixSeconds(), 1301.0);
  EXPECT_EQ(seenAt, (std::vector<double>{1001.0, 1301.0}));
  EXPECT_EQ(pump.waits(), 2);
  EXPECT_EQ(pump.secondsWaited(), 301);
}

TEST(SimulatedEventPump, ZeroOrNegativeSecondsOnlyProcessEvents) {
  ManualClock clock(50.0);
  int events = 0;
  SimulatedEventPump pump(clock, [&] { ++events; });
  pump.WaitSeconds(0);
  pump.WaitSeconds(-5);
  EXPECT_EQ(clock.unixSeconds(), 50.0);
  EXPECT_EQ(events, 2);
}

TEST(SimulatedEventPump, APauseLetsTheHookActDuringTheWait) {
  ManualClock clock(0.0);
  bool stopFlag = false;
  SimulatedEventPump pump(clock);
  pump.DoEvents();  // no hook yet: nothing happens
  pump.setOnEvents([&] {
    if (clock.unixSeconds() >= 3.0) stopFlag = true;
  });
  int pauses = 0;
  while (!stopFlag && pauses < 100) {
    Pause(pump);
    ++pauses;
  }
  EXPECT_EQ(pauses, 3);
  EXPECT_EQ(clock.unixSeconds(), 3.0);
}

}  // namespace
}  // namespace np
