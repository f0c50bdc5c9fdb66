#pragma once
// The responsive wait without a window system, for tests and the headless runner: a
// wait moves the manual clock on instead of sleeping, and event processing runs a hook
// in which the caller can act as the user would (press a button, change a setting).
#include <functional>

#include "base/Ui.h"
#include "base/Clock.h"

namespace np {

class SimulatedEventPump : public EventPump {
 public:
  explicit SimulatedEventPump(ManualClock& clock, std::function<void()> onEvents = {});

  void setOnEvents(std::function<void()> onEvents) { onEvents_ = std::move(onEvents); }

  // Runs the hook once, if there is one.
  void DoEvents() override;
  // Moves the clock on by `seconds` (not at all for zero or less), then processes the
  // pending events once, as a real wait does after its due time.
  void WaitSeconds(int seconds) override;

  long long waits() const { return waits_; }
  long long secondsWaited() const { return secondsWaited_; }

 private:
  ManualClock& clock_;
  std::function<void()> onEvents_;
  long long waits_ = 0;
  long long secondsWaited_ = 0;
};

}  // namespace np
