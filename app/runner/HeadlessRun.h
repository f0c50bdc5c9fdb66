#pragma once
// The headless run: the program's own observing loop against the simulated observatory on
// a clock that runs as fast as the machine allows. Only the wait, the message sink and the
// status line differ from the windowed program.
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "report/NightReport.h"
#include "report/SeasonReport.h"
#include "base/DateTime.h"
#include "base/FileSystem.h"
#include "host/HostInterfaces.h"
#include "targets/ListStore.h"

namespace np {

class StatusBoard;

struct HeadlessOptions {
  std::string programDir = ".";  // holds targets.txt and config.ini
  std::string hostDir;           // empty: "observatory" inside programDir
  std::string start;             // ISO 8601 UTC; empty: the observatory's clock.start
  double hours = 24.0;           // simulated time until the runner presses Stop
  long stopAfterPlans = 0;       // press Stop once this many plans have finished (0: never)
  // A dry run works on a scratch copy of a program folder: its files replace each other in
  // one step as ever, but nothing waits for the disk (Always: as the real program does).
  DiskSync diskSync = DiskSync::Never;
  // The Sun from a daily table of the Earth's orbit instead of the whole series at every
  // instant (false: as the real program does).
  bool interpolatedSun = true;
  // The host as the program reaches it, made over the simulated observatory for the run
  // (for example its automation objects through COM); empty: the observatory directly.
  std::function<std::unique_ptr<IHostFactory>(IHostFactory& observatory)> reachHost;
  // A status page over the run: the board is filled on the run's thread, and whatever
  // serves it lives as long as what this returns. Empty: none.
  std::function<std::shared_ptr<void>(const StatusBoard&)> serveStatus;
  // The list the passes read and take their runs from in place of the program folder's
  // targets.txt, which is then neither read nor written (the reports' groups are the
  // store's at the start). Null: targets.txt.
  ListStore* list = nullptr;
  // Told the run's clock at every event processing (after each wait has moved it on),
  // before the runner's own checks: a timeline the run shares with others may hold it
  // there. Empty: nothing is told.
  std::function<void(double unixSeconds)> clockMoved;
};

struct HeadlessResult {
  int exitCode = 0;         // 0: the run ended by the stop
  std::string error;        // the run-time failure that ended it, if any
  double startUnix = 0, endUnix = 0;
  double utcOffsetHours = 0;
  std::string hostDir, programDir;
  std::vector<StatusChange> statuses;  // every change of the status line, in order
  std::vector<std::string> messages;   // every message box, in order
  bool hasReport = false;              // the run got as far as its start
  NightReport report;                  // a run of a day or less
  bool isSeason = false;               // a longer run: its report is `season`, and no
  SeasonReport season;                 // status change is kept in `statuses`
};

// Runs one headless run. Status changes go to `out` as "<local time> <status text>",
// messages to `err` as "message: <text>", a failure to `err` as "error: <text>". Once the
// run has ended (by the stop or by a failure) the night report follows on `out`; for a
// run of more than kSeasonAfterHours, the season report.
HeadlessResult runHeadless(const HeadlessOptions& options, std::ostream& out, std::ostream& err);

}  // namespace np
