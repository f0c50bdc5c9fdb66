#pragma once
// The night report of a headless run: what ran when, how long the run waited and why, and
// how much of the dark time went into exposures. It is worked out afterwards from what the
// run left behind (the part of the run log it wrote, the host's acquisition log and the
// status line's changes), never by repeating the program's own choices. The sky part (the
// Sun, the site's limits, the target groups) is what the picture draws around it.
#include <array>
#include <cstdint>
#include <map>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Clock.h"
#include "base/DateTime.h"
#include "host/HostInterfaces.h"
#include "selection/Selection.h"
#include "host/AcquisitionLog.h"
#include "report/ReportSun.h"

namespace np {

// A change of the status line during a run, as the report reads them.
struct StatusChange {
  double unixSeconds = 0;  // UTC
  DateTime local;
  std::string text;
};

// One plan that the run had the host execute.
struct PlanRun {
  std::string target;        // from "Running ACP plan for selected target:<name>"
  std::string scoreText;     // the last ">>> New bestscore = " of its pass, as logged
  double score = 0.0;        // scoreText as a number (NaN when the pass logged none)
  double searchUnix = 0.0;   // UTC of the pass's search banner
  bool started = false;      // the host's script became active on it (a START event)
  bool finished = false;     // an END event closed it within the run
  std::string endReason;     // the END event's reason: done, quit, aborted, weather, error
  double startUnix = 0.0;    // START (or, not started, the END or search time)
  double endUnix = 0.0;      // END, or the end of the run when it was still going
  int imagesTaken = 0;       // EXPOSURE events
  int imagesSkipped = 0;     // SKIPPED events
  double exposureSeconds = 0.0;
  double exposureSecondsInDark = 0.0;
  std::vector<double> exposureEnds;  // UTC of each EXPOSURE event
  std::string endedText;     // when set, what the report says of its end instead
};

// One target group of targets.txt as it stood when the run began.
struct ReportGroup {
  std::string name;
  double ra = 0.0;   // hours
  double dec = 0.0;  // degrees
  int remaining = 0;
};

// A group that no pass of the run found eligible, with the test it failed first in most
// passes ("target line" when its target line could not be read).
struct KeptOutGroup {
  std::string name;
  std::string test;
  int failedThere = 0;  // passes in which that test was the first it failed
  int passes = 0;       // passes that judged it
};

// A group that a pass found eligible but for the Moon: every test it failed was the
// Moon's (moon, moon-altitude).
struct MoonKeptOut {
  double unixSeconds = 0;  // UTC of the pass
  std::string name;
};

// Counts, over a run's selection passes, how often each group was eligible and which test
// it failed first (an observer of the passes), and when the Moon alone kept a group out.
class EligibilityTally : public SelectionObserver {
 public:
  // `clock`: when each pass judged (none: the Moon's marks carry no time).
  explicit EligibilityTally(const Clock* clock = nullptr) : clock_(clock) {}
  void group(std::int64_t start, const std::string& targetLine, const std::string& name, std::int16_t remaining,
             bool parsed, float ra, float dec) override;
  void tested(const TestOutcome& outcome) override;
  void scored(double elevation, const TargetScore& score, bool leads) override;
  // The groups never eligible, in the order of the list.
  std::vector<KeptOutGroup> neverEligible() const;
  // When the Moon alone kept a group out, in time order: at most one mark per group in
  // each stretch of kMoonMarkSeconds, so a season keeps a few marks a night.
  std::vector<MoonKeptOut> moonKeptOut() const;
  static constexpr double kMoonMarkSeconds = 1800.0;

 private:
  struct Entry {
    std::int64_t start = 0;
    std::string targetLine;
    std::string name;
    int passes = 0, eligible = 0, unreadable = 0;
    std::array<int, kEligibilityTests> firstFailures{};
    double lastMoonMark = -1e300;
  };
  // The group being judged failed the Moon's tests and no other.
  bool keptOutByTheMoon() const;
  void markMoon();
  const Clock* clock_ = nullptr;
  unsigned failedTests_ = 0;  // a bit per EligibilityTest the current group failed
  double passUnix_ = 0;
  std::vector<std::pair<double, std::size_t>> moonMarks_;  // time, entry
  std::map<std::string, std::size_t> byTargetLine_;
  std::vector<Entry> entries_;
  std::vector<std::size_t> byOrdinal_;  // the entry of the n-th group of the last pass
  std::size_t ordinal_ = 0;
  std::int64_t lastStart_ = -1;
  Entry* current_ = nullptr;
  bool failed_ = false;
};

struct SunSample {
  double unix = 0.0;
  double elevation = 0.0;  // degrees
};

struct NightReport {
  double startUnix = 0.0, endUnix = 0.0;
  double utcOffsetHours = 0.0;

