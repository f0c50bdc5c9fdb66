// The Windows preferences dialog as the user meets it: opened from the main window,
// edited, and closed by OK, Cancel, Esc or its close box; what reaches the settings and
// config.ini, and the messages about text that does not convert.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "base/win32/Controls.h"
#include "base/win32/Twips.h"
#include "base/win32/WinText.h"
#include "settings/PrefsDialogLayout.h"
#include "settings/win32/PrefsDialog.h"
#include "win32/Win32World.h"

using namespace np;
using namespace np::test;
using Ids = PrefsDialogIds;
using L = PrefsDialogLayout;

namespace {

bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string text(HWND dialog, int id) { return windowTextOf(GetDlgItem(dialog, id)); }
void setText(HWND dialog, int id, const std::string& t) { setWindowTextOf(GetDlgItem(dialog, id), t); }
void click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
// A key as the keyboard delivers it to the focused control, through the dialog's loop.
void postKey(HWND control, WPARAM key) {
  PostMessageW(control, WM_KEYDOWN, key, 1);
  PostMessageW(control, WM_KEYUP, key, 0xC0000001);
}

// Presses PrefsButton and runs `interact` on the modal dialog once it is open. False if
// the dialog did not open, or was still open after `interact` and had to be closed.
bool withDialog(Win32World& program, const std::function<void(HWND)>& interact) {
  bool forced = false;
  const bool opened = whenWindowOpens(
      L"Preferences",
      [&](HWND dialog) {
        interact(dialog);
        if (IsWindow(dialog) && IsWindowVisible(dialog)) {
          forced = true;
          EndDialog(dialog, IDCANCEL);
        }
      },
      [&] { Win32World::click(program.control(Win32MainWindow::kPrefsButton)); });
  return opened && !forced;
}

// A dialog action that needs the dialog's own loop to run first (posted keys): done
// from a second timer tick, so the keys are dispatched by the modal loop in between.
// If the dialog's loop has ended before then, the action never runs: cancel() after the
// dialog has returned.
struct Later {
  static inline std::function<void()> action;
  static inline UINT_PTR timer = 0;
  static void CALLBACK tick(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    timer = 0;
    auto a = std::move(action);
    action = nullptr;
    if (a) a();
  }
  static void after(UINT ms, std::function<void()> a) {
    action = std::move(a);
    timer = SetTimer(nullptr, 0, ms, tick);
  }
  static void cancel() {
    if (timer) KillTimer(nullptr, timer);
    timer = 0;
    action = nullptr;
  }
};

}  // namespace

