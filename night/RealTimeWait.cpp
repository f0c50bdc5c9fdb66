#include "night/RealTimeWait.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <utility>

namespace np {

RealTimeEventPump::RealTime RealTimeEventPump::systemRealTime() {
  return RealTime{.now = [] { return std::chrono::steady_clock::now(); },
                  .sleep = [](std::chrono::nanoseconds d) { std::this_thread::sleep_for(d); }};
}

RealTimeEventPump::RealTimeEventPump(const Clock& clock, RealTime realTime)
    : clock_(clock), realTime_(std::move(realTime)) {}

void RealTimeEventPump::DoEvents() {
  if (onEvents_) onEvents_();
}

void RealTimeEventPump::WaitSeconds(int seconds) {
  if (seconds <= 0 || endWait()) {
    DoEvents();
    return;
  }
  const double speed = clock_.speed() > 0.0 ? clock_.speed() : 1.0;
  const auto length = std::chrono::nanoseconds(std::llround(seconds / speed * 1e9));
  const TimePoint deadline = realTime_.now() + length;
  const std::chrono::nanoseconds slice = kSlice;
  do {
    const std::chrono::nanoseconds left = deadline - realTime_.now();
    if (left > std::chrono::nanoseconds::zero()) realTime_.sleep(std::min(left, slice));
    DoEvents();
    if (endWait()) return;
  } while (realTime_.now() < deadline);
}

}  // namespace np
