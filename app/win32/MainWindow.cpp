#include "app/win32/MainWindow.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/MainWindowLayout.h"
#include "base/win32/Twips.h"
#include "base/win32/WinText.h"
#include "settings/win32/PrefsDialog.h"

namespace np {

namespace {

constexpr wchar_t kClassName[] = L"frmMain";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

void defaultExit(int exitCode) {
  if (exitCode == 0) {
    PostQuitMessage(0);
    return;
  }
  // A run-time error ends the program where it stands, as the error left it: no
  // unload, no saving. Whatever was written so far is flushed.
  std::fflush(nullptr);
  std::_Exit(exitCode);
}

void registerClass(WNDPROC windowProc) {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = windowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
  if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  registered = RegisterClassExW(&wc) != 0;
}

using Layout = MainWindowLayout;

HWND button(HWND parent, int id, const Layout::Button& layout, const TwipsScale& s, bool enabled) {
  return createControl(parent, L"BUTTON", layout.caption, WS_TABSTOP | BS_PUSHBUTTON | (enabled ? 0 : WS_DISABLED), 0,
                       s.rect(layout.rect), id);
}

// A straight horizontal line from its start point to its end point, one pixel thick.
HWND line(HWND parent, int id, const Layout::Line& layout, const TwipsScale& s) {
  const RECT r{s.x(layout.from.x), s.y(layout.from.y), s.x(layout.to.x), s.y(layout.from.y) + 1};
  return createControl(parent, L"STATIC", "", SS_BLACKRECT, 0, r, id);
}

}  // namespace

Win32MainWindow::Win32MainWindow(frmMain& form) : form_(form), exit_(defaultExit) {
  registerClass(&Win32MainWindow::windowProc);
  const TwipsScale s = TwipsScale::ofScreen();
  RECT frame{0, 0, s.x(Layout::kClientWidth), s.y(Layout::kClientHeight)};
  AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  hwnd_ = CreateWindowExW(kExStyle, kClassName, wideFromAnsi(Layout::kTitle).c_str(), kStyle, CW_USEDEFAULT,
                          CW_USEDEFAULT, widthOf(frame), heightOf(frame), nullptr, nullptr, GetModuleHandleW(nullptr),
                          this);
  if (!hwnd_) throw RunTimeError("the main window cannot be created (error " + std::to_string(GetLastError()) + ")");
  createControls();

  form_.setView(this);
  statusTextChanged(form_.statusText());
  buttonStatesChanged();
  focus_ = control(kStartButton);
}

Win32MainWindow::~Win32MainWindow() {
  form_.setView(nullptr);
  if (hwnd_ && IsWindow(hwnd_)) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

void Win32MainWindow::createControls() {
  const TwipsScale s = TwipsScale::ofScreen();
  // Created in the order of the keyboard: start, stop, About, Preferences, stop-and-abort.
  button(hwnd_, kStartButton, Layout::kStartButton, s, true);
  button(hwnd_, kStopButton, Layout::kStopButton, s, false);
  button(hwnd_, kAbout, Layout::kAbout, s, true);
  button(hwnd_, kPrefsButton, Layout::kPrefsButton, s, true);
  button(hwnd_, kStopAndAbortButton, Layout::kStopAndAbortButton, s, false);
  line(hwnd_, kLine1, Layout::kLine1, s);
  line(hwnd_, kLine2, Layout::kLine2, s);

  // Docked to the bottom edge over the full width, one text (simple mode) that every
  // status message replaces. The window has a fixed size, so the bar is placed once.
  RECT client{};
  GetClientRect(hwnd_, &client);
  const int barHeight = s.y(Layout::kStatusBar.rect.height);
  const RECT bar{0, client.bottom - barHeight, client.right, client.bottom};
  HWND status = createControl(hwnd_, STATUSCLASSNAMEW, "", CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER, 0, bar,
                              kStatusBar);
  SendMessageW(status, SB_SIMPLE, TRUE, 0);

  font_ = fitCaptions(hwnd_);
}

void Win32MainWindow::show(int showCommand) {
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
  restoreFocus();
}

std::string Win32MainWindow::statusBarText() const {
  HWND bar = control(kStatusBar);
  // The simple text is set as part SB_SIMPLEID and read back as part 0.
  const LRESULT length = LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, 0, 0));
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
  text.resize(wcslen(text.c_str()));
  return ansiFromWide(text);
}

void Win32MainWindow::exitProgram(int exitCode) {
  if (exit_) exit_(exitCode);
}

void Win32MainWindow::statusTextChanged(const std::string& text) {
  const std::wstring wide = wideFromAnsi(text);
  SendMessageW(control(kStatusBar), SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(wide.c_str()));
}

void Win32MainWindow::buttonStatesChanged() {
  HWND focus = GetFocus();
  EnableWindow(control(kStartButton), form_.startEnabled());
  EnableWindow(control(kStopButton), form_.stopEnabled());
  EnableWindow(control(kStopAndAbortButton), form_.stopAndAbortEnabled());
  // A control that lost the focus by being disabled hands it on, as the keyboard would.
  if (focus && IsChild(hwnd_, focus) && !IsWindowEnabled(focus)) {
    HWND next = GetNextDlgTabItem(hwnd_, focus, FALSE);
    if (next) SetFocus(next);
  }
}

void Win32MainWindow::showPrefsDialog(frmPrefs& prefs) {
  // The main window is the dialog's owner, as the active window when it opens.
  runPrefsDialog(hwnd_, prefs, form_.platform().locale, form_.platform().messages);
}

void Win32MainWindow::unloadOtherWindows() {
  std::vector<HWND> windows;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND w, LPARAM list) CALLBACK -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  for (HWND w : windows)
    if (w != hwnd_ && IsWindow(w) && IsWindowVisible(w)) SendMessageW(w, WM_CLOSE, 0, 0);
}

void Win32MainWindow::command(int id) {
  switch (id) {
    case kStartButton:
      form_.startClicked();
      break;
    case kStopButton:
      form_.handleEvent([this] { form_.StopButton_Click(); });
      break;
    case kStopAndAbortButton:
      form_.handleEvent([this] { form_.StopAndAbortButton_Click(); });
      break;
    case kAbout:
      form_.handleEvent([this] { form_.About_Click(); });
      break;
    case kPrefsButton:
      form_.handleEvent([this] { form_.PrefsButton_Click(); });
      break;
    default:
      break;
  }
}

void Win32MainWindow::closed() {
  // The close is never cancelled; the main window decides the rest. The window goes
  // from the screen at once, also while a run it started goes on to its end.
  form_.windowClosed();
  if (IsWindow(hwnd_)) ShowWindow(hwnd_, SW_HIDE);
}

void Win32MainWindow::restoreFocus() {
  HWND target = focus_ && IsWindow(focus_) && IsWindowEnabled(focus_) ? focus_ : nullptr;
  if (!target) target = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
  if (target) SetFocus(target);
}

LRESULT CALLBACK Win32MainWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* created = reinterpret_cast<Win32MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    created->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
  }
  auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->handle(message, wParam, lParam);
}

LRESULT Win32MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && lParam) command(LOWORD(wParam));
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) focus_ = focus;
      } else {
        restoreFocus();
      }
      return 0;
    case WM_SETFOCUS:
      restoreFocus();
      return 0;
    case WM_CLOSE:
      closed();
      return 0;
    case WM_ENDSESSION:
      // The session ends with the process: the settings are saved as at a close.
      if (wParam) form_.windowClosed();
      return 0;
    default:
      return DefWindowProcW(hwnd_, message, wParam, lParam);
  }
}

}  // namespace np
