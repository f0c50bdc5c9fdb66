#include "report/SeasonReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <fstream>

#include "base/NumberText.h"
#include "host/AcquisitionLog.h"
#include "host/UtcTime.h"
#include "night/ObservingLoop.h"
#include "selection/Selection.h"
#include "targets/RunLog.h"

namespace np {

namespace {

constexpr double kDay = 86400.0;
constexpr int kOtherStatus = 0, kWeatherStatus = 1, kNoTargetStatus = 2;

// The night number of a UTC instant: local noon to local noon, counted from 1970.
double nightNumber(double unixSeconds, double utcOffsetHours) {
  return std::floor((unixSeconds + utcOffsetHours * 3600.0 - kDay / 2) / kDay);
}

std::string hoursText(double seconds) { return formatDuration(std::max(0.0, seconds)); }

std::string dateText(const DateTime& day) {
  const std::string general = formatGeneralDate(day);
  return general.substr(0, 10);
}

std::string padRight(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

std::string padLeft(const std::string& text, std::size_t width) {
  return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

}  // namespace

SeasonReportBuilder::SeasonReportBuilder(double startUnix, double utcOffsetHours,
                                         const std::vector<ReportGroup>& groups) {
  r_.startUnix = startUnix;
  r_.utcOffsetHours = utcOffsetHours;
  r_.groups.reserve(groups.size());
  for (const ReportGroup& g : groups) {
    SeasonGroup row;
    row.name = g.name;
    row.remainingAtStart = g.remaining;
    groupByName_.emplace(g.name, static_cast<std::uint32_t>(r_.groups.size()));
    r_.groups.push_back(std::move(row));
  }
  statusSince_ = startUnix;
  searchUnix_ = startUnix;
}

std::size_t SeasonReportBuilder::nightAt(double unixSeconds) {
  const double first = nightNumber(r_.startUnix, r_.utcOffsetHours);
  const double n = std::max(0.0, nightNumber(unixSeconds, r_.utcOffsetHours) - first);
  const auto index = static_cast<std::size_t>(n);
  while (r_.nights.size() <= index) {
    SeasonNight night;
    const double number = first + static_cast<double>(r_.nights.size());
    night.windowStart = number * kDay + kDay / 2 - r_.utcOffsetHours * 3600.0;
    night.evening.serial = std::floor(localFromUnix(night.windowStart, r_.utcOffsetHours).serial);
    addSun(night);
    r_.nights.push_back(night);
  }
  return index;
}

void SeasonReportBuilder::addSun(SeasonNight& night) {
  if (!sun_) return;
  const double from = night.windowStart, to = night.windowStart + kDay;
  const std::vector<TimeSpan> dark = sun_->darkSpans(r_.sunElev, from, to);
  const std::vector<TimeSpan> down = sun_->darkSpans(0.0, from, to);
  if (!dark.empty()) night.dark = {dark.front().start, dark.back().end};
  if (!down.empty()) night.sunDown = {down.front().start, down.back().end};
}

void SeasonReportBuilder::setSun(ReportSun sun, double sunElev) {
  sun_ = std::move(sun);
  r_.sunElev = sunElev;
  for (SeasonNight& night : r_.nights) addSun(night);
}

void SeasonReportBuilder::addSpan(double from, double to, int kind) {
  if (kind == kOtherStatus) return;
  while (to > from) {
    SeasonNight& night = r_.nights[nightAt(from)];
    const double until = std::min(to, night.windowStart + kDay);
    const double inDark = std::min(until, night.dark.end) - std::max(from, night.dark.start);  // NaN: no dark
    if (inDark > 0) (kind == kWeatherStatus ? night.weatherSeconds : night.noTargetSeconds) += inDark;
    from = until;
  }
}

void SeasonReportBuilder::status(double unixSeconds, std::string_view text) {
  addSpan(statusSince_, unixSeconds, statusKind_);
  if (text == kSelectingStatus) {
    ++r_.searches;
    searchUnix_ = unixSeconds;
  } else if (text.substr(0, kRunningPlanStatus.size()) == kRunningPlanStatus) {
    LoggedPlan plan{searchUnix_, kNoGroup};
    if (auto it = groupByName_.find(std::string(text.substr(kRunningPlanStatus.size()))); it != groupByName_.end())
      plan.group = it->second;
    handedOver_.push_back(plan);
  }
  statusKind_ = text == kWaitingForWeather ? kWeatherStatus : text == kNoViableTarget ? kNoTargetStatus : kOtherStatus;
  statusSince_ = std::max(statusSince_, unixSeconds);
}

SeasonReport SeasonReportBuilder::finish(double endUnix, const std::string& acquisitionLogPath,
                                         const std::vector<KeptOutGroup>& neverEligible,
                                         const std::vector<MoonKeptOut>& moonKeptOut) {
  r_.endUnix = std::max(endUnix, r_.startUnix);
  addSpan(statusSince_, r_.endUnix, statusKind_);
  statusSince_ = r_.endUnix;
  // Every night the run touched, and no empty one after a run that ends at noon.
  nightAt(r_.startUnix);
  nightAt(std::max(r_.startUnix, r_.endUnix - 1.0));

  // Dark time within the run.
  if (sun_) {
    for (SeasonNight& night : r_.nights)
      night.darkSeconds = std::max(0.0, std::min(night.dark.end, r_.endUnix) - std::max(night.dark.start, r_.startUnix));
  } else {
    r_.notes.push_back("The Sun is not known: no dark time.");
  }

  readAcquisition(acquisitionLogPath);
  // Plans the host had not taken up when the run ended.
  while (paired_ < handedOver_.size()) planRan(handedOver_[paired_].searchUnix, r_.endUnix);
  tallyGroups(neverEligible);
  tallyMoon(moonKeptOut);
  for (const SeasonNight& night : r_.nights) {
    r_.weatherSeconds += night.weatherSeconds;
    r_.noTargetSeconds += night.noTargetSeconds;
    r_.darkSeconds += night.darkSeconds;
    r_.exposingSeconds += night.exposingSeconds;
  }
  return std::move(r_);
}

void SeasonReportBuilder::planRan(double begin, double end) {
  // Each plan takes the first acquisition run that began at or after its search (the
  // search's stamp has whole seconds, hence the second of slack); a run that began
  // before is no plan of this run's.
  if (paired_ >= handedOver_.size() || begin < handedOver_[paired_].searchUnix - 1.0) return;
  const LoggedPlan& p = handedOver_[paired_++];
  SeasonPlan plan{begin, std::max(begin, end), p.group, static_cast<std::uint32_t>(nightAt(p.searchUnix))};
  r_.plans.push_back(plan);
}

void SeasonReportBuilder::readAcquisition(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  bool open = false, before = false;
  double begin = 0.0;
  long number = 0;
  while (in && std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    AcquisitionEvent e;
    try {
      e = parseAcquisitionEvent(line);
    } catch (const std::exception& error) {
      r_.notes.push_back("'" + path + "' line " + std::to_string(number) + ": " + error.what());
      break;
    }
    if (e.utc > r_.endUnix) break;
    if (e.utc < std::floor(r_.startUnix)) {  // a run under way at the start is none of ours
      if (e.kind == acqlog::kStart) before = true;
      else if (e.kind == acqlog::kEnd) before = false;
      continue;
    }
    if (e.kind == acqlog::kStart) {
      if (open) planRan(begin, e.utc);  // a start without an end: that run was cut short
      open = true;
      before = false;
      begin = e.utc;
    } else if (e.kind == acqlog::kEnd) {
      if (before) {
        before = false;
        continue;
      }
      planRan(open ? begin : e.utc, e.utc);
      open = false;
    } else if (e.kind == acqlog::kExposure && !before) {
      ++r_.imagesTaken;
      SeasonNight& night = r_.nights[nightAt(e.utc)];
      ++night.images;
      night.exposingSeconds += e.seconds;
      if (auto it = groupByName_.find(e.text); it != groupByName_.end()) ++r_.groups[it->second].images;
    } else if (e.kind == acqlog::kSkipped && !before) {
      ++r_.imagesSkipped;
    }
  }
  if (open) planRan(begin, r_.endUnix);
}

void SeasonReportBuilder::tallyGroups(const std::vector<KeptOutGroup>& neverEligible) {
  for (const SeasonPlan& plan : r_.plans) {
    ++r_.nights[plan.night].plans;
    if (plan.group == kNoGroup) {
      ++r_.plansNotListed;
      continue;
    }
    SeasonGroup& g = r_.groups[plan.group];
    if (++g.plans == g.remainingAtStart) g.finishedNight = static_cast<int>(plan.night);
  }
  for (const KeptOutGroup& k : neverEligible) {
    if (auto it = groupByName_.find(k.name); it != groupByName_.end()) {
      r_.groups[it->second].neverEligible = true;
      r_.groups[it->second].keptOutBy = k.test;
    }
  }
}

void SeasonReportBuilder::tallyMoon(const std::vector<MoonKeptOut>& moonKeptOut) {
  std::vector<std::vector<bool>> ran(r_.groups.size());
  for (const SeasonPlan& plan : r_.plans) {
    if (plan.group == kNoGroup) continue;
    std::vector<bool>& nights = ran[plan.group];
    if (nights.size() <= plan.night) nights.resize(plan.night + 1, false);
    nights[plan.night] = true;
  }
  for (const MoonKeptOut& mark : moonKeptOut) {
    if (mark.unixSeconds < r_.startUnix || mark.unixSeconds > r_.endUnix) continue;
    const auto it = groupByName_.find(mark.name);
    if (it == groupByName_.end()) continue;
    const auto night = static_cast<std::uint32_t>(nightAt(mark.unixSeconds));
    const std::vector<bool>& nights = ran[it->second];
    if (night < nights.size() && nights[night]) continue;
    std::vector<std::uint32_t>& lost = r_.groups[it->second].nightsLostToTheMoon;
    if (lost.empty() || lost.back() != night) lost.push_back(night);
  }
}

std::string formatSeasonReport(const SeasonReport& r) {
  std::string out;
  const std::string first = r.nights.empty() ? "" : dateText(r.nights.front().evening);
  const std::string last = r.nights.empty() ? "" : dateText(r.nights.back().evening);
  out += "Season report: the nights of " + first + " to " + last + " (" + std::to_string(r.nights.size()) +
         " nights), " + formatGeneralDate(localFromUnix(r.startUnix, r.utcOffsetHours)) + " to " +
         formatGeneralDate(localFromUnix(r.endUnix, r.utcOffsetHours)) + " local time\n";
  out += "Plans run: " + std::to_string(r.plans.size()) + " (" + std::to_string(r.searches) + " searches)\n";
  out += "Images: " + std::to_string(r.imagesTaken) + " taken, " + std::to_string(r.imagesSkipped) + " skipped\n";
  out += "Dark time (Sun below " + formatGeneral(r.sunElev, 15, '.') + " degrees): " + hoursText(r.darkSeconds) +
         ", exposing " + hoursText(r.exposingSeconds);
  if (r.darkSeconds > 0) {
    char share[32];
    std::snprintf(share, sizeof share, " (%.1f%%)", 100.0 * r.exposingSeconds / r.darkSeconds);
    out += share;
  }
  out += "\nLost to weather: " + hoursText(r.weatherSeconds) + "; no viable target: " + hoursText(r.noTargetSeconds) +
         "\n";

  out += "\nNight of         dark  exposing   weather  no target  plans  images\n";
  for (const SeasonNight& n : r.nights) {
    out += dateText(n.evening) + padLeft(hoursText(n.darkSeconds), 11) + padLeft(hoursText(n.exposingSeconds), 10) +
           padLeft(hoursText(n.weatherSeconds), 10) + padLeft(hoursText(n.noTargetSeconds), 11) +
           padLeft(std::to_string(n.plans), 7) + padLeft(std::to_string(n.images), 8) + "\n";
  }

  std::size_t width = 5;
  for (const SeasonGroup& g : r.groups) width = std::max(width, std::min<std::size_t>(g.name.size(), 40));
  out += "\n" + padRight("Group", width) + "  plans  images  count\n";
  int finished = 0, never = 0;
  for (const SeasonGroup& g : r.groups) {
    std::string count;
    if (g.finishedNight >= 0) {
      count = "reached zero on the night of " + dateText(r.nights[static_cast<std::size_t>(g.finishedNight)].evening);
      ++finished;
    } else if (g.neverEligible) {
      count = "never eligible: " + g.keptOutBy + " (" + std::to_string(g.remainingAtStart) + " left)";
      ++never;
    } else if (g.remainingAtStart <= 0) {
      count = "none left at the start";
    } else {
      count = "not finished: " + std::to_string(g.remainingAtStart - g.plans) + " left";
    }
    out += padRight(g.name, width) + padLeft(std::to_string(g.plans), 7) + padLeft(std::to_string(g.images), 8) +
           "  " + count + "\n";
  }
  out += std::to_string(r.groups.size()) + " groups: " + std::to_string(finished) + " finished, " +
         std::to_string(never) + " never eligible";
  if (r.plansNotListed > 0) out += "; " + std::to_string(r.plansNotListed) + " plans of targets not in the list";
  out += "\n";
  // The nights the Moon took from a group, listed up to a dozen.
  bool heading = false;
  for (const SeasonGroup& g : r.groups) {
    if (g.nightsLostToTheMoon.empty()) continue;
    if (!heading) out += "Nights lost to the Moon (kept out by it, no plan run):\n";
    heading = true;
    const std::size_t n = g.nightsLostToTheMoon.size();
    out += "  " + g.name + ": " + std::to_string(n) + (n == 1 ? " night (" : " nights (");
    for (std::size_t i = 0; i < n && i < 12; ++i)
      out += (i ? ", " : "") + dateText(r.nights[g.nightsLostToTheMoon[i]].evening);
    out += n > 12 ? ", ...)\n" : ")\n";
  }
  for (const std::string& note : r.notes) out += "Note: " + note + "\n";
  return out;
}

}  // namespace np
