#pragma once
// The plan writer: writes the host's observing plan for the chosen group and rewrites the
// target list with that group's remaining count one lower, in one pass over the list.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/Ui.h"
#include "base/Clock.h"
#include "base/DateTime.h"
#include "base/FileSystem.h"
#include "host/HostInterfaces.h"
#include "settings/Settings.h"

namespace np {

inline constexpr const char* kUpdatingStatus = "Updating targets file";
inline constexpr std::string_view kPlanFileName = "nightpickplan.txt";
// Minutes to days as the autofocus interval has always been converted (not exactly 1/1440).
inline constexpr double kMinutesToDays = 0.0006944444;

// What the update works with. `settings` is the main window's: lastFocusJD is read and,
// after an autofocus request, set and saved through saveConfig.
struct PlanContext {
  FileSystem& files;
  IUtil& util;
  TextWriter& log;
  MessageSink& messages;
  const Clock& clock;
  Settings& settings;
  DateTime quitTime;
  std::string programFolder;  // holds targets.txt; ends with the path separator
  std::function<void(const std::string&)> setStatusText;
  std::function<void()> saveConfig;
};

// The plan file in the host's default plan folder.
std::string planFilePath(IUtil& util);

// True when more than focusInterval minutes (converted with kMinutesToDays) have passed
// from lastFocusJD to nowJD.
bool autofocusDue(double nowJD, double lastFocusJD, std::int16_t focusInterval);

// The count written back after a run: one lower, but -32768 stays -32768.
std::int16_t lowerCount(std::int16_t remaining);

// Writes the plan for the group that starts after line `bestTargetstart` (0: the first
// group) and puts a copy of the list with that group's count lowered in place of
// targets.txt in one step (through newtargets.txt), so that targets.txt always holds a
// complete list. A delimiter line whose count cannot be read is copied unchanged. The
// plan is written and closed before the list is replaced, so a plan that cannot be
// written costs no count; a list that is a symbolic link is rewritten where it leads, and
// a UTF-8 byte-order mark stays at its head but never reaches the plan.
// Failures propagate as RunTimeError.
void updateTarget(PlanContext& context, std::int64_t groupStart);
// The same with the main window's arguments; `bestTarget` is not consulted.
void updateTarget(PlanContext& context, const std::string& bestTarget, std::int64_t bestTargetstart);

}  // namespace np
