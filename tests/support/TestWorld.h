#pragma once
// The test world: the whole program on the simulated observatory, shared by the tests of
// the target-list units, of the main window's logic, of the Qt window and of the headless
// runner. A program folder in a fresh temporary folder, the simulated observatory in
// "observatory" inside it, one manual clock serving both, real files, the ERFA ephemeris,
// a recording message sink, the program's own simulated event pump whose hook acts as the
// user, and the main window's logic (frmMain) with a recording view.
//
// Nothing here needs GoogleTest: the Qt tests build their window on the same world. A
// failure the world itself finds goes to reportTestFailure (support/ReportFailure.h).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/FrmMain.h"
#include "app/runner/HeadlessRun.h"
#include "base/FileSystem.h"
#include "host/ErfaEphemeris.h"
#include "night/ObservingLoop.h"
#include "night/SimulatedWait.h"
#include "selection/Selection.h"
#include "support/RecordingMessageSink.h"
#include "support/ReportFailure.h"
#include "support/SimFixture.h"

namespace np::test {

// Instants of the default site (UTC-7): 05:00 local, night with dawn at about 05:48; and
// 13:00 local, day with dusk at about 18:47.
inline constexpr char kNight[] = "2026-12-07T12:00:00Z";
inline constexpr char kDay[] = "2026-12-07T20:00:00Z";
// A list of one group near the meridian before that dawn, with one run left.
inline constexpr char kOneTarget[] = "Near Meridian\t10:00:00\t+30:00:00\r\n**** remaining=1\r\n";

// Records what the window would show.
class RecordingView : public MainWindowView {
 public:
  void statusTextChanged(const std::string& text) override;
  void buttonStatesChanged() override { ++buttonChanges; }
  void showPrefsDialog(frmPrefs& prefs) override {
    if (onPrefs) onPrefs(prefs);
  }
  void unloadOtherWindows() override { ++unloads; }

  bool saw(const std::string& text) const;

  std::vector<std::string> statuses;  // distinct changes, in order
  long statusSets = 0;
  int buttonChanges = 0;
  int unloads = 0;
  std::function<void(frmPrefs&)> onPrefs;
};

// The simulated observatory (SimFixture: dir, clock, host and its three objects) with
// the program folder around it: dir is the program folder, host's folder is
// dir/observatory.
class TestWorld : public SimFixture {
 public:
  // `ini`: the text of observatory.ini (empty: the defaults the observatory writes);
  // the clock starts at `startUnix`; `locale` is the program's number locale.
  explicit TestWorld(const std::string& ini = "", double startUnix = kSimNightUnix, NumberLocale locale = {'.'});
  // The same with the start as an ISO UTC instant ("2026-12-07T12:00:00Z").
  TestWorld(const std::string& ini, const std::string& startUtc);
  ~TestWorld();

  // ---- the program's files ----
  std::string programDir() const { return dir.path(); }  // no trailing separator
  std::string listPath() const { return dir.file("targets.txt"); }
  std::string newListPath() const { return dir.file("newtargets.txt"); }
  std::string configPath() const { return dir.file("config.ini"); }
  std::string planPath() const { return joinPath(host->planDir(), "nightpickplan.txt"); }
  std::string runLogPath() const { return joinPath(host->logDir(), "Nightpick.log"); }
  std::string acquisitionLogPath() const { return host->acquisitionLogPath(); }

  // targets.txt from these lines, each ended by `eol`.
  void writeList(const std::vector<std::string>& lines, const std::string& eol = "\r\n");
  // targets.txt with exactly this text.
  void writeListText(const std::string& text);
  std::string listText() const;
  std::string runLog() const;
  std::vector<std::string> runLogLines() const;
  std::string acquisitionLog() const;
  // Rewrites observatory.ini and starts the observatory anew on it, and the main window
  // on that (before the program is loaded; the world's host objects are new ones).
  void writeIni(const std::string& ini);

  // ---- the main window ----
  // Builds the main window anew on `host` and `files` (the world's own to begin with),
  // with the same view, clock, sink, pump and locale. Both must outlive it.
  void wireMain(IHostFactory& host, FileSystem& files);

  // Starts the host's acquisition script on a plan of `planLines` through the main window's
  // host objects (loaded), as another program or the loop hands one over, and lets the clock
  // run until it has started; false when it did not become active.
  bool startHostScript(const std::string& planLines);

  // Runs at every event processing of the program (each DoEvents, and once after each
  // wait): what the user does meanwhile.
  std::function<void()> user;
  // DoEvents calls so far (the processing that follows a wait not counted).
  long long doEventsCalls() const { return hookRuns_ - pump.waits(); }

  // A run of the main window that goes on this long (from its first event processing)
  // is stopped and reported as a failure, not left to hang.
  static constexpr double kLimitHours = 100;

  ErfaEphemerisFactory ephemeris;
  LocalFileSystem files;
  RecordingMessageSink messages;
  SimulatedEventPump pump{clock};
  std::unique_ptr<Platform> platform;
  RecordingView view;
  std::unique_ptr<frmMain> main;

  // ---- the night's units, run directly on the world's files and host objects ----
  // The state they are given, as the main window gives them its own.
  struct Units {
    FileSystem* files = nullptr;  // the world's files unless a test puts others in between
    Settings settings;
    bool stopFlag = false;
    DateTime quitTime;
    NumberLocale locale;
    std::unique_ptr<TextWriter> log;    // the run log, from openLog to closeLog (and during runNight)
    std::vector<std::string> statuses;  // every change of the status text, in order
    long statusSets = 0;                // every setting of it, changed or not
  } units;

  // The world's services: its host objects, units.files, its clock, pump and message sink,
  // a status line that records into units, the units' locale and the program folder.
  Services services();

  void openLog();
  // Closes the run log and returns everything in it.
  std::string closeLog();
  // A selection pass over targets.txt (selectTarget).
  std::optional<ChosenGroup> select();
  // The plan writer and list update for the group at `bestTargetstart` (updateTarget),
  // quitting at units.quitTime; the settings are saved to config.ini when it asks.
  std::optional<std::int16_t> update(std::int64_t bestTargetstart);

  // The observing loop itself (runObservingLoop) on the world's services and the units'
  // settings and stop flag, with an Earth ephemeris of its own; returns when the run has
  // ended (the user hook sets units.stopFlag to stop it). config.ini is saved through
  // units.files when the run asks.
  RunEnd runNight();
  // The shared list runNight's passes read and take their runs from, when set.
  ListStore* listStore = nullptr;
  bool nightRunning() const { return nightRunning_; }
  const std::string& status() const;  // the last status text ("" before any)

  // ---- the headless runner on the program folder ----
  // A run from `startUtc` for `hours` (see HeadlessOptions); what it printed goes to
  // headlessOut and headlessErr. It has a clock and host objects of its own.
  HeadlessResult runHeadless(const std::string& startUtc, double hours, long stopAfterPlans = 0);
  // The same with every option given (the program folder is the world's).
  HeadlessResult runHeadless(HeadlessOptions options);
  std::string headlessOut, headlessErr;  // of the last headless run

 private:
  void startMain();

  NumberLocale locale_;
  long long hookRuns_ = 0;
  bool runSeen_ = false;  // a run under way at the last event processing
  bool nightRunning_ = false;
  double runStartUnix_ = 0;
};

}  // namespace np::test
