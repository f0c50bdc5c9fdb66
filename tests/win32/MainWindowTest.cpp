// The Windows main window on the test world: its layout at the screen's logical
// resolution, captions, keyboard order, states, the stop buttons, the About box, the
// status line during a run, run-time errors and closing.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "Version.h"
#include "app/MainWindowLayout.h"
#include "base/win32/Controls.h"
#include "base/win32/Twips.h"
#include "base/win32/WinText.h"
#include "win32/Win32World.h"

using namespace np;
using namespace np::test;
using W = Win32MainWindow;
using L = MainWindowLayout;

namespace {

// The buttons of the layout and their identifiers in the window.
const struct {
  int id;
  const L::Button& layout;
} kButtons[] = {{W::kStartButton, L::kStartButton},
                {W::kStopAndAbortButton, L::kStopAndAbortButton},
                {W::kStopButton, L::kStopButton},
                {W::kPrefsButton, L::kPrefsButton},
                {W::kAbout, L::kAbout}};

bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
std::string show(const RECT& r) {
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "(" + std::string.
  std::string text = "(";
  text += std::to_string(r.left);
  text += ',';
  text += std::to_string(r.top);
  text += ' ';
  text += std::to_string(widthOf(r));
  text += 'x';
  text += std::to_string(heightOf(r));
  text += ')';
  return text;
}

bool enabled(Win32World& w, int id) { return IsWindowEnabled(w.control(id)) != FALSE; }

}  // namespace

TEST(Win32MainWindow, LayoutMatchesTheDesignTableInTwips) {
  Win32World program;
  const TwipsScale s = TwipsScale::ofScreen();
  RECT client{};
  GetClientRect(program.hwnd(), &client);
  EXPECT_EQ(widthOf(client), s.x(L::kClientWidth));
  EXPECT_EQ(heightOf(client), s.y(L::kClientHeight));

  static_assert(std::size(kButtons) == L::kButtons.size(), "every button of the layout");
  for (const auto& b : kButtons)
    EXPECT_TRUE(rectOf(program.control(b.id)) == s.rect(b.layout.rect))
        << b.layout.name << ": " << show(rectOf(program.control(b.id)));

  // The lines are one pixel high, from their start point to their end point.
  for (const auto& [id, line] : {std::pair{W::kLine1, L::kLine1}, std::pair{W::kLine2, L::kLine2}})
    EXPECT_TRUE(rectOf(program.control(id)) == (RECT{s.x(line.from.x), s.y(line.from.y), s.x(line.to.x),
                                                     s.y(line.from.y) + 1}))
        << line.name << ": " << show(rectOf(program.control(id)));

  // The status bar is docked: flush with the bottom edge, over the full width.
  const RECT bar = rectOf(program.control(W::kStatusBar));
  EXPECT_EQ(bar.bottom, client.bottom);
  EXPECT_EQ(bar.left, 0);
  EXPECT_EQ(bar.right, client.right);
  EXPECT_EQ(heightOf(bar), s.y(L::kStatusBar.rect.height));

  // At the common 96 dots per inch every measure is a whole number of pixels.
  if (s.dpiX() == 96 && s.dpiY() == 96) {
    EXPECT_TRUE(client == (RECT{0, 0, 347, 203}));
    EXPECT_TRUE(rectOf(program.control(W::kStartButton)) == (RECT{24, 24, 24 + 137, 24 + 73}));
    EXPECT_TRUE(rectOf(program.control(W::kStopAndAbortButton)) == (RECT{192, 24, 192 + 129, 24 + 33}));
    EXPECT_TRUE(rectOf(program.control(W::kStopButton)) == (RECT{192, 64, 192 + 129, 64 + 33}));
    EXPECT_TRUE(rectOf(program.control(W::kPrefsButton)) == (RECT{16, 128, 16 + 81, 128 + 33}));
    EXPECT_TRUE(rectOf(program.control(W::kAbout)) == (RECT{272, 128, 272 + 65, 128 + 33}));
    EXPECT_TRUE(rectOf(program.control(W::kLine1)) == (RECT{8, 112, 336, 113}));
    EXPECT_TRUE(bar == (RECT{0, 178, 347, 203}));
  }
  // A fixed size: no sizing border, no maximize box.
  const LONG style = GetWindowLongW(program.hwnd(), GWL_STYLE);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
}

