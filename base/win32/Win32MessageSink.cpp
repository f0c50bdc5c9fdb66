#include "base/win32/Win32MessageSink.h"

namespace np {

HWND Win32MessageSink::ownerNow() const {
  HWND main = main_ && IsWindow(main_) ? main_ : nullptr;
  // A modal dialog of this thread that the user is working in (the main window is
  // disabled behind it).
  HWND active = GetActiveWindow();
  if (active && active != main && IsWindowEnabled(active) && main && GetWindow(active, GW_OWNER) == main)
    return active;
  return main;
}

void Win32MessageSink::showMessage(const std::string& text) {
  MessageBoxA(ownerNow(), text.c_str(), "Nightpick", MB_OK);
}

}  // namespace np