TEST(Win32PrefsDialog, LayoutFocusAndPlace) {
  Win32World program;
  SetWindowPos(program.hwnd(), nullptr, 300, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  program.show();
  RECT mainFrame{};
  GetWindowRect(program.hwnd(), &mainFrame);
  const TwipsScale s = TwipsScale::ofScreen();
  bool mainDisabled = false;
  EXPECT_TRUE(withDialog(program, [&](HWND d) {
    EXPECT_EQ(windowTextOf(d), "Preferences");
    RECT client{};
    GetClientRect(d, &client);
    EXPECT_EQ(widthOf(client), s.x(L::kClientWidth));
    EXPECT_EQ(heightOf(client), s.y(L::kClientHeight));
    EXPECT_FALSE(GetWindowLongW(d, GWL_STYLE) & WS_THICKFRAME);
    mainDisabled = !IsWindowEnabled(program.hwnd());  // modal: the main window takes no input
    EXPECT_EQ(GetWindow(d, GW_OWNER), program.hwnd());

    // Every control where the layout has it, those in Frame1 relative to the frame.
    const RECT frame = s.rect(L::kFrame1.rect);
    const struct {
      int id;
      const L::Control& layout;
    } controls[] = {
        {Ids::kLabel1, L::kLabel1},
        {Ids::kFocusIntervalText, L::kFocusIntervalText},
        {Ids::kCmdOK, L::kCmdOK},
        {Ids::kCmdCancel, L::kCmdCancel},
        {Ids::kLabel2, L::kLabel2},
        {Ids::kSunElevText, L::kSunElevText},
        {Ids::kFrame1, L::kFrame1},
        {Ids::kLabel6, L::kLabel6},
        {Ids::kMaxElevationText, L::kMaxElevationText},
        {Ids::kLabel7, L::kLabel7},
        {Ids::kMinAzimuthText, L::kMinAzimuthText},
        {Ids::kLabel8, L::kLabel8},
        {Ids::kMaxAzimuthText, L::kMaxAzimuthText},
    };
    static_assert(std::size(controls) == L::kControls.size(), "every control of the layout");
    for (const auto& c : controls) {
      HWND w = GetDlgItem(d, c.id);
      ASSERT_NE(w, nullptr) << c.layout.name;
      RECT expected = s.rect(c.layout.rect);
      if (c.layout.inFrame) OffsetRect(&expected, frame.left, frame.top);  // relative to the frame
      EXPECT_TRUE(rectOf(w) == expected) << c.layout.name;
      if (!c.layout.caption) continue;
      EXPECT_EQ(windowTextOf(w), c.layout.caption);
      const auto font = reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0));
      EXPECT_LE(captionWidth(w, font), captionRoom(w)) << c.layout.caption;  // readable in full
    }

    // The focus starts in the interval box and Tab goes in the design's order.
    EXPECT_EQ(GetFocus(), GetDlgItem(d, Ids::kFocusIntervalText));
    EXPECT_EQ(tabOrder(d, GetDlgItem(d, Ids::kFocusIntervalText)),
              (std::vector<int>{Ids::kFocusIntervalText, Ids::kCmdOK, Ids::kCmdCancel, Ids::kSunElevText,
                                Ids::kMaxElevationText, Ids::kMinAzimuthText, Ids::kMaxAzimuthText}));
    // Neither button is a default button.
    for (int id : {Ids::kCmdOK, Ids::kCmdCancel})
      EXPECT_FALSE(SendMessageW(GetDlgItem(d, id), WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) << id;
    EXPECT_EQ(GetDlgItem(d, IDOK), nullptr);

    // Centred on its owner.
    RECT r{};
    GetWindowRect(d, &r);
    EXPECT_LE(std::abs((r.left + r.right) - (mainFrame.left + mainFrame.right)), 2);
    EXPECT_LE(std::abs((r.top + r.bottom) - (mainFrame.top + mainFrame.bottom)), 2);
    click(d, Ids::kCmdCancel);
  }));
  EXPECT_TRUE(mainDisabled);
  EXPECT_TRUE(IsWindowEnabled(program.hwnd()));
}

TEST(Win32PrefsDialog, BoxesShowTheSettingsInTheLocalesForm) {
  for (char separator : {'.', ','}) {
    SCOPED_TRACE(std::string(1, separator));
    Win32World program(NumberLocale{separator});
    program.main->settings.maxElevation = 75.5f;
    program.main->settings.sunElev = -12.25f;
    EXPECT_TRUE(withDialog(program, [&](HWND d) {
      const std::string sep(1, separator);
      EXPECT_EQ(text(d, Ids::kFocusIntervalText), "30");
      EXPECT_EQ(text(d, Ids::kMaxElevationText), "75" + sep + "5");
      EXPECT_EQ(text(d, Ids::kMinAzimuthText), "0");
      EXPECT_EQ(text(d, Ids::kMaxAzimuthText), "360");
      EXPECT_EQ(text(d, Ids::kSunElevText), "-12" + sep + "25");
      setText(d, Ids::kSunElevText, "-12" + sep + "5");
      click(d, Ids::kCmdOK);
    }));
    EXPECT_EQ(program.main->settings.sunElev, -12.5f);
    EXPECT_EQ(program.main->settings.maxElevation, 75.5f);
    // The file always has a point.
    EXPECT_NE(readFileBytes(program.configPath()).find("sunElev,-12.5\r\n"), std::string::npos);
  }
}

