#pragma once
// Message boxes of the headless runner: printed as "message: <text>" and answered with OK
// at once, and kept in order.
#include <ostream>
#include <string>
#include <vector>

#include "base/Ui.h"

namespace np {

class PrintingMessageSink : public MessageSink {
 public:
  PrintingMessageSink(std::ostream& err, std::vector<std::string>& record) : err_(err), record_(record) {}
  void showMessage(const std::string& text) override {
    err_ << "message: " << text << std::endl;
    record_.push_back(text);
  }

 private:
  std::ostream& err_;
  std::vector<std::string>& record_;
};

}  // namespace np
