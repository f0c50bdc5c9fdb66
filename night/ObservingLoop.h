#pragma once
// The observing loop: one run, from the wait for an idle host to the closing of the run
// log, night after night until the stop flag is set. It runs on the window's thread; every
// wait is made of pauses (pending events, then one second), inside which the window's
// other handlers run and may set the stop flag or change the settings.
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/Clock.h"
#include "base/DateTime.h"
#include "base/FileSystem.h"
#include "base/Ui.h"
#include "base/NumberText.h"
#include "host/HostInterfaces.h"
#include "settings/Settings.h"

namespace np {

class SelectionObserver;

// The run log and the texts of the loop that others read back (the night report).
inline constexpr std::string_view kRunLogName = "Nightpick.log";
inline constexpr std::string_view kSearchBanner = "**** Searching for new target ";
inline constexpr std::string_view kRunningPlanLog = "Running ACP plan for selected target:";
inline constexpr std::string_view kRunningPlanStatus = "Running ACP plan for selected target: ";
inline constexpr std::string_view kNoViableTarget = "No viable target - sleeping for 5 minutes";
inline constexpr std::string_view kWaitingForDusk = "Waiting for Sun to reach an elevation of ";
inline constexpr std::string_view kWaitingForWeather = "Waiting for weather to be safe";
inline constexpr std::string_view kWaitingForHost = "Waiting for ACP";
inline constexpr std::string_view kDaytimeLog = "Currently daytime (";
inline constexpr std::string_view kScriptNotSeen = "ACP script was not seen running - going on with the next pass";

// What a run works with. The host objects, the Earth ephemeris and the files are the
// main window's; the settings and the stop flag are its live values. The run sets the
// window's run log, transform and quit time (its data model) and leaves the log closed
// and the transform released when it returns.
struct NightContext {
  IUtil& util;
  ITelescope& telescope;
  IApplication& acpApp;
  IEphemeris& earthEphem;
  IEphemerisFactory& ephemeris;
  FileSystem& files;
  const Clock& clock;
  EventPump& events;
  MessageSink& messages;
  NumberLocale locale;
  std::string programFolder;  // holds targets.txt; ends with the path separator
  Settings& settings;
  const bool& stopFlag;
  std::function<void(const std::string&)> setStatusText;
  std::function<void()> saveConfig;
  // The window's data model, set by the run.
  std::unique_ptr<TextWriter>& logFile;
  std::unique_ptr<ICoordinateTransform>& ct;
  DateTime& quitTime;
  SelectionObserver* selectionObserver = nullptr;  // hears every pass's tests, when given
};

// How a run ended, when it did not end by a failure.
struct RunEnd {
  // A message for the user (the Sun never reaches the dawn and dusk elevation).
  std::optional<std::string> message;
  // The run log could not be closed: to be reported once the window shows the run ended.
  std::exception_ptr closeFailure;
};

// The whole run. A run-time failure ends it, with the log closed, and propagates.
RunEnd runObservingLoop(NightContext& context);

}  // namespace np
