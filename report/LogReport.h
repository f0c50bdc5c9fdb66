#pragma once
// The night report of a run that is over, built from what it left: the program's run log
// (Nightpick.log, the windowed program's as much as a headless run's) and, where it lies
// beside it and is the simulated observatory's, the acquisition log. The log is read a
// line at a time; what is kept is the plans, the waits and one entry per target seen.
#include <optional>
#include <string>
#include <string_view>

#include "report/NightReport.h"
#include "base/DateTime.h"

namespace np {

// How the log's dates are written: the host renders them in the observatory computer's
// own date format. Automatic reads "YYYY-MM-DD", "M/D/YYYY ... AM|PM" and, without AM or
// PM, "D/M/YYYY" and "D.M.YYYY".
enum class LogDateOrder { Automatic, MonthDayYear, DayMonthYear, YearMonthDay };

// A date-time of the run log (a date alone is midnight); false when it is none of the forms.
bool parseLogDateTime(std::string_view text, LogDateOrder order, CivilTime& out);

struct LogReportOptions {
  std::string logPath;
  std::string acquisitionLogPath;  // empty: AcquireImages.log beside the run log
  double latitude = 0.0, longitude = 0.0;  // degrees, north and east positive
  double utcOffsetHours = 0.0;             // the zone of the log's date-times
  double sunElev = -18.0;                  // dusk and dawn, for the dark time
  // The site's limits, when known (from the observatory's configuration).
  bool limitsKnown = false;
  double minimumElevation = 0.0, horizonMax = 0.0, maxElevation = 90.0;
  // The stretch to report, UTC; without them, from the log's first date to its last.
  std::optional<double> startUnix, endUnix;
  LogDateOrder dateOrder = LogDateOrder::Automatic;
  double sunSampleSeconds = 300.0;
};

struct LogReportResult {
  bool ok = false;
  std::string error;  // why there is no report
  NightReport report;
};

LogReportResult buildReportFromLog(const LogReportOptions& options);

}  // namespace np
