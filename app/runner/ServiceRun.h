#pragma once
// nightpick-headless: the windowed program without its window, for an observatory
// computer with no screen (a service). It loads the program and the host as the window
// does, presses Start at once and runs in real time until it is asked to stop; a stop
// request is the window's "Stop Nightpick and ACP" button, followed by the window's close.
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "base/NumberText.h"

namespace np {

class StatusBoard;
struct StatusConfig;

struct ServiceOptions {
  std::string programDir = ".";  // holds targets.txt and config.ini
  std::string hostDir;           // empty: "observatory" inside programDir
  NumberLocale locale{'.'};      // numbers in the run log and the status line
  // With [status] listen: starts serving the board (the server lives as long as what it
  // returns); a RunTimeError when it cannot. Empty: no status page in this build.
  std::function<std::shared_ptr<void>(const StatusBoard&, const StatusConfig&)> serveStatus;
  std::string pictureModuleFolder;  // where the report's picture module lies; empty: no picture
};

// Exit statuses: a run ended by a stop request, and everything else (a run-time
// failure, a copy refused by the folder's lock, a run that ended by itself).
inline constexpr int kServiceStopped = 0;
inline constexpr int kServiceFailed = 1;

// Runs until the run has ended. `stopRequested` is asked at every event processing of
// the run; once it says true, Stop Nightpick and ACP is pressed (the run ends at its next
// check, aborting the host's script), and the window's close follows (config.ini saved).
// Status changes go to `out` as "<local time> <status text>", each line flushed;
// messages to `err` as "message: <text>", a failure as "error: <text>".
int runService(const ServiceOptions& options, const std::function<bool()>& stopRequested, std::ostream& out,
               std::ostream& err);

}  // namespace np
