#include "app/FrmMain.h"

#include <filesystem>
#include <system_error>

#include "Version.h"
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
  if (view_) view_->showPrefsDialog(*fPrefsForm);
  settings.focusInterval = fPrefsForm->getFocusInterval();
  settings.maxElevation = fPrefsForm->getMaxElevation();
  settings.minAzimuth = fPrefsForm->getMinAzimuth();
  settings.maxAzimuth = fPrefsForm->getMaxAzimuth();
  settings.sunElev = fPrefsForm->getSunElev();
  SaveConfig();
}

std::string frmMain::GetEXEPath() const { return programFolderOf(platform_.executablePath); }

bool frmMain::FileExists(const std::string& fileName) const { return fileExistsAt(fileName); }

void frmMain::LoadConfig() { loadConfigFile(platform_.files, GetEXEPath() + "config.ini", settings); }

void frmMain::SaveConfig() { saveConfigFile(platform_.files, GetEXEPath() + "config.ini", settings); }

}  // namespace np
