// What the Windows start-up takes from the system: twips at the logical resolution, the
// decimal separator of the user's settings, and the message boxes.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "base/win32/Twips.h"
#include "base/win32/Win32MessageSink.h"
#include "base/win32/WinText.h"
#include "settings/win32/UserLocale.h"
#include "win32/Win32World.h"

using namespace np;
using namespace np::test;

TEST(Win32Twips, RoundToTheNearestPixelAtAnyResolution) {
  const struct {
    int twips, dpi, pixels;
  } cases[] = {
      {1440, 96, 96}, {5205, 96, 347}, {375, 96, 25},  {15, 96, 1},    {7, 96, 0},    {8, 96, 1},
      {5205, 120, 434}, {5205, 144, 521}, {375, 144, 38}, {2055, 192, 274}, {-15, 96, -1}, {0, 96, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(TwipsScale::toPixels(c.twips, c.dpi), c.pixels) << c.twips << "@" << c.dpi;
  // A rectangle keeps its rounded size wherever its edges round to.
  const RECT r = TwipsScale(120, 120).rect(2880, 960, 1935, 495);
  EXPECT_EQ(r.left, 240);
  EXPECT_EQ(r.top, 80);
  EXPECT_EQ(r.right - r.left, 161);
  EXPECT_EQ(r.bottom - r.top, 41);
  // The screen's logical resolution is what the system reports.
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(TwipsScale::ofScreen().dpiX(), GetDeviceCaps(screen, LOGPIXELSX));
  EXPECT_EQ(TwipsScale::ofScreen().dpiY(), GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
}

TEST(Win32UserLocale, DecimalSeparatorFromTheUsersSettings) {
  const struct {
    const wchar_t* sdecimal;
    char separator;
  } cases[] = {
      {L".", '.'}, {L",", ','}, {L"'", '\''}, {L"", '.'},       {L",,", '.'}, {L" ", '.'},
      {L"5", '.'}, {L"-", '.'}, {L"+", '.'},  {L"\u066B", '.'}, {L"E", '.'},
  };
  for (const auto& c : cases)
    EXPECT_EQ(numberLocaleFromDecimal(c.sdecimal).decimalSeparator, c.separator) << ansiFromWide(c.sdecimal);
  wchar_t buffer[8] = {};
  ASSERT_GT(GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 8), 0);
  EXPECT_EQ(userNumberLocale().decimalSeparator, numberLocaleFromDecimal(buffer).decimalSeparator);
}

namespace {

// What a message box showed, read from it while it is open.
struct SeenBox {
  std::string title, text;
  HWND owner = nullptr;
  int buttons = 0;
  bool okButton = false, icon = false;
};

SeenBox inspect(HWND box) {
  SeenBox seen;
  seen.title = windowTextOf(box);
  seen.owner = GetWindow(box, GW_OWNER);
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[32] = {};
    GetClassNameW(c, cls, 32);
    const LONG style = GetWindowLongW(c, GWL_STYLE);
    if (_wcsicmp(cls, L"Button") == 0 && IsWindowVisible(c)) {
      ++seen.buttons;
      if (GetDlgCtrlID(c) == IDOK && windowTextOf(c) == "OK") seen.okButton = true;
    }
    if (_wcsicmp(cls, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
      if (IsWindowVisible(c) && SendMessageW(c, STM_GETICON, 0, 0)) seen.icon = true;
    } else if (_wcsicmp(cls, L"Static") == 0 && seen.text.empty()) {
      seen.text = windowTextOf(c);
    }
  }
  return seen;
}

}  // namespace

TEST(Win32MessageSink, OkOnlyNoIconTitledNightpickOwnedByTheMainWindow) {
  Win32World program;
  program.show();
  Win32MessageSink sink;
  sink.setMainWindow(program.hwnd());
  SeenBox seen;
  const bool shown = whenWindowOpens(
      L"Nightpick",
      [&](HWND box) {
        seen = inspect(box);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
      },
      [&] { sink.showMessage("Nightpick - Version 1.3.0"); }, program.hwnd());
  ASSERT_TRUE(shown);
  EXPECT_EQ(seen.title, "Nightpick");
  EXPECT_EQ(seen.text, "Nightpick - Version 1.3.0");
  EXPECT_EQ(seen.owner, program.hwnd());
  EXPECT_EQ(seen.buttons, 1);
  EXPECT_TRUE(seen.okButton);
  EXPECT_FALSE(seen.icon);
}
