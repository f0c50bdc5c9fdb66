#pragma once
// The tests' one event pump: for units that take an EventPump but no clock. Whole
// programs run on the program's own SimulatedEventPump instead (see TestWorld).
#include <functional>

#include "base/Ui.h"

namespace np::test {

// Counts DoEvents calls and runs `onDoEvents` (with the call's number, from 1) in each,
// as the window's handlers would run there. A wait returns at once.
class ScriptedEvents : public EventPump {
 public:
  void DoEvents() override {
    ++calls;
    if (onDoEvents) onDoEvents(calls);
  }
  void WaitSeconds(int) override {}
  int calls = 0;
  std::function<void(int)> onDoEvents;
};

}  // namespace np::test
