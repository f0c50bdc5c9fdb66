// The main window's target-list methods: they hand the window's state to the units of
// targets/ and selection/.
#include <string>

#include "app/FrmMain.h"
#include "base/Errors.h"
#include "selection/Selection.h"
#include "targets/PlanWriter.h"
#include "targets/TargetList.h"

namespace np {

namespace {

template <typename T>
T& required(T* object, const char* what) {
  if (object == nullptr) throw RunTimeError(std::string("Object variable not set: ") + what);
  return *object;
}

}  // namespace

bool frmMain::parseTarget(const std::string& target, std::string& targetName, float& targetRA, float& targetDec) {
  return np::parseTarget(required(util.get(), "util"), platform().messages, target, targetName, targetRA, targetDec);
}

bool frmMain::extractName(const std::string& target, std::string& targetName) {
  return np::extractName(platform().messages, target, targetName);
}

bool frmMain::parseTargetConfig(const std::string& targetConfig, std::int16_t& remaining) {
  return np::parseTargetConfig(platform().messages, targetConfig, remaining);
}

bool frmMain::selectTarget(float& bestScore, std::string& bestTarget, std::int64_t& bestTargetstart) {
  SelectionContext context{
      required(fso, "fso"),
      required(util.get(), "util"),
      required(telescope.get(), "telescope"),
      required(logFile.get(), "logFile"),
      platform().messages,
      settings,
      stopFlag,
      platform().events,
      [this](const std::string& text) { setStatusText(text); },
      ct,
      GetEXEPath() + std::string(kTargetListName),
      platform().locale,
  };
  return np::selectTarget(context, bestScore, bestTarget, bestTargetstart);
}

void frmMain::updateTarget(const std::string& bestTarget, std::int64_t bestTargetstart) {
  PlanContext context{
      required(fso, "fso"),
      required(util.get(), "util"),
      required(logFile.get(), "logFile"),
      platform().messages,
      platform().clock,
      settings,
      quitTime,
      GetEXEPath(),
      [this](const std::string& text) { setStatusText(text); },
      [this] { SaveConfig(); },
  };
  np::updateTarget(context, bestTarget, bestTargetstart);
}

}  // namespace np
