#include "app/FrmMain.h"

#include <exception>
#include <filesystem>
#include <system_error>

#include "Version.h"
#include "night/ObservingLoop.h"
#include "base/TempName.h"
#include "settings/ConfigFile.h"

namespace np {

namespace {
const char kCreditLine[] = " - unattended target selection for the robotic observatory";
}

std::string programFolderOf(const std::string& executablePath) {
  std::string folder = std::filesystem::path(executablePath).parent_path().string();
  return withSeparator(folder);  // an executable named without a folder: the current one
}

bool fileExistsAt(const std::string& path) noexcept {
  if (path.empty()) return false;
  std::error_code ec;
  auto st = std::filesystem::status(path, ec);
  if (ec) return false;
  return std::filesystem::exists(st) && !std::filesystem::is_directory(st);
}

std::string runTimeErrorMessage(const std::string& what) { return "Run-time error: " + what; }

frmMain::frmMain(Platform& platform, MainWindowView* view) : platform_(platform), view_(view) {}

frmMain::~frmMain() = default;

void frmMain::setStatusText(const std::string& text) {
  statusText_ = text;
  if (view_) view_->statusTextChanged(text);
}

void frmMain::setButtons(bool start, bool stop, bool stopAndAbort) {
  startEnabled_ = start;
  stopEnabled_ = stop;
  stopAndAbortEnabled_ = stopAndAbort;
  if (view_) view_->buttonStatesChanged();
}

void frmMain::Form_Load() {
  fso = &platform_.files;
  util = platform_.host.createUtil();
  telescope = platform_.host.createTelescope();
  acpApp = platform_.host.createApplication();
  LoadConfig();
  fPrefsForm = std::make_unique<frmPrefs>();
  // Said while the operator is at the window, not hours later at the first plan.
  const std::string problem = folderWriteProblem(*fso, GetEXEPath());
  if (!problem.empty()) {
    platform_.messages.showMessage("Nightpick cannot write in its program folder " + withoutSeparator(GetEXEPath()) +
                                   ": config.ini and the target list are written there, so a run cannot start. "
                                   "Move Nightpick to a folder this user can write. (" +
                                   problem + ")");
  }
}

void frmMain::Form_Unload() {
  SaveConfig();
  stopFlag = true;
  if (view_) view_->unloadOtherWindows();
}

void frmMain::StopButton_Click() {
  stopFlag = true;
  setStatusText("Nightpick stopping");
}

void frmMain::StopAndAbortButton_Click() {
  stopFlag = true;
  setStatusText("Nightpick and ACP stopping");
  if (util->ScriptActive()) util->AbortScript();
}

std::string frmMain::aboutText() const {
  return std::string("Nightpick") + kCreditLine + " - Version " + std::to_string(kVersionMajor) + "." +
         std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision);
}

void frmMain::About_Click() { platform_.messages.showMessage(aboutText()); }

void frmMain::PrefsButton_Click() {
  fPrefsForm->setFocusInterval(settings.focusInterval);
  fPrefsForm->setMaxElevation(settings.maxElevation);
  fPrefsForm->setMinAzimuth(settings.minAzimuth);
  fPrefsForm->setMaxAzimuth(settings.maxAzimuth);
  fPrefsForm->setSunElev(settings.sunElev);
  // The dialog holds the run: whoever follows the run log sees it up to here. A failed
  // write is reported by the run at its next flush or close.
  try {
    if (logFile) logFile->Flush();
  } catch (const RunTimeError&) {
  }
  if (view_) view_->showPrefsDialog(*fPrefsForm);
  settings.focusInterval = fPrefsForm->getFocusInterval();
  settings.maxElevation = fPrefsForm->getMaxElevation();
  settings.minAzimuth = fPrefsForm->getMinAzimuth();
  settings.maxAzimuth = fPrefsForm->getMaxAzimuth();
  settings.sunElev = fPrefsForm->getSunElev();
  SaveConfig();
}

// One run at a time on a program folder and on a host: a second copy of the program
// would rewrite the same target list and hand plans to the same host. The locks are the
// operating system's, so they go with the process however it ends.
bool frmMain::lockRun() {
  const std::string folders[] = {GetEXEPath(), util->Prefs().LocalUser().DefaultPlanDir()};
  for (const std::string& folder : folders) {
    std::unique_ptr<FileLock> lock = fso->LockFolder(folder);
    if (!lock) {
      runLocks_.clear();
      platform_.messages.showMessage("Nightpick is already running on this folder: " + folder);
      return false;
    }
    runLocks_.push_back(std::move(lock));
  }
  // A copy killed in the middle of a settings save left its temporary file beside
  // config.ini; with the folder held, no other copy can be writing one now.
  removeAbandonedTempFiles(*fso, GetEXEPath(), kConfigFileName);
  return true;
}

// The folders a run writes in take a file of the program's own; otherwise the operator
// is told which and why, now, and the run does not start.
bool frmMain::foldersWritable() {
  const std::pair<std::string, std::string> folders[] = {
      {"its program folder (config.ini and the target list)", GetEXEPath()},
      {"the host's plan folder", util->Prefs().LocalUser().DefaultPlanDir()},
      {"the host's log folder", util->Prefs().LocalUser().DefaultLogDir()}};
  for (const auto& [what, folder] : folders) {
    const std::string problem = folderWriteProblem(*fso, folder);
    if (!problem.empty()) {
      platform_.messages.showMessage("Nightpick cannot start: it cannot write in " + what + " " +
                                     withoutSeparator(folder) + ". " + problem);
      return false;
    }
  }
  return true;
}

