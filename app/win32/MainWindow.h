#pragma once
// The main window on Windows: the controls of frmMain where MainWindowLayout places
// them, in a window of its own class. Every decision is frmMain's; this class only
// forwards the window's events to it and shows the state it reports.
#include <functional>
#include <string>

#include <windows.h>

#include "app/FrmMain.h"
#include "base/win32/Controls.h"

namespace np {

class Win32MainWindow : public MainWindowView {
 public:
  // Control identifiers (GetDlgItem on the main window). The status bar and the lines
  // take no focus.
  static constexpr int kStartButton = 101;
  static constexpr int kStopAndAbortButton = 102;
  static constexpr int kStopButton = 103;
  static constexpr int kPrefsButton = 104;
  static constexpr int kAbout = 105;
  static constexpr int kLine1 = 106;
  static constexpr int kLine2 = 107;
  static constexpr int kStatusBar = 108;

  // Creates the window, hidden, at the window system's default position; it shows
  // `form`'s state and becomes its view. `form` must outlive the window.
  explicit Win32MainWindow(frmMain& form);
  ~Win32MainWindow() override;
  Win32MainWindow(const Win32MainWindow&) = delete;
  Win32MainWindow& operator=(const Win32MainWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  HWND control(int id) const { return GetDlgItem(hwnd_, id); }
  void show(int showCommand);
  // The text the status bar shows.
  std::string statusBarText() const;

  // How the program ends when the main window says so: 0 once the window has closed
  // (and any night run has ended), non-zero after a run-time error has been reported.
  // The default posts WM_QUIT for 0 and ends the process at once otherwise.
  using ExitHandler = std::function<void(int exitCode)>;
  void setExitHandler(ExitHandler handler) { exit_ = std::move(handler); }

  // MainWindowView
  void statusTextChanged(const std::string& text) override;
  void buttonStatesChanged() override;
  void showPrefsDialog(frmPrefs& prefs) override;
  void unloadOtherWindows() override;
  void exitProgram(int exitCode) override;

 private:
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  void createControls();
  void command(int id);
  void closed();
  void restoreFocus();

  frmMain& form_;
  ExitHandler exit_;
  HWND hwnd_ = nullptr;
  HWND focus_ = nullptr;  // the control that had the focus when the window was last active
  Font font_;
};

}  // namespace np
