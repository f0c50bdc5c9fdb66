#pragma once
// The main window's logic: it owns the state of the window's data model and wires the
// units of every subsystem. The Qt window (app/qt) is a thin view over it; tests and the
// headless runner drive it without Qt.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MainWindowView.h"
#include "base/Ui.h"
#include "base/Clock.h"
#include "base/FileSystem.h"
#include "base/NumberText.h"
#include "host/HostInterfaces.h"
#include "night/NightEvents.h"
#include "settings/FrmPrefs.h"
#include "settings/Settings.h"
#include "targets/ListStore.h"
#include "targets/Services.h"

namespace np {

class SelectionObserver;

// The text of the box that reports a run-time error; `what` is the error's own text.
std::string runTimeErrorMessage(const std::string& what);

// Everything the main window is given by the start-up routine.
struct Platform {
  IHostFactory& host;
  IEphemerisFactory& ephemeris;
  FileSystem& files;           // the file-system object
  Clock& clock;                // the computer's clock (also the simulated observatory's)
  MessageSink& messages;       // modal OK boxes titled "Nightpick"
  EventPump& events;           // event processing and WaitSeconds
  NumberLocale locale;         // numbers in the log, the status line and the dialog
  std::string executablePath;  // the running executable; its folder is the program folder
};

inline constexpr std::string_view kStoppedStatus = "Nightpick stopped";

class frmMain {
 public:
  explicit frmMain(Platform& platform, MainWindowView* view = nullptr);
  ~frmMain();
  frmMain(const frmMain&) = delete;
  frmMain& operator=(const frmMain&) = delete;

  void setView(MainWindowView* view) { view_ = view; }

  // ---- data model ----
  std::unique_ptr<frmPrefs> fPrefsForm;
  FileSystem* fso = nullptr;
  std::unique_ptr<IUtil> util;
  std::unique_ptr<ITelescope> telescope;
  std::unique_ptr<IApplication> acpApp;
  std::unique_ptr<TextWriter> logFile;  // the run log, open while a run lasts
  bool stopFlag = false;
  // Told of every test of every selection pass of a run (the headless runner's report).
  SelectionObserver* selectionObserver = nullptr;
  // Hears the runs' events (night/NightEvents.h), when set: the loop's, and how each run
  // ended (secured or not, stopped, a failure).
  NightEventSink* nightEvents = nullptr;
  // The shared list the runs read and take their runs from, when set; the program
  // folder's targets.txt otherwise.
  ListStore* listStore = nullptr;
  Settings settings;  // lastFocusJD, focusInterval, baseDir, maxElevation, minAzimuth, maxAzimuth, sunElev

  // ---- window state (the view shows these) ----
  const std::string& statusText() const { return statusText_; }
  bool startEnabled() const { return startEnabled_; }
  bool stopEnabled() const { return stopEnabled_; }
  bool stopAndAbortEnabled() const { return stopAndAbortEnabled_; }
  bool running() const { return running_; }
  // The last press of Start was refused: another copy of the program runs on the folder.
  bool startRefused() const { return startRefused_; }
  void setStatusText(const std::string& text);

  // ---- events ----
  void Form_Load();              // creates the objects, LoadConfig, the dialog object
  void Form_Unload();            // window close: SaveConfig, stopFlag, unload other windows
  void StartButton_Click();      // the observing loop; returns when the run has ended
  void StopButton_Click();
  void StopAndAbortButton_Click();
  void About_Click();
  void PrefsButton_Click();
  std::string aboutText() const;

  // ---- the window's events as the window system delivers them ----
  // Runs an event handler. A failure that escapes it is reported in a message box naming
  // the run-time error, and the program ends (exit code 1); false is returned then.
  bool handleEvent(const std::function<void()>& handler);
  // The start button: the observing loop. When the window was closed during the run, the
  // program ends once the run has ended.
  void startClicked();
  // The window's close, never cancelled: Form_Unload, then the program ends, at once or,
  // during a run, when the run has ended.
  void windowClosed();

  // ---- methods other parts call ----
  std::string GetEXEPath() const;
  bool FileExists(const std::string& fileName) const;
  void LoadConfig();
  void SaveConfig();

  // The services of a run: the window's host objects, the platform's files, clock, event
  // processing and message boxes, its status line, locale and program folder.
  Services services();

  Platform& platform() { return platform_; }

 private:
  void setButtons(bool start, bool stop, bool stopAndAbort);
  bool lockRun();
  bool foldersWritable();
  void endRun();
  void tell(NightEventKind kind, const std::string& text);
  // Secures the observatory (at an end of a run, or while the shared list is away),
  // telling how that went.
  SecuringOutcome secure(const std::string& why);

  Platform& platform_;
  MainWindowView* view_;
  std::string statusText_{kStoppedStatus};
  bool startEnabled_ = true, stopEnabled_ = false, stopAndAbortEnabled_ = false;
  bool running_ = false;
  bool startRefused_ = false;
  std::vector<std::unique_ptr<FileLock>> runLocks_;  // held for the length of a run
  bool unloaded_ = false;      // the window has been closed
  bool exitAfterRun_ = false;  // closed during a run: the program ends when the run has ended
};

// The program folder of an executable path, with exactly one trailing separator.
std::string programFolderOf(const std::string& executablePath);
// True for an existing entry that is not a folder; false on any error (never throws).
bool fileExistsAt(const std::string& path) noexcept;

}  // namespace np
