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
// A script that has not started after this many pauses is taken as ended: a host script
// that finished before the loop first saw it running must not stall the night.
constexpr int kScriptStartPauses = 60;
const std::string kStars(64, '*');
}  // namespace

void frmMain::log(const std::string& line) { logFile->WriteLine(line); }

std::string frmMain::planDir() { return util->Prefs().LocalUser().DefaultPlanDir(); }

void frmMain::StartButton_Click() {
  setButtons(false, true, true);
  running_ = true;
  try {
    earthEphem = platform_.ephemeris.createEphemeris();
    earthEphem->setBodyType(0);
    earthEphem->setNumber(3);
    LoadConfig();
    stopFlag = false;
    while (!stopFlag && util->ScriptActive()) {
      setStatusText("Waiting for ACP");
      Pause(platform_.events);
    }
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
    running_ = false;
    throw;
  }
  endRun();
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
  double J = util->Date_Julian(nextDawn);
  double L = telescope->SiteLongitude();
  quitTime = util->Julian_Date(J - std::trunc(L / 15.0) / 24.0);

  if (util->WeatherConnected()) {
    while (!stopFlag && !util->Weather().Safe()) {
      setStatusText("Waiting for weather to be safe");
      Pause(platform_.events);
    }
  }

  const std::string runOnce = planDir() + kPathSeparator + "runplanonce.txt";
  if (fso->FileExists(runOnce)) fso->DeleteFile(runOnce);

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
      break;
    }
    Pause(platform_.events);
    ++waited;
  }
  while (!stopFlag && util->ScriptActive()) Pause(platform_.events);
}

void frmMain::endRun() {
  if (logFile) {
    logFile->Close();
    logFile.reset();
  }
  ct.reset();
  setStatusText("Nightpick stopped");
  setButtons(true, false, false);
  running_ = false;
}

}  // namespace np
