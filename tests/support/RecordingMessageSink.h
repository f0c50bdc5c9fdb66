#pragma once
#include <string>
#include <vector>

#include "base/Ui.h"

namespace np::test {

// Records messages instead of showing them.
class RecordingMessageSink : public MessageSink {
 public:
  void showMessage(const std::string& text) override { messages.push_back(text); }
  std::vector<std::string> messages;
};

}  // namespace np::test
