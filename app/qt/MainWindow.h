#pragma once
// The main window as the user sees it: the controls of frmMain where MainWindowLayout
// places them. Every decision is frmMain's; this class only forwards the window's events to it and
// shows the state it reports.
#include <QWidget>
#include <functional>
#include <string>

#include "app/FrmMain.h"

class QCloseEvent;
class QFrame;
class QPushButton;
class QStatusBar;

namespace np {

class MainWindow : public QWidget, public MainWindowView {
  Q_OBJECT

 public:
  // Shows `form`'s state and becomes its view; `form` must outlive the window.
  explicit MainWindow(frmMain& form, QWidget* parent = nullptr);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // How the program ends when the main window says so: 0 once the window has closed
  // (and any night run has ended), non-zero after a run-time error has been reported.
  // The default handler quits the event loop for 0 and ends the process at once otherwise.
  using ExitHandler = std::function<void(int exitCode)>;
  void setExitHandler(ExitHandler handler) { exit_ = std::move(handler); }

  // MainWindowView
  void statusTextChanged(const std::string& text) override;
  void buttonStatesChanged() override;
  void showPrefsDialog(frmPrefs& prefs) override;
  void unloadOtherWindows() override;
  void exitProgram(int exitCode) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:

  frmMain& form_;
  ExitHandler exit_;
  QPushButton* startButton_ = nullptr;
  QPushButton* stopAndAbortButton_ = nullptr;
  QPushButton* stopButton_ = nullptr;
  QPushButton* prefsButton_ = nullptr;
  QPushButton* aboutButton_ = nullptr;
  QFrame* line1_ = nullptr;
  QFrame* line2_ = nullptr;
  QStatusBar* statusBar_ = nullptr;
};

}  // namespace np
