#pragma once
// The responsive wait of a program without a window (nightpick-headless): a wait sleeps
// for real, in short slices, and event processing runs a hook in which the program looks
// for what it has been asked to do meanwhile (a stop request). A wait ends early once it
// is told that the run is stopping, so a request is acted on within a slice.
#include <chrono>
#include <functional>

#include "base/Clock.h"
#include "base/Ui.h"

namespace np {

class RealTimeEventPump : public EventPump {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  // Real time as the pump reads and spends it: the steady clock and a thread sleep, or a
  // test's own.
  struct RealTime {
    std::function<TimePoint()> now;
    std::function<void(std::chrono::nanoseconds)> sleep;
  };
  static RealTime systemRealTime();

  // The longest sleep between two runs of the hook.
  static constexpr std::chrono::milliseconds kSlice{100};

  // `clock` gives the speed of its time: a wait of n seconds lasts n / speed real seconds.
  explicit RealTimeEventPump(const Clock& clock, RealTime realTime = systemRealTime());

  // Runs at every event processing: each DoEvents, and after every slice of a wait.
  void setOnEvents(std::function<void()> onEvents) { onEvents_ = std::move(onEvents); }
  // Asked before a wait and after every run of the hook inside one: true ends the wait.
  void setEndWait(std::function<bool()> endWait) { endWait_ = std::move(endWait); }

  // Runs the hook once, if there is one.
  void DoEvents() override;
  // Sleeps until a deadline n / speed real seconds away, fixed at the start, in slices of
  // at most kSlice with the hook run after each (so once after the deadline too). Ends
  // after the slice in which endWait turns true, at once when it is true already. Zero
  // or negative seconds only run the hook once.
  void WaitSeconds(int seconds) override;

 private:
  bool endWait() const { return endWait_ && endWait_(); }

  const Clock& clock_;
  RealTime realTime_;
  std::function<void()> onEvents_;
  std::function<bool()> endWait_;
};

}  // namespace np
