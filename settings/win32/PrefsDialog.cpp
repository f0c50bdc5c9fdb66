#include "settings/win32/PrefsDialog.h"

#include <exception>

#include "base/Errors.h"
#include "base/win32/Controls.h"
#include "base/win32/Twips.h"
#include "base/win32/WinText.h"
#include "settings/PrefsDialogLayout.h"

namespace np {

namespace {

using Ids = PrefsDialogIds;

struct Dialog {
  Dialog(frmPrefs& p, NumberLocale l, MessageSink& m, HWND o) : prefs(p), locale(l), messages(m), owner(o) {}

  frmPrefs& prefs;
  NumberLocale locale;
  MessageSink& messages;
  HWND owner;
  HWND hwnd = nullptr;
  Font font;
  std::exception_ptr failure;

  HWND item(int id) const { return GetDlgItem(hwnd, id); }
  void create();
  void place();
  void Form_Load();
  void cmdOK_Click();
  void cmdCancel_Click() { EndDialog(hwnd, IDCANCEL); }
};

using Layout = PrefsDialogLayout;

RECT offset(RECT r, const RECT& by) {
  OffsetRect(&r, by.left, by.top);
  return r;
}

// Where a control of the layout goes, in pixels: the controls in the frame are placed
// relative to the frame.
struct Placer {
  TwipsScale scale;
  RECT frame = scale.rect(Layout::kFrame1.rect);
  RECT operator()(const Layout::Control& c) const {
    return c.inFrame ? offset(scale.rect(c.rect), frame) : scale.rect(c.rect);
  }
};

HWND label(HWND parent, int id, const Layout::Control& c, const Placer& at) {
  return createControl(parent, L"STATIC", c.caption, SS_LEFT | SS_NOPREFIX, 0, at(c), id);
}

HWND box(HWND parent, int id, const Layout::Control& c, const Placer& at) {
  HWND b =
      createControl(parent, L"EDIT", "", WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE, at(c), id);
  SendMessageW(b, EM_SETLIMITTEXT, 0, 0);  // no length limit
  return b;
}

HWND button(HWND parent, int id, const Layout::Control& c, const Placer& at) {
  return createControl(parent, L"BUTTON", c.caption, WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 0, at(c), id);
}

HWND groupBox(HWND parent, int id, const Layout::Control& c, const Placer& at) {
  return createControl(parent, L"BUTTON", c.caption, BS_GROUPBOX, 0, at(c), id);
}

void Dialog::create() {
  const Placer at{TwipsScale::ofScreen()};
  // Created in the order of the tab indices: the boxes and buttons are reached in the
  // order focusIntervalText, cmdOK, cmdCancel, sunElevText, maxElevationText,
  // minAzimuthText, maxAzimuthText.
  label(hwnd, Ids::kLabel1, Layout::kLabel1, at);
  box(hwnd, Ids::kFocusIntervalText, Layout::kFocusIntervalText, at);
  button(hwnd, Ids::kCmdOK, Layout::kCmdOK, at);
  button(hwnd, Ids::kCmdCancel, Layout::kCmdCancel, at);
  label(hwnd, Ids::kLabel2, Layout::kLabel2, at);
  box(hwnd, Ids::kSunElevText, Layout::kSunElevText, at);
  groupBox(hwnd, Ids::kFrame1, Layout::kFrame1, at);
  label(hwnd, Ids::kLabel6, Layout::kLabel6, at);
  box(hwnd, Ids::kMaxElevationText, Layout::kMaxElevationText, at);
  label(hwnd, Ids::kLabel7, Layout::kLabel7, at);
  box(hwnd, Ids::kMinAzimuthText, Layout::kMinAzimuthText, at);
  label(hwnd, Ids::kLabel8, Layout::kLabel8, at);
  box(hwnd, Ids::kMaxAzimuthText, Layout::kMaxAzimuthText, at);
  font = fitCaptions(hwnd);
  setWindowTextOf(hwnd, Layout::kTitle);
}

// The design client size, centred on the owner's window and kept on its screen.
void Dialog::place() {
  const TwipsScale s = TwipsScale::ofScreen();
  RECT r{0, 0, s.x(Layout::kClientWidth), s.y(Layout::kClientHeight)};
  AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE)));
  const int w = widthOf(r), h = heightOf(r);
  RECT around{};
  if (!owner || !GetWindowRect(owner, &around)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &around, 0);
  int left = around.left + (widthOf(around) - w) / 2;
  int top = around.top + (heightOf(around) - h) / 2;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (GetMonitorInfoW(MonitorFromWindow(owner ? owner : hwnd, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& work = monitor.rcWork;
    if (left + w > work.right) left = work.right - w;
    if (top + h > work.bottom) top = work.bottom - h;
    if (left < work.left) left = work.left;
    if (top < work.top) top = work.top;
  }
  SetWindowPos(hwnd, nullptr, left, top, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Dialog::Form_Load() {
  const frmPrefs::Texts texts = prefs.textsForLoad(locale);
  setWindowTextOf(item(Ids::kFocusIntervalText), texts.focusIntervalText);
  setWindowTextOf(item(Ids::kMaxElevationText), texts.maxElevationText);
  setWindowTextOf(item(Ids::kMinAzimuthText), texts.minAzimuthText);
  setWindowTextOf(item(Ids::kMaxAzimuthText), texts.maxAzimuthText);
  setWindowTextOf(item(Ids::kSunElevText), texts.sunElevText);
}

void Dialog::cmdOK_Click() {
  frmPrefs::Texts texts;
  texts.focusIntervalText = windowTextOf(item(Ids::kFocusIntervalText));
  texts.maxElevationText = windowTextOf(item(Ids::kMaxElevationText));
  texts.minAzimuthText = windowTextOf(item(Ids::kMinAzimuthText));
  texts.maxAzimuthText = windowTextOf(item(Ids::kMaxAzimuthText));
  texts.sunElevText = windowTextOf(item(Ids::kSunElevText));
  if (const std::optional<std::string> problem = prefs.acceptTexts(texts, locale)) {
    // Nothing was taken over; the dialog stays open with the user's text.
    messages.showMessage(*problem);
    return;
  }
  EndDialog(hwnd, IDOK);
}

INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* d = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (message == WM_INITDIALOG) {
    d = reinterpret_cast<Dialog*>(lParam);
    d->hwnd = hwnd;
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
  }
  if (!d) return FALSE;
  // No exception may pass through the window system's dialog loop: the first failure
  // closes the dialog and is thrown once the dialog has returned.
  try {
    switch (message) {
      case WM_INITDIALOG:
        d->create();
        d->place();
        d->Form_Load();
        SetFocus(d->item(Ids::kFocusIntervalText));
        return FALSE;  // the focus is set
      case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) return FALSE;
        if (LOWORD(wParam) == Ids::kCmdOK) {
          d->cmdOK_Click();
          return TRUE;
        }
        if (LOWORD(wParam) == Ids::kCmdCancel) {
          d->cmdCancel_Click();
          return TRUE;
        }
        // IDOK comes from Enter in a box: cmdOK is not the default button.
        return TRUE;
      default:
        return FALSE;
    }
  } catch (...) {
    if (!d->failure) d->failure = std::current_exception();
    EndDialog(hwnd, IDABORT);
    return TRUE;
  }
}

// An empty dialog template: the controls are made at their pixel places when the
// dialog is initialised.
struct alignas(DWORD) EmptyTemplate {
  DLGTEMPLATE header;
  WORD menu = 0, windowClass = 0, title = 0;
};

}  // namespace

bool runPrefsDialog(HWND owner, frmPrefs& prefs, NumberLocale locale, MessageSink& messages) {
  Dialog dialog{prefs, locale, messages, owner};
  EmptyTemplate tmpl{};
  tmpl.header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  tmpl.header.dwExtendedStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &tmpl.header, owner, dialogProc,
                                                 reinterpret_cast<LPARAM>(&dialog));
  if (dialog.failure) std::rethrow_exception(dialog.failure);
  if (result == -1)
    throw RunTimeError("the preferences dialog cannot be shown (error " + std::to_string(GetLastError()) + ")");
  return result == IDOK;
}

}  // namespace np
