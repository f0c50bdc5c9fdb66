// The real-time wait without a window: it sleeps n / speed real seconds against a deadline
// fixed at its start, in short slices with the hook run after each, and ends early once it
// is told to. Real time here is the test's own: a sleep moves it on at once.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "night/RealTimeWait.h"

namespace np {
namespace {

using namespace std::chrono_literals;
using std::chrono::nanoseconds;

// Real time that moves only by the pump's sleeps and by what the test spends in the hook.
// A sleep may be told to last longer than asked, as a thread's sleep does on a busy machine.
struct FakeRealTime {
  RealTimeEventPump::TimePoint t{};
  std::vector<nanoseconds> sleeps;
  double sleepShare = 1.0;

  RealTimeEventPump::RealTime realTime() {
    return {.now = [this] { return t; },
            .sleep = [this](nanoseconds d) {
              sleeps.push_back(d);
              t += nanoseconds(static_cast<long long>(static_cast<double>(d.count()) * sleepShare));
            }};
  }
  nanoseconds slept() const {
    nanoseconds sum{0};
    for (nanoseconds d : sleeps) sum += d;
    return sum;
  }
};

TEST(RealTimeEventPump, AWaitLastsSecondsOverSpeedInSlicesWithTheHookAfterEach) {
  struct Case {
    double speed;
    int seconds;
    std::vector<nanoseconds> slices;
  };
  const Case cases[] = {
      {1.0, 1, std::vector<nanoseconds>(10, 100ms)},
      {4.0, 1, {100ms, 100ms, 50ms}},
      {600.0, 1, {1666667ns}},
      {10.0, 3, {100ms, 100ms, 100ms}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "speed " << c.speed << ", " << c.seconds << " s");
    RealTimeClock clock(0.0, c.speed);
    FakeRealTime real;
    std::vector<RealTimeEventPump::TimePoint> hookAt;
    RealTimeEventPump pump(clock, real.realTime());
    pump.setOnEvents([&] { hookAt.push_back(real.t); });
    pump.WaitSeconds(c.seconds);
    EXPECT_EQ(real.sleeps, c.slices);
    ASSERT_EQ(hookAt.size(), c.slices.size());
    EXPECT_EQ(hookAt.back() - RealTimeEventPump::TimePoint{}, real.slept()) << "the hook runs after the last slice";
  }
}

TEST(RealTimeEventPump, TheDeadlineIsFixedAtTheStart) {
  RealTimeClock clock(0.0, 1.0);
  // Time spent in the hook counts: the wait is not lengthened by it.
  {
    FakeRealTime real;
    RealTimeEventPump pump(clock, real.realTime());
    pump.setOnEvents([&] { real.t += 30ms; });
    pump.WaitSeconds(1);
    EXPECT_EQ(real.t - RealTimeEventPump::TimePoint{}, 1000ms + 30ms) << "slept " << real.slept().count();
    EXPECT_LT(real.slept(), 1000ms);
  }
  // Sleeps that last longer than asked end the wait sooner in slices, not later in time.
  {
    FakeRealTime real;
    real.sleepShare = 1.5;
    RealTimeEventPump pump(clock, real.realTime());
    pump.WaitSeconds(1);
    EXPECT_EQ(real.sleeps, std::vector<nanoseconds>(7, 100ms));
    EXPECT_EQ(real.t - RealTimeEventPump::TimePoint{}, 1050ms);
  }
}

TEST(RealTimeEventPump, AStopEndsTheWaitAfterTheSliceInWhichItCame) {
  RealTimeClock clock(0.0, 1.0);
  FakeRealTime real;
  RealTimeEventPump pump(clock, real.realTime());
  bool stopFlag = false;
  int hooks = 0;
  pump.setOnEvents([&] {
    if (++hooks == 3) stopFlag = true;
  });
  pump.setEndWait([&] { return stopFlag; });
  pump.WaitSeconds(3600);
  EXPECT_EQ(hooks, 3);
  EXPECT_EQ(real.slept(), 300ms);

  // Once stopping, every wait only processes events.
  real.sleeps.clear();
  pump.WaitSeconds(3600);
  Pause(pump);
  EXPECT_TRUE(real.sleeps.empty());
  EXPECT_EQ(hooks, 3 + 1 + 2);  // the wait's one run, the pause's DoEvents and its wait's
}

TEST(RealTimeEventPump, ZeroOrNegativeSecondsAndDoEventsOnlyRunTheHook) {
  RealTimeClock clock(0.0, 1.0);
  FakeRealTime real;
  RealTimeEventPump pump(clock, real.realTime());
  pump.DoEvents();  // no hook yet: nothing happens
  int hooks = 0;
  pump.setOnEvents([&] { ++hooks; });
  pump.WaitSeconds(0);
  pump.WaitSeconds(-5);
  pump.DoEvents();
  EXPECT_EQ(hooks, 3);
  EXPECT_TRUE(real.sleeps.empty());
}

// The pump on the real steady clock and a real sleep: a short wait at a high speed comes
// back, having slept at least its length.
TEST(RealTimeEventPump, OnTheSystemsRealTimeAWaitSleepsAtLeastItsLength) {
  RealTimeClock clock(0.0, 1000.0);
  RealTimeEventPump pump(clock);
  int hooks = 0;
  pump.setOnEvents([&] { ++hooks; });
  const auto start = std::chrono::steady_clock::now();
  pump.WaitSeconds(20);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
  EXPECT_GE(hooks, 1);
}

}  // namespace
}  // namespace np
