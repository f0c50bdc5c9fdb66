#include "base/win32/Controls.h"

#include <cwchar>
#include <vector>

#include "base/win32/WinText.h"

namespace np {

HWND createControl(HWND parent, const wchar_t* className, const std::string& text, DWORD style, DWORD exStyle,
                   const RECT& rect, int id) {
  return CreateWindowExW(exStyle, className, wideFromAnsi(text).c_str(), WS_CHILD | WS_VISIBLE | style, rect.left,
                         rect.top, widthOf(rect), heightOf(rect), parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

RECT rectInParent(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  HWND parent = (GetWindowLongW(window, GWL_STYLE) & WS_CHILD) ? GetParent(window) : nullptr;
  if (parent) MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

int captionRoom(HWND control) {
  wchar_t cls[32] = {};
  GetClassNameW(control, cls, 32);
  RECT r{};
  GetClientRect(control, &r);
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  if (_wcsicmp(cls, L"Button") == 0) {
    const LONG type = style & BS_TYPEMASK;
    if (type == BS_GROUPBOX) return widthOf(r) - kFrameTitleRoom;
    if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) return widthOf(r) - kButtonCaptionRoom;
    return -1;
  }
  if (_wcsicmp(cls, L"Static") == 0) {
    const LONG type = style & SS_TYPEMASK;
    if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_LEFTNOWORDWRAP) return widthOf(r);
  }
  return -1;
}

int captionWidth(HWND control, HFONT font) {
  const int length = GetWindowTextLengthW(control);
  if (length <= 0) return 0;
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return size.cx;
}

namespace {

std::vector<HWND> childrenOf(HWND window) {
  std::vector<HWND> children;
  for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) children.push_back(c);
  return children;
}

bool allFit(const std::vector<HWND>& controls, HFONT font) {
  for (HWND c : controls) {
    const int room = captionRoom(c);
    if (room >= 0 && captionWidth(c, font) > room) return false;
  }
  return true;
}

}  // namespace

Font fitCaptions(HWND window) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  LOGFONTW face{};
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    face = metrics.lfMessageFont;
  } else {
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof face, &face);
  }
  HDC screen = GetDC(nullptr);
  const int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  // Heights in pixels of the character (negative: without internal leading).
  int height = face.lfHeight < 0 ? -face.lfHeight : (face.lfHeight > 0 ? face.lfHeight : MulDiv(9, dpiY, 72));
  const int smallest = MulDiv(6, dpiY, 72);

  const std::vector<HWND> controls = childrenOf(window);
  Font font;
  for (;;) {
    face.lfHeight = -height;
    font = Font(CreateFontIndirectW(&face));
    if (!font.get() || height <= smallest || allFit(controls, font.get())) break;
    --height;
  }
  HFONT chosen = font.get() ? font.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  for (HWND c : controls) SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(chosen), FALSE);
  return font;
}

}  // namespace np
