#pragma once
// Message boxes of the programs without a window: printed as "message: <text>" (and
// flushed at once) and answered with OK at once; kept in order when a record is given.
#include <ostream>
#include <string>
#include <vector>

#include "base/Ui.h"

namespace np {

class PrintingMessageSink : public MessageSink {
 public:
  explicit PrintingMessageSink(std::ostream& err) : err_(err) {}
  PrintingMessageSink(std::ostream& err, std::vector<std::string>& record) : err_(err), record_(&record) {}
  void showMessage(const std::string& text) override {
    err_ << "message: " << text << std::endl;
    if (record_) record_->push_back(text);
  }

 private:
  std::ostream& err_;
  std::vector<std::string>* record_ = nullptr;
};

}  // namespace np
