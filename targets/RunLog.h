#pragma once
// The run log (Nightpick.log in the host's log folder): every line a run writes to it, in
// one place, and the reading of those lines back. The observing loop, the selection pass
// and the plan writer write their entries through the functions below (each entry one
// WriteLine); the night reports read a finished log with readRunLogLine. Date-times in the
// log are the host's rendering ("General Date"), passed in and read back as text.
#include <cstdint>
#include <string>
#include <string_view>

namespace np {

inline constexpr std::string_view kRunLogName = "Nightpick.log";

// ---- what the run writes ----
inline constexpr std::string_view kSearchBanner = "**** Searching for new target ";
inline constexpr std::string_view kDaytimeLog = "Currently daytime (";
inline constexpr std::string_view kDuskAtLog = ") - waiting for dusk at ";
inline constexpr std::string_view kTargetLog = "Target: ";
inline constexpr std::string_view kScoreLog = "  Score=";
inline constexpr std::string_view kNewBestScoreLog = "  >>> New bestscore = ";
inline constexpr std::string_view kUpdatingLog = "Updating targets file";
inline constexpr std::string_view kAutofocusLog = "Performing autofocus on this target";
inline constexpr std::string_view kRemainingCountLog = "Remaining count for best target = ";
inline constexpr std::string_view kRunningPlanLog = "Running ACP plan for selected target:";
inline constexpr std::string_view kNoViableTarget = "No viable target - sleeping for 5 minutes";
inline constexpr std::string_view kListBack = "The list's database can be reached again";
inline constexpr std::string_view kScriptNotSeen = "ACP script was not seen running - going on with the next pass";
inline constexpr std::string_view kPassedOverLog = "Passed over for the rest of this run: ";

// The line of stars around a search banner.
std::string starsLine();
// "**** Searching for new target <now>".
std::string searchBannerLine(std::string_view now);
// "Currently daytime (<now>) - waiting for dusk at <dusk>".
std::string daytimeLine(std::string_view now, std::string_view dusk);
// "Running ACP plan for selected target:<name>".
std::string runningPlanLine(std::string_view targetName);
// "Passed over for the rest of this run: <name> (the group on line <line> of targets.txt):
// its plan cannot run as written: <why>".
std::string passedOverLine(std::string_view targetName, std::int64_t listLine, std::string_view why);
// "Remaining count for best target = <count>".
std::string remainingCountLine(std::int16_t count);
// A shared list's group whose last run another observatory took between the pass's
// reading of the list and its take; `groupLine` is the group's first line, from 1.
std::string takenElsewhereLine(std::int64_t groupLine);
// An eligible group's lines, built in `line` (reused from group to group: a pass over a
// long list makes no new strings): "Target: <name> RA=<ra>, DEC=<dec>", then
// "  Score=<score> Elev=<elevation> TransitAlt=<transit> HADiff=<hour angle>", then,
// when it leads, "  >>> New bestscore = <score>". Numbers in the general form with
// `separator` as the decimal separator.
void targetLine(std::string& line, std::string_view name, float ra, float dec, char separator);
void scoreLine(std::string& line, float score, double elevation, double transitAltitude, double hourAngle,
               char separator);
void newBestScoreLine(std::string& line, float score, char separator);

// ---- reading it back ----
enum class RunLogEntry {
  Other,          // anything else: stars, the plan writer's lines, a message of the run
  Search,         // a search banner; `when`
  Daytime,        // a day's wait; `when`, `dusk` (empty when the line is cut short)
  Target,         // an eligible group; `name`, `ra`, `dec` (texts, empty when unreadable)
  NewBestScore,   // `value`: the score as written
  RunningPlan,    // `name`: the target handed to the host
  NoViableTarget,
  ScriptNotSeen,
};

// One line of a run log taken apart; the views point into the line.
struct RunLogLine {
  RunLogEntry entry = RunLogEntry::Other;
  std::string_view when, dusk, name, ra, dec, value;
};

// `line` without its line end.
RunLogLine readRunLogLine(std::string_view line);

}  // namespace np
