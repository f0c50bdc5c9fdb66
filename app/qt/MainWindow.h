#pragma once
// The main window as the user sees it: the controls of frmMain at their design places.
// Every decision is frmMain's; this class only forwards the window's events to it and
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

// The text of the box that reports a run-time error; `what` is the error's own text.
std::string runTimeErrorMessage(const std::string& what);

class MainWindow : public QWidget, public MainWindowView {
  Q_OBJECT

 public:
  // Shows `form`'s state and becomes its view; `form` must outlive the window.
  explicit MainWindow(frmMain& form, QWidget* parent = nullptr);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Ends the program: 0 once the window has closed (and any night run has ended),
  // non-zero after a run-time error has been reported. The default handler quits the
  // event loop for 0 and ends the process at once otherwise.
  using ExitHandler = std::function<void(int exitCode)>;
  void setExitHandler(ExitHandler handler) { exit_ = std::move(handler); }

  // Runs `handler` as an event handler: a failure that escapes it is reported in a
  // message box naming the run-time error, and the program ends. Returns false then.
  bool runHandler(const std::function<void()>& handler);

  // MainWindowView
  void statusTextChanged(const std::string& text) override;
  void buttonStatesChanged() override;
  void showPrefsDialog(frmPrefs& prefs) override;
  void unloadOtherWindows() override;

  // Design size of the client area, in twips.
  static constexpr int kClientWidth = 5205;
  static constexpr int kClientHeight = 3045;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void startClicked();
  void endProgram(int exitCode);

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
  bool unloaded_ = false;          // the window has been closed
  bool exitAfterRun_ = false;      // closed during a run: exit when the run has ended
  bool failed_ = false;            // a run-time error has been reported
};

}  // namespace np
