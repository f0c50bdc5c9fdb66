// The Windows main window over the test world: the whole program on the simulated
// observatory in a fresh temporary folder, in-process, on the world's manual clock (a
// run goes through simulated time as fast as it can while the window stays live). For
// looking at the window, trying it by hand, and screenshots:
//
//   nightpick-testworld [--prefs] [--rects FILE] [--close-after SECONDS]
//
// --prefs opens the preferences dialog once the main window shows; --rects writes the
// screen rectangles of the main window and, once it is open, of the dialog to FILE
// ("main-window L T R B", "prefs-dialog L T R B"); --close-after closes every window after that long.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/win32/MainWindow.h"
#include "base/win32/Win32MessageSink.h"
#include "night/win32/Win32EventPump.h"
#include "support/TestWorld.h"

namespace {

std::string rectsFile;

void writeRect(const char* name, HWND window) {
  if (rectsFile.empty()) return;
  RECT r{};
  GetWindowRect(window, &r);
  if (FILE* f = std::fopen(rectsFile.c_str(), "a")) {
    std::fprintf(f, "%s %ld %ld %ld %ld\n", name, r.left, r.top, r.right, r.bottom);
    std::fclose(f);
  }
}

// Writes the dialog's rectangle once it has opened (the timer runs in its modal loop).
void CALLBACK watchDialog(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = FindWindowW(L"#32770", L"Preferences");
  if (!dialog || !IsWindowVisible(dialog)) return;
  KillTimer(nullptr, id);
  writeRect("prefs-dialog", dialog);
}

void CALLBACK closeAll(HWND, UINT, UINT_PTR, DWORD) {
  if (HWND dialog = FindWindowW(L"#32770", L"Preferences")) PostMessageW(dialog, WM_CLOSE, 0, 0);
  if (HWND main = FindWindowW(L"frmMain", L"Nightpick")) PostMessageW(main, WM_CLOSE, 0, 0);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
  bool openPrefs = false;
  int closeAfter = 0;
  for (int i = 1; i < __argc; ++i) {
    const std::string arg = __argv[i];
    if (arg == "--prefs") openPrefs = true;
    else if (arg == "--rects" && i + 1 < __argc) rectsFile = __argv[++i];
    else if (arg == "--close-after" && i + 1 < __argc) closeAfter = std::atoi(__argv[++i]);
  }
  if (!rectsFile.empty()) std::remove(rectsFile.c_str());
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  np::test::TestWorld world("", 1717268400.0);  // noon at the default site
  np::Win32MessageSink messages;                 // real message boxes
  np::Win32EventPump windowEvents("nightpick-testworldEvents");
  // The world's simulated waits; its event processing dispatches the window's messages.
  world.user = [&] { windowEvents.DoEvents(); };
  np::Platform platform{*world.host, world.ephemeris, world.files, world.clock, messages, world.pump,
                        np::NumberLocale{}, world.dir.file("nightpick")};
  np::frmMain form(platform);
  form.Form_Load();
  np::Win32MainWindow window(form);
  messages.setMainWindow(window.hwnd());
  window.show(showCommand == SW_SHOWDEFAULT ? SW_SHOWNORMAL : showCommand);
  writeRect("main-window", window.hwnd());
  if (openPrefs) {
    SetTimer(nullptr, 0, 50, watchDialog);
    PostMessageW(window.control(np::Win32MainWindow::kPrefsButton), BM_CLICK, 0, 0);
  }
  if (closeAfter > 0) SetTimer(nullptr, 0, static_cast<UINT>(closeAfter) * 1000, closeAll);
  const int code = windowEvents.RunMessageLoop();
  world.user = nullptr;
  return code;
}