TEST(Win32MainWindow, CaptionsAreReadableInFull) {
  Win32World program;
  EXPECT_EQ(windowTextOf(program.hwnd()), "Nightpick");
  for (const auto& b : kButtons) {
    HWND button = program.control(b.id);
    EXPECT_EQ(windowTextOf(button), b.layout.caption);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr) << b.layout.caption;
    EXPECT_LE(captionWidth(button, font), captionRoom(button)) << b.layout.caption;
  }
  // Five push buttons and nothing else that takes the focus.
  int buttonCount = 0, tabStops = 0;
  for (HWND c = GetWindow(program.hwnd(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[32] = {};
    GetClassNameW(c, cls, 32);
    if (_wcsicmp(cls, L"Button") == 0) ++buttonCount;
    if (GetWindowLongW(c, GWL_STYLE) & WS_TABSTOP) ++tabStops;
  }
  EXPECT_EQ(buttonCount, 5);
  EXPECT_EQ(tabStops, 5);
}

TEST(Win32MainWindow, TabOrderFollowsTheTabIndex) {
  Win32World program;
  // Tab skips disabled controls: with every button enabled, the whole order shows.
  for (int id : {W::kStopButton, W::kStopAndAbortButton}) EnableWindow(program.control(id), TRUE);
  EXPECT_EQ(tabOrder(program.hwnd(), program.control(W::kStartButton)),
            (std::vector<int>{W::kStartButton, W::kStopButton, W::kAbout, W::kPrefsButton, W::kStopAndAbortButton}));
}

TEST(Win32MainWindow, TabKeyMovesTheFocusPastDisabledButtons) {
  Win32World program;
  program.show();
  ASSERT_EQ(GetFocus(), program.control(W::kStartButton));
  // The key as the keyboard delivers it, through the program's event processing.
  PostMessageW(program.control(W::kStartButton), WM_KEYDOWN, VK_TAB, 0);
  PostMessageW(program.control(W::kStartButton), WM_KEYUP, VK_TAB, 0);
  program.windowEvents.DoEvents();
  EXPECT_EQ(GetFocus(), program.control(W::kAbout));  // Stop is disabled
}

TEST(Win32MainWindow, StartsStopped) {
  Win32World program;
  EXPECT_TRUE(enabled(program, W::kStartButton));
  EXPECT_FALSE(enabled(program, W::kStopButton));
  EXPECT_FALSE(enabled(program, W::kStopAndAbortButton));
  EXPECT_TRUE(enabled(program, W::kPrefsButton));
  EXPECT_TRUE(enabled(program, W::kAbout));
  EXPECT_EQ(program.window->statusBarText(), "Nightpick stopped");
  // One text in simple mode.
  EXPECT_TRUE(SendMessageW(program.control(W::kStatusBar), SB_ISSIMPLE, 0, 0));
  EXPECT_FALSE(program.main->running());
  // Loading read no file and wrote none.
  EXPECT_FALSE(fileExistsAt(program.configPath()));
}

TEST(Win32MainWindow, StopButtonOnlyAsksToStop) {
  Win32World program;
  // While stopped the window never enables the button; pressing it anyway (as the
  // handler allows) must only change the status text.
  HWND stop = program.control(W::kStopButton);
  EnableWindow(stop, TRUE);
  const int scriptActiveBefore = program.hostUtil().members.ScriptActive.calls;
  Win32World::click(stop);
  EXPECT_EQ(program.window->statusBarText(), "Nightpick stopping");
  EXPECT_TRUE(program.main->stopFlag);
  EXPECT_TRUE(enabled(program, W::kStartButton));
  EXPECT_TRUE(enabled(program, W::kStopButton));
  EXPECT_FALSE(enabled(program, W::kStopAndAbortButton));
  EXPECT_EQ(program.hostUtil().members.ScriptActive.calls, scriptActiveBefore);
  EXPECT_EQ(program.hostUtil().members.AbortScript.calls, 0);
  EXPECT_TRUE(program.messages.messages.empty());
  EXPECT_TRUE(program.exitCodes.empty());
}

TEST(Win32MainWindow, StopAndAbortAbortsOnlyARunningScript) {
  for (bool scriptRunning : {false, true}) {
    SCOPED_TRACE(scriptRunning ? "script running" : "host idle");
    Win32World program;
    IUtil& util = *program.main->util;
    if (scriptRunning) {
      ASSERT_TRUE(program.startHostScript("Polaris\t02:31:49\t+89:15:51\r\n"));
    }
    program.hostUtil().members.ScriptActive.calls = 0;
    HWND button = program.control(W::kStopAndAbortButton);
    EnableWindow(button, TRUE);
    Win32World::click(button);
    EXPECT_EQ(program.window->statusBarText(), "Nightpick and ACP stopping");
    EXPECT_TRUE(program.main->stopFlag);
    EXPECT_EQ(program.hostUtil().members.ScriptActive.calls, 1);
    EXPECT_EQ(program.hostUtil().members.AbortScript.calls, scriptRunning ? 1 : 0);
    EXPECT_FALSE(util.ScriptActive());
    // No button changes state.
    EXPECT_TRUE(enabled(program, W::kStartButton));
    EXPECT_FALSE(enabled(program, W::kStopButton));
    EXPECT_TRUE(program.exitCodes.empty());
  }
}

TEST(Win32MainWindow, AboutShowsTheVersion) {
  Win32World program;
  Win32World::click(program.control(W::kAbout));
  ASSERT_EQ(program.messages.messages.size(), 1u);
  const std::string& text = program.messages.messages[0];
  EXPECT_EQ(text, program.main->aboutText());
  EXPECT_EQ(text.rfind("Nightpick", 0), 0u);
  const std::string version = " - Version 1.3.0";
  ASSERT_GT(text.size(), version.size());
  EXPECT_EQ(text.substr(text.size() - version.size()), version);
  EXPECT_EQ(program.window->statusBarText(), "Nightpick stopped");
}

TEST(Win32MainWindow, RunTimeErrorInAHandlerEndsTheProgram) {
  Win32World program;
  program.hostUtil().members.ScriptActive.answer = []() -> bool {
    throw RunTimeError("ScriptActive: the host does not answer");
  };
  HWND button = program.control(W::kStopAndAbortButton);
  EnableWindow(button, TRUE);
  Win32World::click(button);
  EXPECT_EQ(program.messages.messages,
            std::vector<std::string>{"Run-time error: ScriptActive: the host does not answer"});
  EXPECT_EQ(program.exitCodes, std::vector<int>{1});
  EXPECT_FALSE(fileExistsAt(program.configPath()));  // nothing was saved
}

TEST(Win32MainWindow, CloseSavesTheSettingsAndQuits) {
  Win32World program;
  program.show();
  ASSERT_TRUE(IsWindowVisible(program.hwnd()));
  SendMessageW(program.hwnd(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(program.hwnd()));
  EXPECT_EQ(readFileBytes(program.configPath()), kDefaultConfigText);
  EXPECT_TRUE(program.main->stopFlag);
  EXPECT_EQ(program.exitCodes, std::vector<int>{0});
  EXPECT_TRUE(program.messages.messages.empty());
}

TEST(Win32MainWindow, CloseUnloadsTheOtherWindows) {
  Win32World program;
  program.show();
  HWND other = CreateWindowExW(0, L"STATIC", L"another window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(other, nullptr);
  SendMessageW(program.hwnd(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(other));  // closed, and with it destroyed
  EXPECT_EQ(program.exitCodes, std::vector<int>{0});
}

TEST(Win32MainWindow, FailedSaveAtCloseIsARunTimeError) {
  Win32World program;
  // A folder where config.ini should be: the settings cannot be saved.
  ASSERT_TRUE(CreateDirectoryW(wideFromAnsi(program.configPath()).c_str(), nullptr));
  program.show();
  SendMessageW(program.hwnd(), WM_CLOSE, 0, 0);
  ASSERT_EQ(program.messages.messages.size(), 1u);
  EXPECT_EQ(program.messages.messages[0].rfind("Run-time error: ", 0), 0u);
  EXPECT_EQ(program.exitCodes, std::vector<int>{1});
}

TEST(Win32MainWindow, RunShowsItsStateAndStatusAndEndsOnStop) {
  Win32World program;
  program.show();
  bool runningState = false;
  std::string statusDuringRun, formStatusDuringRun, statusAfterClick;
  bool buttonsUnchanged = false;
  program.duringRun = [&] {
    runningState = program.main->running() && !enabled(program, W::kStartButton) &&
                   enabled(program, W::kStopButton) && enabled(program, W::kStopAndAbortButton) &&
                   enabled(program, W::kPrefsButton) && enabled(program, W::kAbout);
    statusDuringRun = program.window->statusBarText();
    formStatusDuringRun = program.main->statusText();
    Win32World::click(program.control(W::kStopButton));
    statusAfterClick = program.window->statusBarText();
    buttonsUnchanged = !enabled(program, W::kStartButton) && enabled(program, W::kStopButton) &&
                       enabled(program, W::kStopAndAbortButton);
  };
  Win32World::click(program.control(W::kStartButton));
  EXPECT_TRUE(runningState);
  // The status bar shows what frmMain said last before the user acted.
  EXPECT_FALSE(statusDuringRun.empty());
  EXPECT_NE(statusDuringRun, "Nightpick stopped");
  EXPECT_EQ(statusDuringRun, formStatusDuringRun);
  EXPECT_EQ(statusAfterClick, "Nightpick stopping");
  EXPECT_TRUE(buttonsUnchanged);
  // The run noticed the request and restored the stopped state.
  EXPECT_FALSE(program.main->running());
  EXPECT_EQ(program.window->statusBarText(), "Nightpick stopped");
  EXPECT_TRUE(enabled(program, W::kStartButton));
  EXPECT_FALSE(enabled(program, W::kStopButton));
  EXPECT_FALSE(enabled(program, W::kStopAndAbortButton));
  EXPECT_TRUE(program.exitCodes.empty());
  EXPECT_TRUE(program.messages.messages.empty());
  // The focus left the start button when it was disabled, and is on an enabled control.
  HWND focus = GetFocus();
  EXPECT_TRUE(focus == nullptr || IsWindowEnabled(focus));
}

TEST(Win32MainWindow, CloseDuringARunExitsWhenTheRunEnds) {
  Win32World program;
  program.show();
  bool goneAtOnce = false, exitedEarly = true;
  program.duringRun = [&] {
    SendMessageW(program.hwnd(), WM_CLOSE, 0, 0);
    goneAtOnce = !IsWindowVisible(program.hwnd());
    exitedEarly = !program.exitCodes.empty();
  };
  Win32World::click(program.control(W::kStartButton));
  EXPECT_TRUE(goneAtOnce);
  EXPECT_FALSE(exitedEarly);
  EXPECT_FALSE(program.main->running());
  EXPECT_EQ(program.exitCodes, std::vector<int>{0});
  EXPECT_EQ(program.runningAtExit, std::vector<bool>{false});
  EXPECT_EQ(readFileBytes(program.configPath()), kDefaultConfigText);
  EXPECT_TRUE(program.messages.messages.empty());
}
