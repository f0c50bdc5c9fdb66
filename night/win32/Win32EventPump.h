#pragma once
// The Windows program's event processing and responsive wait (modTimer): a named
// manual-reset waitable timer and a message wait, so the thread sleeps in the system
// and wakes only for window input or for the timer.
#include <string>

#include <windows.h>

#include "base/Ui.h"

namespace np {

// "<executable name without its extension>Timer" for the path of the running
// executable (either separator), e.g. "C:\Nightpick\nightpick.exe" -> "nightpickTimer".
std::string waitTimerNameFor(const std::string& executablePath);

class Win32EventPump : public EventPump {
 public:
  // The timer's name from the running executable's file name.
  Win32EventPump();
  explicit Win32EventPump(std::string timerName) : timerName_(std::move(timerName)) {}

  // Dispatches every message waiting in the thread's queue (keyboard navigation of the
  // thread's windows through IsDialogMessage) and returns when the queue is empty. A
  // WM_QUIT ends the pass; it is kept (quitSeen) for RunMessageLoop, not put back, so a
  // wait that follows still sleeps.
  void DoEvents() override;

  // Creates the named timer, arms it at -(seconds x 10,000,000) (period 0, resume),
  // waits with MsgWaitForMultipleObjects (wake mask 0xFF) and processes events after
  // every wake until the timer has fired, processes events once more and closes the
  // timer. Zero or negative seconds fire at once. When a timer call or the message wait
  // fails, the rest of the wait is a plain sleep followed by one pass of event
  // processing.
  void WaitSeconds(int seconds) override;

  // The program's message loop: dispatches as DoEvents does until WM_QUIT, whether it
  // arrives here or was taken from the queue inside a handler; returns its exit code.
  int RunMessageLoop();

  const std::string& timerName() const { return timerName_; }
  bool quitSeen() const { return quitSeen_; }

 private:
  void dispatch(MSG& msg);

  std::string timerName_;
  bool quitSeen_ = false;
  int quitCode_ = 0;
};

}  // namespace np