// The observing loop (night/ObservingLoop.h) on the window's objects and settings; it
// returns when the run has ended.
void frmMain::StartButton_Click() {
  // A folder that is missing or cannot be written is named before its lock is asked for:
  // the lock of a folder that is no folder fails as a run-time error, which would end the
  // program instead of leaving the window to the operator. The check's probe carries this
  // process's number, so another copy's run in the same folder is not disturbed by it.
  startRefused_ = false;
  if (!foldersWritable()) {
    // A start that cannot run leaves the observatory as safe as any end of a run.
    secure("the run could not start: a folder it writes in cannot be written");
    return;
  }
  startRefused_ = !lockRun();
  if (startRefused_) return;
  setButtons(false, true, true);
  running_ = true;
  RunEnd end;
  try {
    std::unique_ptr<IEphemeris> earthEphem = platform_.ephemeris.createEphemeris();
    earthEphem->setBodyType(0);
    earthEphem->setNumber(3);
    LoadConfig();
    stopFlag = false;
    NightRun night{.earthEphem = *earthEphem,
                   .settings = settings,
                   .stopFlag = stopFlag,
                   .saveConfig = [this] { SaveConfig(); },
                   .logFile = logFile,
                   .observer = selectionObserver,
                   .events = nightEvents,
                   .list = listStore,
                   .secure = [this](const std::string& why) { return secure(why); }};
    end = runObservingLoop(services(), night);
  } catch (const std::exception& e) {
    // A run-time failure ends the program: the loop has closed the log, the observatory is
    // secured and the window is back in its stopped state before the failure is reported.
    secure(std::string("a run-time failure: ") + e.what());
    tell(NightEventKind::Failure, e.what());
    endRun();
    throw;
  } catch (...) {
    secure("a run-time failure");
    tell(NightEventKind::Failure, "unknown error");
    endRun();
    throw;
  }
  const std::string why = end.message ? "the run ended: " + *end.message : std::string("the run was stopped");
  secure(why);
  tell(NightEventKind::Stopped, why);
  endRun();
  // The window is back in its stopped state before anything is reported.
  if (end.closeFailure) std::rethrow_exception(end.closeFailure);
  if (end.message) platform_.messages.showMessage(*end.message);
}

void frmMain::tell(NightEventKind kind, const std::string& text) {
  if (nightEvents) nightEvents->nightEvent(kind, text);
}

SecuringOutcome frmMain::secure(const std::string& why) {
  const SecuringOutcome outcome = platform_.host.secureObservatory(why);
  if (outcome.kept)
    tell(outcome.secured ? NightEventKind::Secured : NightEventKind::NotSecured,
         outcome.text.empty() ? why : outcome.text);
  return outcome;
}

Services frmMain::services() {
  if (!util || !telescope || !acpApp) throw RunTimeError("Object variable not set: the host objects");
  return Services{.util = *util,
                  .telescope = *telescope,
                  .acpApp = *acpApp,
                  .ephemeris = platform_.ephemeris,
                  .files = platform_.files,
                  .clock = platform_.clock,
                  .events = platform_.events,
                  .messages = platform_.messages,
                  .setStatusText = [this](const std::string& text) { setStatusText(text); },
                  .locale = platform_.locale,
                  .programFolder = GetEXEPath()};
}

void frmMain::endRun() {
  runLocks_.clear();
  setStatusText(std::string(kStoppedStatus));
  setButtons(true, false, false);
  running_ = false;
}

bool frmMain::handleEvent(const std::function<void()>& handler) {
  std::string what;
  try {
    handler();
    return true;
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
    what = "unknown error";
  }
  platform_.messages.showMessage(runTimeErrorMessage(what));
  if (view_) view_->exitProgram(1);
  return false;
}

void frmMain::startClicked() {
  // Every other handler runs nested inside the run's waits.
  const bool ok = handleEvent([this] { StartButton_Click(); });
  if (ok && exitAfterRun_) {
    exitAfterRun_ = false;
    if (view_) view_->exitProgram(0);
  }
}

void frmMain::windowClosed() {
  if (unloaded_) return;
  unloaded_ = true;
  if (!handleEvent([this] { Form_Unload(); })) return;
  if (running_) {
    // The run notices the stop request at its next check; the program ends with it.
    exitAfterRun_ = true;
    return;
  }
  if (view_) view_->exitProgram(0);
}

std::string frmMain::GetEXEPath() const { return programFolderOf(platform_.executablePath); }

bool frmMain::FileExists(const std::string& fileName) const { return fileExistsAt(fileName); }

void frmMain::LoadConfig() { loadConfigFile(platform_.files, GetEXEPath() + std::string(kConfigFileName), settings); }

void frmMain::SaveConfig() { saveConfigFile(platform_.files, GetEXEPath() + std::string(kConfigFileName), settings); }

}  // namespace np
