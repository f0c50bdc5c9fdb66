#pragma once
// The Windows program's message boxes.
#include <string>

#include <windows.h>

#include "base/Ui.h"

namespace np {

// MessageBoxA with an OK button only, no icon and the title "Nightpick"; showMessage
// returns when the user has closed the box. The box is owned by the main window, or by
// the program's modal dialog while that is the active window (a message about the
// dialog's own input), so the box is modal to the window the user is working in.
class Win32MessageSink : public MessageSink {
 public:
  void setMainWindow(HWND window) { main_ = window; }
  HWND mainWindow() const { return main_; }
  void showMessage(const std::string& text) override;

  // The window that owns a box shown now.
  HWND ownerNow() const;

 private:
  HWND main_ = nullptr;
};

}  // namespace np
