#pragma once
// The windowed program's event processing and responsive wait.
#include "base/Ui.h"
#include "base/Clock.h"

namespace np {

class QtEventPump : public EventPump {
 public:
  // `clock` gives the speed of simulated time: a wait of n seconds lasts n / speed real
  // seconds.
  explicit QtEventPump(const Clock& clock) : clock_(clock) {}

  // Dispatches every pending event of the thread once and returns.
  void DoEvents() override;

  // Sleeps in an event loop until a deadline fixed at the start, handling every window
  // event meanwhile (input does not lengthen the wait), then processes pending events
  // once more. Zero or negative seconds only process pending events once. Returns
  // promptly when the application is quitting.
  void WaitSeconds(int seconds) override;

 private:
  const Clock& clock_;
};

}  // namespace np
