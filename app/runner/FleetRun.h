#pragma once
// Several observatories (sites) that share one target list, each a headless run of its own
// program folder against its own simulated observatory, on one simulated timeline: every
// site's clock starts at the same instant and each site's reads and takes of the list
// happen in the order of their simulated times (ties: the sites' order), whatever the
// threads' own speed. So the same folders and list give the same runs, byte for byte.
//
// Each site runs on a thread of its own and goes on as far as it likes while it does not
// touch the list; a read or take at simulated time t waits until every other site still
// running has passed t (or reached it, coming later in the order), each site's clock
// being told to the timeline at every one of its waits.
#include <iosfwd>
#include <string>
#include <vector>

#include "app/runner/HeadlessRun.h"
#include "report/FleetReport.h"
#include "targets/ListStore.h"

namespace np {

struct FleetSite {
  std::string name;          // in the reports
  HeadlessOptions options;   // its program folder and observatory; start and hours are the fleet's
  ListStore* list = nullptr;  // where it reads and takes its runs: the shared list, as this site reaches it
};

struct FleetOptions {
  std::string start;   // ISO 8601 UTC; empty: clock.start of the first site's observatory.ini
  double hours = 24.0;
  // A site that keeps the others waiting this long in real time without its clock moving
  // ends their runs with an error rather than holding them for ever.
  double stallSeconds = 300.0;
};

struct FleetResult {
  int exitCode = 0;  // 0: every site's run ended by the stop
  std::vector<HeadlessResult> sites;
  std::vector<std::string> errors;  // what each site's run printed on its error stream
  std::vector<FleetTake> takes;     // every run taken, in the order taken
  FleetReport report;
};

// Runs every site from the same start for the same hours. The list's groups at the start
// are read from the first site's store before any site runs.
FleetResult runFleet(const std::vector<FleetSite>& sites, const FleetOptions& options);

// nightpick-sim --fleet: the program folders as sites sharing a copy, in memory, of the
// first folder's targets.txt, which is never written; a folder's [list] database is never
// contacted. Each site is named by its [list] site, else by its folder's name. Prints
// each site's season (or night) report under its name, then the fleet's report, on
// `out`; each site's messages and errors on `err`, after its name. The exit code.
int runFleetDryRun(const std::vector<std::string>& programDirs, const FleetOptions& options, std::ostream& out,
                   std::ostream& err);

}  // namespace np