TEST(Win32PrefsDialog, EveryWayOfClosingButOkKeepsTheSettingsAndRewritesTheFile) {
  // The same values with LF line ends: a rewrite is visible in the bytes.
  const std::string lfConfig =
      "lastFocusJD,0\nfocusInterval,30\nbaseDir,C:\\Astronomy\\Nightpick\\\nmaxElevation,90\nminAzimuth,0\n"
      "maxAzimuth,360\nsunElev,-18\n";
  const struct {
    const char* how;
    std::function<void(HWND)> close;
  } ways[] = {
      {"Cancel", [](HWND d) { click(d, Ids::kCmdCancel); }},
      {"Esc", [](HWND d) { postKey(GetDlgItem(d, Ids::kSunElevText), VK_ESCAPE); }},
      {"close box", [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.how);
    Win32World program(NumberLocale{}, &lfConfig);
    const Settings before = program.main->settings;
    HWND dialog = nullptr;
    bool forced = false;
    const bool opened = whenWindowOpens(
        L"Preferences",
        [&](HWND d) {
          dialog = d;
          for (int id : {Ids::kFocusIntervalText, Ids::kMaxElevationText, Ids::kMinAzimuthText, Ids::kMaxAzimuthText,
                         Ids::kSunElevText})
            setText(d, id, "7");
          SetFocus(GetDlgItem(d, Ids::kSunElevText));
          way.close(d);
          // Posted input is handled by the dialog's loop; a dialog still open a little
          // later did not close.
          Later::after(1000, [&forced, d] {
            forced = true;
            EndDialog(d, IDCANCEL);
          });
        },
        [&] { Win32World::click(program.control(Win32MainWindow::kPrefsButton)); });
    Later::cancel();
    EXPECT_TRUE(opened);
    EXPECT_FALSE(forced);
    EXPECT_FALSE(IsWindow(dialog));  // destroyed when it closed
    EXPECT_TRUE(program.main->settings == before);
    EXPECT_EQ(readFileBytes(program.configPath()), kDefaultConfigText);
    EXPECT_TRUE(program.messages.messages.empty());
  }
}

TEST(Win32PrefsDialog, EnterInABoxDoesNotPressOk) {
  Win32World program;
  bool stillOpen = false;
  const bool opened = whenWindowOpens(
      L"Preferences",
      [&](HWND d) {
        setText(d, Ids::kFocusIntervalText, "45");
        SetFocus(GetDlgItem(d, Ids::kFocusIntervalText));
        postKey(GetDlgItem(d, Ids::kFocusIntervalText), VK_RETURN);
        Later::after(300, [&stillOpen, d] {
          stillOpen = IsWindow(d) && IsWindowVisible(d);
          if (IsWindow(d)) click(d, Ids::kCmdCancel);
        });
      },
      [&] { Win32World::click(program.control(Win32MainWindow::kPrefsButton)); });
  Later::cancel();
  EXPECT_TRUE(opened);
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(program.main->settings.focusInterval, 30);
}

TEST(Win32PrefsDialog, OkTakesTheTypedIntervalOver) {
  Win32World program;
  EXPECT_TRUE(withDialog(program, [](HWND d) {
    HWND interval = GetDlgItem(d, Ids::kFocusIntervalText);
    SendMessageW(interval, EM_SETSEL, 0, -1);
    SendMessageW(interval, WM_CHAR, '4', 1);
    SendMessageW(interval, WM_CHAR, '5', 1);
    click(d, Ids::kCmdOK);
    EXPECT_FALSE(IsWindowVisible(d));  // closed at once
  }));
  Settings expected;
  expected.focusInterval = 45;
  EXPECT_TRUE(program.main->settings == expected);
  std::string file = kDefaultConfigText;
  file.replace(file.find("focusInterval,30"), 16, "focusInterval,45");
  EXPECT_EQ(readFileBytes(program.configPath()), file);
}

TEST(Win32PrefsDialog, IntervalRoundsHalfToEvenAndAzimuthsAreTakenAsTyped) {
  const struct {
    const char* typed;
    int stored;
  } cases[] = {{"12.5", 12}, {"13.5", 14}, {"-0.4", 0}, {"32767", 32767}, {"-32768", -32768}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    Win32World program;
    EXPECT_TRUE(withDialog(program, [&](HWND d) {
      setText(d, Ids::kFocusIntervalText, c.typed);
      setText(d, Ids::kMinAzimuthText, "300");
      setText(d, Ids::kMaxAzimuthText, "60");
      click(d, Ids::kCmdOK);
    }));
    EXPECT_EQ(program.main->settings.focusInterval, c.stored);
    EXPECT_EQ(program.main->settings.minAzimuth, 300.0f);
    EXPECT_EQ(program.main->settings.maxAzimuth, 60.0f);
  }
}

TEST(Win32PrefsDialog, TextThatDoesNotConvertIsReportedAndKeepsTheDialogOpen) {
  const struct {
    int id;
    const char* typed;
    const char* message;
  } cases[] = {
      {Ids::kFocusIntervalText, "abc", "Autofocus interval in minutes: 'abc' is not a number"},
      {Ids::kFocusIntervalText, "40000", "Autofocus interval in minutes: '40000' is outside -32768 to 32767"},
      {Ids::kSunElevText, "", "Max Sun elevation: a number is required"},
      {Ids::kMaxAzimuthText, "1,5", "maximum Azimuth [Degrees]: '1,5' is not a number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    Win32World program;
    const Settings before = program.main->settings;
    EXPECT_TRUE(withDialog(program, [&](HWND d) {
      setText(d, Ids::kMaxElevationText, "80");
      setText(d, c.id, c.typed);
      click(d, Ids::kCmdOK);
      EXPECT_TRUE(IsWindowVisible(d));  // still open, with the user's text
      EXPECT_EQ(text(d, c.id), c.typed);
      ASSERT_EQ(program.messages.messages.size(), 1u);
      EXPECT_EQ(program.messages.messages[0], c.message);
      click(d, Ids::kCmdCancel);
    }));
    // Nothing was taken over, not even the box that did convert.
    EXPECT_TRUE(program.main->settings == before);
  }
}

TEST(Win32PrefsDialog, ReopeningShowsTheSettingsNotTheAbandonedText) {
  Win32World program;
  EXPECT_TRUE(withDialog(program, [](HWND d) {
    setText(d, Ids::kFocusIntervalText, "99");
    click(d, Ids::kCmdCancel);
  }));
  program.main->settings.maxElevation = 70.0f;
  EXPECT_TRUE(withDialog(program, [](HWND d) {
    EXPECT_EQ(text(d, Ids::kFocusIntervalText), "30");
    EXPECT_EQ(text(d, Ids::kMaxElevationText), "70");
    click(d, Ids::kCmdCancel);
  }));
}

TEST(Win32PrefsDialog, OpensDuringARunAndHoldsTheRunUntilClosed) {
  Win32World program;
  program.show();
  long long waitsWhileOpen = -1;
  program.duringRun = [&] {
    const long long before = program.pump.waits();
    EXPECT_TRUE(withDialog(program, [&](HWND d) {
      waitsWhileOpen = program.pump.waits() - before;
      setText(d, Ids::kSunElevText, "-12");
      click(d, Ids::kCmdOK);
    }));
    Win32World::click(program.control(Win32MainWindow::kStopButton));
  };
  Win32World::click(program.control(Win32MainWindow::kStartButton));
  EXPECT_EQ(waitsWhileOpen, 0);  // the loop did not go on while the dialog was open
  EXPECT_EQ(program.main->settings.sunElev, -12.0f);
  EXPECT_FALSE(program.main->running());
}
