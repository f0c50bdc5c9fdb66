#pragma once
// What the window system does for the main window: show its state, open the modal
// preferences dialog, unload the program's other windows, end the program. The main
// window's logic (frmMain) decides; each platform's view only does it.
#include <string>

namespace np {

class frmPrefs;  // the preferences dialog's logic (settings/)

class MainWindowView {
 public:
  virtual ~MainWindowView() = default;
  virtual void statusTextChanged(const std::string& text) = 0;
  virtual void buttonStatesChanged() = 0;
  // Shows the dialog for `prefs` modally; returns when its window has closed.
  virtual void showPrefsDialog(frmPrefs& prefs) = 0;
  virtual void unloadOtherWindows() = 0;
  // Ends the program with `exitCode` (0 after a close, 1 after a run-time error). The
  // main window decides when; the view only does it.
  virtual void exitProgram(int /*exitCode*/) {}
};

}  // namespace np
