#pragma once
// The night report of a stretch of a run, from what the run left: its part of the run
// log, the acquisition log, the status line's changes and the observatory's site. Made
// after a headless run, and at dawn for the night summary of a program that runs on.
#include <cstdint>
#include <string>
#include <vector>

#include "host/HostSkeleton.h"
#include "report/NightReport.h"

namespace np {

struct RunReportSource {
  HostSkeleton& observatory;               // its logs and site
  double utcOffsetHours = 0.0;
  std::string runLogPath;                  // Nightpick.log
  std::uint64_t runLogStart = 0;           // where the stretch's part of it begins
  const std::vector<StatusChange>* statuses = nullptr;
  float sunElev = -18.0f;
  float maxElevation = 90.0f;
  bool interpolatedSun = false;            // the Sun from a daily table (a dry run)
  std::vector<ReportGroup> groups;         // the list as it stood at the start
  std::vector<KeptOutGroup> neverEligible;
  std::vector<MoonKeptOut> moonKeptOut;  // the plans the Moon kept out
};

NightReport buildRunReport(const RunReportSource& source, double startUnix, double endUnix);

// The target list's groups as they stand in `listPath` (none when it cannot be read).
std::vector<ReportGroup> reportGroupsOf(HostSkeleton& observatory, const std::string& listPath);
// The same from the list's text (a shared list's, as the run last read it).
std::vector<ReportGroup> reportGroupsOfText(HostSkeleton& observatory, const std::string& listText);

}  // namespace np
