#pragma once
// What the tests of the Windows views share: the main window (app/win32) built on the
// test world as the start-up routine builds it, its host objects those of the fake host
// answering as the world's (counting the calls the stop buttons make), and the program's
// exits recorded. The world's
// user dispatches the thread's window messages at every event processing of the
// program, then does `duringRun` once, if it is set.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/win32/MainWindow.h"
#include "night/win32/Win32EventPump.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"
#include "support/TestText.h"
#include "support/TestWorld.h"

namespace np::test {

// 2024-06-01 19:00 UTC: noon at the default site (UTC-7), so a run starts by day.
inline constexpr double kWin32StartUnix = 1717268400.0;

class Win32World : public TestWorld {
 public:
  explicit Win32World(NumberLocale locale = {}, const std::string* configText = nullptr)
      : TestWorld("", kWin32StartUnix, locale) {
    fakeHost.answerAs(*host);
    if (configText) writeFileBytes(configPath(), *configText);
    wireMain(fakeHost, files);
    main->Form_Load();
    window = std::make_unique<Win32MainWindow>(*main);
    window->setExitHandler([this](int code) {
      exitCodes.push_back(code);
      runningAtExit.push_back(main->running());
    });
    user = [this] {
      windowEvents.DoEvents();
      if (duringRun) {
        auto action = std::move(duringRun);
        duringRun = nullptr;
        action();
      }
    };
  }
  ~Win32World() {
    user = nullptr;
    window.reset();
    main.reset();
    platform.reset();
  }

  HWND hwnd() const { return window->hwnd(); }
  HWND control(int id) const { return window->control(id); }
  // The host's utility object as frmMain reaches it, counting the calls of each member.
  FakeUtil& hostUtil() { return fakeHost.util; }

  // Shows the window, active, and lets it paint.
  void show() {
    window->show(SW_SHOWNORMAL);
    SetForegroundWindow(hwnd());
    windowEvents.DoEvents();
  }
  // A press of a button as the mouse makes it (BM_CLICK); returns when its handler has.
  static void click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

  FakeHost fakeHost;  // the world's simulated observatory behind the fake host
  std::unique_ptr<Win32MainWindow> window;
  Win32EventPump windowEvents{"Win32WorldTimer"};
  std::function<void()> duringRun;
  std::vector<int> exitCodes;       // every program exit the window asked for
  std::vector<bool> runningAtExit;  // whether a run was still in progress at each
};

// A rectangle of `control` in its parent's client coordinates.
RECT rectOf(HWND control);
// Runs `action` from a thread timer as soon as a visible window of this thread titled
// `title` exists, other than `except` (the modal loop that shows it dispatches the
// timer), then returns. The result tells whether the window was found before `start`
// returned.
bool whenWindowOpens(const wchar_t* title, const std::function<void(HWND)>& action, const std::function<void()>& start,
                     HWND except = nullptr);
// The controls in keyboard order from `first`, as Tab moves (GetNextDlgTabItem).
std::vector<int> tabOrder(HWND window, HWND first);

}  // namespace np::test
