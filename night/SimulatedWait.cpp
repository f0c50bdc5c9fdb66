#include "night/SimulatedWait.h"

#include <utility>

namespace np {

SimulatedEventPump::SimulatedEventPump(ManualClock& clock, std::function<void()> onEvents)
    : clock_(clock), onEvents_(std::move(onEvents)) {}

void SimulatedEventPump::DoEvents() {
  if (onEvents_) onEvents_();
}

void SimulatedEventPump::WaitSeconds(int seconds) {
  ++waits_;
  if (seconds > 0) {
    clock_.advance(static_cast<double>(seconds));
    secondsWaited_ += seconds;
  }
  DoEvents();
}

}  // namespace np
