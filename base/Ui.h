#pragma once
// What the program's logic needs of the window system, as small interfaces: message boxes
// and the event processing with its responsive wait. The windowed programs implement them
// with Qt and Win32, tests and the headless runner without.
#include <string>

namespace np {

// Modal message boxes: OK only, no icon, title "Nightpick". show() returns when the
// user has closed the box.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void showMessage(const std::string& text) = 0;
};

// The window's event processing and the responsive wait (modTimer).
class EventPump {
 public:
  virtual ~EventPump() = default;
  // Processes every pending window event once, running the handlers, and returns.
  virtual void DoEvents() = 0;
  // Lets `seconds` pass while the window stays usable.
  virtual void WaitSeconds(int seconds) = 0;
};

// A pause of the observing loop: process pending events once, then WaitSeconds(1).
inline void Pause(EventPump& pump) {
  pump.DoEvents();
  pump.WaitSeconds(1);
}

}  // namespace np
