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

#include "base/FileSystem.h"
#include "host/HostInterfaces.h"
#include "night/NightEvents.h"
#include "settings/Settings.h"
#include "targets/ListStore.h"
#include "targets/RunLog.h"
#include "targets/Services.h"

namespace np {

class SelectionObserver;

// The status line's texts of the loop that others read back (the night report). The run
// log's lines are in targets/RunLog.h.
inline constexpr std::string_view kRunningPlanStatus = "Running ACP plan for selected target: ";
inline constexpr std::string_view kWaitingForDusk = "Waiting for Sun to reach an elevation of ";
inline constexpr std::string_view kWaitingForWeather = "Waiting for weather to be safe";
inline constexpr std::string_view kWaitingForHost = "Waiting for ACP";
// A shared list whose store cannot be reached: followed by the cause.
inline constexpr std::string_view kWaitingForList = "Waiting for the list's database: ";

// What a run decides on beside the services, filled by the start button's handler. The
// settings and the stop flag are the window's live values (the events processed in every
// wait may change them); the run log is the window's, set while the run lasts.
struct NightRun {
  IEphemeris& earthEphem;           // the run's Earth ephemeris
  Settings& settings;
  const bool& stopFlag;
  std::function<void()> saveConfig;  // SaveConfig, after an autofocus request
  std::unique_ptr<TextWriter>& logFile;
  SelectionObserver* observer = nullptr;  // hears every pass's tests, when given
  // Hears the run's events (started, the weather's changes, a group or the list finished,
  // dawn after a night), when given; the night summary's text is the sink's to make.
  NightEventSink* events = nullptr;
  // The shared list the passes read and take their runs from, when the list is not the
  // program folder's targets.txt.
  ListStore* list = nullptr;
  // Leaves the observatory safe while nothing can be observed (IHostFactory's
  // secureObservatory, told to whoever hears the run's events), when given.
  std::function<SecuringOutcome(const std::string& why)> secure;
};

// How a run ended, when it did not end by a failure.
struct RunEnd {
  // A message for the user (the Sun never reaches the dawn and dusk elevation).
  std::optional<std::string> message;
  // The run log could not be closed: to be reported once the window shows the run ended.
  std::exception_ptr closeFailure;
};

// The whole run, from the wait for an idle host to the closing of the run log. A
// run-time failure ends it, with the log closed, and propagates.
RunEnd runObservingLoop(const Services& services, NightRun& run);

}  // namespace np
