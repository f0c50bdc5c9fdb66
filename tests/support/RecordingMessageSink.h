#pragma once
#include <functional>
#include <string>
#include <vector>

#include "base/Ui.h"

namespace np::test {

// Records messages instead of showing them.
class RecordingMessageSink : public MessageSink {
 public:
  void showMessage(const std::string& text) override {
    if (onMessage) onMessage(text);
    messages.push_back(text);
  }
  std::vector<std::string> messages;
  // Runs as each message is shown, before it is recorded.
  std::function<void(const std::string&)> onMessage;
};

}  // namespace np::test