  std::vector<PlanRun> plans;
  int searches = 0;        // search banners in the run log
  int noTargetSleeps = 0;  // "No viable target" passes

  // Status-line time, seconds.
  double waitDuskSeconds = 0.0;     // "Waiting for Sun to reach an elevation of ..."
  double waitWeatherSeconds = 0.0;  // "Waiting for weather to be safe"
  double waitTargetSeconds = 0.0;   // "No viable target - sleeping for 5 minutes"
  double waitHostSeconds = 0.0;     // "Waiting for ACP"
  std::vector<TimeSpan> weatherWaits, noTargetWaits;  // when, for the picture
  bool weatherFromGaps = false;  // the weather waits are time the run log leaves unexplained

  // Dark time: the Sun below sunElev, within the run.
  double sunElev = -18.0;
  std::vector<TimeSpan> dark;
  double darkSeconds = 0.0;
  double exposingSecondsInDark = 0.0;
  int imagesTaken = 0, imagesSkipped = 0;
  bool imagesKnown = true;  // false: no acquisition log to take the images from

  // The sky around the run, for the picture.
  double latitude = 0.0, longitude = 0.0;
  double minimumElevation = 0.0;  // the host's
  double horizonMax = 0.0;        // the highest point of the host's horizon
  double maxElevation = 90.0;     // the user's observing window
  bool limitsKnown = true;        // false: the three above are not known (not drawn)
  std::vector<ReportGroup> groups;
  std::size_t groupsNotListed = 0;  // groups left out of `groups` (not drawn, only counted)
  std::vector<KeptOutGroup> neverEligible;  // groups no pass found eligible
  std::vector<SunSample> sun;     // the Sun's elevation through the run, in time order
  std::vector<SunSample> moon;    // the Moon's altitude at the same instants (addMoonAltitude)
  std::vector<MoonKeptOut> moonKeptOut;  // groups the Moon alone kept out, when known
  std::vector<std::string> notes; // what the report could not know, printed after it
};

struct NightReportInput {
  double startUnix = 0.0, endUnix = 0.0;
  double utcOffsetHours = 0.0;
  std::string runLogText;                     // only what this run appended to Nightpick.log
  // Or the run log itself, read from the offset where this run's part begins (when the
  // path is set, runLogText is not used). It is read a line at a time: what the report
  // keeps of it is its plans, not the log.
  std::string runLogPath;
  std::uint64_t runLogStart = 0;
  std::vector<AcquisitionEvent> acquisition;  // the whole AcquireImages.log (filtered here)
  const std::vector<StatusChange>* statuses = nullptr;
  double sunElev = -18.0;
  std::optional<ReportSun> sun;               // none: no dark time, no Sun curve
  double sunSampleSeconds = 300.0;            // spacing of the Sun curve
};

// The Sun curve and the dark time of the report's span.
void addSunAndDark(NightReport& report, const ReportSun& sun, double sampleSeconds);

// The Moon's altitude at the site (report.latitude, report.longitude) at the instants of
// the Sun curve.
void addMoonAltitude(NightReport& report);

// Pairs the report's plans, in order, with the acquisition runs of its span (see below)
// and adds their images. A plan with no run keeps an end set before (or takes the
// report's end).
void pairPlansWithAcquisition(NightReport& report, const std::vector<AcquisitionEvent>& acquisition);

// Builds the report. Plan runs pair the log's "Running ACP plan for selected target:"
// lines, in order, with the acquisition runs (START ... END, or a lone END for a run that
// never became active) that began at or after their pass's search.
NightReport buildNightReport(const NightReportInput& input);

// The report as text, local times in the "YYYY-MM-DD HH:MM:SS" form.
std::string formatNightReport(const NightReport& report);

// The groups of a target list's text as the selection sees them: each group's target line
// taken apart with the host's angle conversions. Groups whose target line cannot be read
// are left out; nothing is reported.
std::vector<ReportGroup> readReportGroups(IUtil& util, const std::string& listText);

// "H:MM:SS" of a number of seconds (rounded).
std::string formatDuration(double seconds);

}  // namespace np
