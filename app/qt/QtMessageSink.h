#pragma once
// The windowed program's message boxes.
#include <string>

#include "base/Ui.h"

namespace np {

// A modal box with an OK button only, no icon and the title "Nightpick"; showMessage
// returns when the user has closed it. The text is shown as plain text.
class QtMessageSink : public MessageSink {
 public:
  void showMessage(const std::string& text) override;
};

}  // namespace np
