// The observing loop: the start button's handler. It runs until a stop, night after night,
// on the window's thread; every wait is made of pauses (pending events, then one second).
#include <cmath>
#include <exception>
#include <string>

#include "app/FrmMain.h"
#include "night/Twilight.h"

namespace np {

namespace {
constexpr float kNoTarget = -10000.0f;
constexpr int kNoTargetPauses = 301;
// A script that has not started after this many pauses (ten minutes) is taken as ended:
// a host script that finished before the loop first saw it running must not stall the
// night. A slow host gets all this time to start; one that has still not started by then
// is told to abort, so that the next plan finds it free.
constexpr int kScriptStartPauses = 600;
const std::string kStars(64, '*');

}  // namespace

void frmMain::log(const std::string& line) { logFile->WriteLine(line); }

std::string frmMain::planDir() { return util->Prefs().LocalUser().DefaultPlanDir(); }

// One run at a time on a program folder and on a host: a second copy of the program
// would rewrite the same target list and hand plans to the same host. The locks are the
// operating system's, so they go with the process however it ends.
bool frmMain::lockRun() {
  const std::string folders[] = {GetEXEPath(), planDir()};
  for (const std::string& folder : folders) {
    std::unique_ptr<FileLock> lock = fso->LockFolder(folder);
    if (!lock) {
      runLocks_.clear();
      platform_.messages.showMessage("Nightpick is already running on this folder: " + folder);
      return false;
    }
    runLocks_.push_back(std::move(lock));
  }
  return true;
}

void frmMain::StartButton_Click() {
  if (!lockRun()) return;
  setButtons(false, true, true);
  running_ = true;
  try {
    earthEphem = platform_.ephemeris.createEphemeris();
    earthEphem->setBodyType(0);
    earthEphem->setNumber(3);
    LoadConfig();
    stopFlag = false;
    waitForIdleHost();
    logFile = fso->OpenTextFileForAppending(util->Prefs().LocalUser().DefaultLogDir() + kPathSeparator +
                                            "Nightpick.log");
    runNights();
  } catch (const NoTwilightError& e) {
    // The Sun never reaches the dusk and dawn elevation: nothing can be observed with this
    // setting, so the run ends (the user can change the elevation and start again).
    if (logFile) {
      try {
        log(e.what());
      } catch (const std::exception&) {
      }
    }
    endRun();
    platform_.messages.showMessage(e.what());
    return;
  } catch (...) {
    // A run-time failure: keep what was logged, leave the window stopped, pass it on.
    if (logFile) {
      try {
        logFile->Close();
      } catch (const std::exception&) {
      }
      logFile.reset();
    }
    ct.reset();
    runLocks_.clear();
    running_ = false;
    throw;
  }
  endRun();
}

void frmMain::waitForIdleHost() {
  while (!stopFlag && util->ScriptActive()) {
    setStatusText("Waiting for ACP");
    Pause(platform_.events);
  }
}

void frmMain::runNights() {
  float bestScore = kNoTarget;
  std::string bestTarget;
  std::int64_t bestTargetstart = 0;
  std::string targetName;
  while (!stopFlag) {
    bestScore = kNoTarget;
    DateTime nextDawn = NextDawnDusk(settings.sunElev, true);
    DateTime nextDusk = NextDawnDusk(settings.sunElev, false);
    if (nextDawn > nextDusk) {
      dayPass(nextDusk);
    } else {
      nightPass(nextDawn, bestScore, bestTarget, bestTargetstart, targetName);
    }
  }
}

void frmMain::dayPass(DateTime nextDusk) {
  log("Currently daytime (" + util->FormatVar(platform_.clock.nowLocal(), "General Date") +
      ") - waiting for dusk at " + util->FormatVar(nextDusk, "General Date"));
  bool canPark = telescope->CanPark();
  bool canUnpark = telescope->CanUnpark();
  if (canPark && canUnpark) telescope->Park();
  while (!stopFlag && platform_.clock.nowLocal() < nextDusk) {
    setStatusText("Waiting for Sun to reach an elevation of " +
                  formatSingle(settings.sunElev, platform_.locale.decimalSeparator) + " degrees");
    Pause(platform_.events);
  }
  canPark = telescope->CanPark();
  canUnpark = telescope->CanUnpark();
  if (canPark && canUnpark) telescope->Unpark();
}

void frmMain::nightPass(DateTime nextDawn, float& bestScore, std::string& bestTarget,
                        std::int64_t& bestTargetstart, std::string& targetName) {
  // The host reads the quit time as UTC. The Julian date of the dawn is UTC already, so
  // its date-time is written as is: estimating the zone from the longitude would put the
  // quit time hours off wherever the clock's zone is not longitude / 15.
  quitTime = DateTime{util->Date_Julian(nextDawn) - kSerialEpochJD};

  if (util->WeatherConnected()) {
    while (!stopFlag && !util->Weather().Safe()) {
      setStatusText("Waiting for weather to be safe");
      Pause(platform_.events);
    }
  }
  // A plan is never handed to a host that still runs a script (a slow start of the last
  // one, or a script the operator started).
  waitForIdleHost();
  // A wait that lasted into the day ends the pass: the next one parks for the day instead
  // of spending a count on a plan that would quit at once.
  if (!(platform_.clock.nowLocal() < nextDawn)) return;

  const std::string runOnce = planDir() + kPathSeparator + "runplanonce.txt";
  if (fso->FileExists(runOnce)) fso->Remove(runOnce);

  log(kStars);
  log("**** Searching for new target " + util->FormatVar(platform_.clock.nowLocal(), "General Date"));
  log(kStars);

  selectTarget(bestScore, bestTarget, bestTargetstart);
  if (stopFlag) return;  // the loop test ends the run

  if (bestScore > kNoTarget) {
    runChosenTarget(bestTarget, bestTargetstart, targetName);
  } else {
    setStatusText("No viable target - sleeping for 5 minutes");
    log("No viable target - sleeping for 5 minutes");
    for (int i = 0; i < kNoTargetPauses; ++i) {
      Pause(platform_.events);
      if (stopFlag) break;
    }
  }
  ct.reset();
}

void frmMain::runChosenTarget(const std::string& bestTarget, std::int64_t bestTargetstart,
                              std::string& targetName) {
  updateTarget(bestTarget, bestTargetstart);

  const std::string dir = planDir();
  auto runOnce = fso->CreateTextFile(dir + kPathSeparator + "runplanonce.txt");
  runOnce->WriteLine(dir + kPathSeparator + "nightpickplan.txt");
  runOnce->Close();

  extractName(bestTarget, targetName);
  setStatusText("Running ACP plan for selected target: " + targetName);
  log("Running ACP plan for selected target:" + targetName);

  util->LoadScript(acpApp->Path() + kPathSeparator + "Scripts" + kPathSeparator + "AcquireImages.js");
  util->RunScript();

  int waited = 0;
  while (!stopFlag && !util->ScriptActive()) {
    if (waited == kScriptStartPauses) {
      log("ACP script was not seen running - going on with the next pass");
      util->AbortScript();  // a start still pending would refuse the next plan
      break;
    }
    Pause(platform_.events);
    ++waited;
  }
  while (!stopFlag && util->ScriptActive()) Pause(platform_.events);
}

void frmMain::endRun() {
  // The window returns to its stopped state whatever happens; a log that cannot be closed
  // (a full disk) is reported after that.
  std::unique_ptr<TextWriter> closing = std::move(logFile);
  std::exception_ptr closeFailure;
  if (closing) {
    try {
      closing->Close();
    } catch (...) {
      closeFailure = std::current_exception();
    }
  }
  closing.reset();
  ct.reset();
  runLocks_.clear();
  setStatusText("Nightpick stopped");
  setButtons(true, false, false);
  running_ = false;
  if (closeFailure) std::rethrow_exception(closeFailure);
}

}  // namespace np
