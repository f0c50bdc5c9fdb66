#include "targets/RunLog.h"

#include "base/NumberText.h"

namespace np {

std::string starsLine() { return std::string(64, '*'); }

std::string searchBannerLine(std::string_view now) {
  std::string line(kSearchBanner);
  line.append(now);
  return line;
}

std::string daytimeLine(std::string_view now, std::string_view dusk) {
  std::string line(kDaytimeLog);
  line.append(now).append(kDuskAtLog).append(dusk);
  return line;
}

std::string runningPlanLine(std::string_view targetName) {
  std::string line(kRunningPlanLog);
  line.append(targetName);
  return line;
}

std::string passedOverLine(std::string_view targetName, std::int64_t listLine, std::string_view why) {
  std::string line(kPassedOverLog);
  line.append(targetName);
  line.append(" (the group on line " + std::to_string(listLine) + " of targets.txt): its plan cannot run as written: ");
  line.append(why);
  return line;
}

std::string remainingCountLine(std::int16_t count) {
  std::string line(kRemainingCountLog);
  line.append(std::to_string(count));
  return line;
}

void targetLine(std::string& line, std::string_view name, float ra, float dec, char separator) {
  line.assign(kTargetLog).append(name).append(" RA=");
  appendSingle(line, ra, separator);
  line.append(", DEC=");
  appendSingle(line, dec, separator);
}

void scoreLine(std::string& line, float score, double elevation, double transitAltitude, double hourAngle,
               char separator) {
  line.assign(kScoreLog);
  appendSingle(line, score, separator);
  line.append(" Elev=");
  appendDouble(line, elevation, separator);
  line.append(" TransitAlt=");
  appendDouble(line, transitAltitude, separator);
  line.append(" HADiff=");
  appendDouble(line, hourAngle, separator);
}

void newBestScoreLine(std::string& line, float score, char separator) {
  line.assign(kNewBestScoreLog);
  appendSingle(line, score, separator);
}

RunLogLine readRunLogLine(std::string_view text) {
  RunLogLine read;
  if (text.starts_with(kSearchBanner)) {
    read.entry = RunLogEntry::Search;
    read.when = text.substr(kSearchBanner.size());
  } else if (text.starts_with(kDaytimeLog)) {
    read.entry = RunLogEntry::Daytime;
    const std::string_view rest = text.substr(kDaytimeLog.size());
    const std::size_t at = rest.find(kDuskAtLog);
    read.when = rest.substr(0, at);
    if (at != std::string_view::npos) read.dusk = rest.substr(at + kDuskAtLog.size());
  } else if (text.starts_with(kTargetLog)) {
    read.entry = RunLogEntry::Target;
    // The name may hold anything but a tab, " RA=" included: the last ones count.
    const std::string_view rest = text.substr(kTargetLog.size());
    const std::size_t ra = rest.rfind(" RA=");
    const std::size_t dec = rest.rfind(", DEC=");
    if (ra == std::string_view::npos || dec == std::string_view::npos || dec < ra) {
      read.name = rest;
    } else {
      read.name = rest.substr(0, ra);
      read.ra = rest.substr(ra + 4, dec - ra - 4);
      read.dec = rest.substr(dec + 6);
    }
  } else if (text.starts_with(kNewBestScoreLog)) {
    read.entry = RunLogEntry::NewBestScore;
    read.value = text.substr(kNewBestScoreLog.size());
  } else if (text.starts_with(kRunningPlanLog)) {
    read.entry = RunLogEntry::RunningPlan;
    read.name = text.substr(kRunningPlanLog.size());
  } else if (text == kNoViableTarget) {
    read.entry = RunLogEntry::NoViableTarget;
  } else if (text == kScriptNotSeen) {
    read.entry = RunLogEntry::ScriptNotSeen;
  }
  return read;
}

std::string takenElsewhereLine(std::int64_t groupLine) {
  return "Another observatory took the last run of the group at line " + std::to_string(groupLine) +
         " - selecting again";
}

}  // namespace np
