#pragma once
// What the program's logic needs of the window system, as small interfaces: the
// windowed program implements them with Qt, tests and the headless runner without.
#include <string>

namespace np {

class frmPrefs;  // the preferences dialog's logic (settings/)


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

// What the window system does for the main window: show its state, open the modal
// preferences dialog, unload the program's other windows.
class MainWindowView {
 public:
  virtual ~MainWindowView() = default;
  virtual void statusTextChanged(const std::string& text) = 0;
  virtual void buttonStatesChanged() = 0;
  // Shows the dialog for `prefs` modally; returns when its window has closed.
  virtual void showPrefsDialog(frmPrefs& prefs) = 0;
  virtual void unloadOtherWindows() = 0;
  // Ends the program with `exitCode` (0 after a close, 1 after a run-time error). The
  // main window decides when; the view only does it.
  virtual void exitProgram(int /*exitCode*/) {}
};

}  // namespace np
