#include "report/FleetReport.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <utility>

#include "host/UtcTime.h"

namespace np {

namespace {

std::string padLeft(const std::string& s, std::size_t width) {
  return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

std::string padRight(std::string s, std::size_t width) {
  if (s.size() > width) s = s.substr(0, width);
  return s + std::string(width - s.size(), ' ');
}

std::string utc(double unixSeconds) { return formatUtc(unixSeconds) + " UTC"; }

}  // namespace

FleetReport buildFleetReport(double startUnix, double endUnix, std::vector<std::string> sites,
                             const std::vector<CountedGroup>& groups, const std::vector<FleetTake>& takes) {
  FleetReport r;
  r.startUnix = startUnix;
  r.endUnix = endUnix;
  r.plans.assign(sites.size(), 0);
  r.sites = std::move(sites);
  std::map<std::int64_t, std::size_t> byLine;
  for (const CountedGroup& g : groups) {
    byLine.emplace(g.delimiterLine, r.groups.size());
    FleetGroup row;
    row.name = g.name;
    row.remainingAtStart = row.remainingAtEnd = g.remaining;
    row.plans.assign(r.sites.size(), 0);
    r.groups.push_back(std::move(row));
  }
  for (const FleetTake& take : takes) {
    if (take.site < r.plans.size()) ++r.plans[take.site];
    const auto it = byLine.find(take.delimiterLine);
    if (it == byLine.end() || take.site >= r.sites.size()) {
      ++r.plansNotListed;
      continue;
    }
    FleetGroup& g = r.groups[it->second];
    ++g.plans[take.site];
    g.remainingAtEnd = take.left;
    if (take.left == 0 && !g.finishedUnix) {
      g.finishedUnix = take.unixSeconds;
      g.finishedBy = take.site;
    }
  }
  for (const FleetGroup& g : r.groups) {
    if (!g.remainingAtStart || *g.remainingAtStart <= 0) continue;
    ++r.groupsToFinish;
    if (g.finishedUnix) {
      ++r.groupsFinished;
      r.listDoneUnix = std::max(r.listDoneUnix.value_or(*g.finishedUnix), *g.finishedUnix);
    } else {
      r.runsLeft += std::max(0, static_cast<int>(g.remainingAtEnd.value_or(0)));
    }
  }
  if (r.groupsFinished < r.groupsToFinish) r.listDoneUnix.reset();
  return r;
}

std::string formatFleetReport(const FleetReport& r) {
  std::string out = "Fleet report: " + std::to_string(r.sites.size()) + (r.sites.size() == 1 ? " site" : " sites") +
                    " sharing one list, " + formatUtc(r.startUnix) + " to " + utc(r.endUnix) + "\n";
  int total = 0;
  for (const int n : r.plans) total += n;
  out += "Plans run: " + std::to_string(total) + " (";
  for (std::size_t i = 0; i < r.sites.size(); ++i)
    out += (i ? ", " : "") + r.sites[i] + " " + std::to_string(r.plans[i]);
  out += ")\n";
  if (r.listDoneUnix) {
    char days[48];
    std::snprintf(days, sizeof days, "%.1f days", (*r.listDoneUnix - r.startUnix) / 86400.0);
    out += "List done: " + utc(*r.listDoneUnix) + ", " + days + " after the start (" +
           std::to_string(r.groupsToFinish) + " groups with runs left at the start)\n";
  } else {
    out += "List not done: " + std::to_string(r.groupsToFinish - r.groupsFinished) + " of the " +
           std::to_string(r.groupsToFinish) + " groups with runs left at the start still have " +
           std::to_string(r.runsLeft) + (r.runsLeft == 1 ? " run" : " runs") + " left\n";
  }

  std::size_t width = 5;
  for (const FleetGroup& g : r.groups) width = std::max(width, std::min<std::size_t>(g.name.size(), 40));
  out += "\n" + padRight("Group", width);
  std::vector<std::size_t> columns;
  for (const std::string& site : r.sites) {
    columns.push_back(std::max<std::size_t>(site.size(), 5));
    out += "  " + padLeft(site, columns.back());
  }
  out += "  count\n";
  for (const FleetGroup& g : r.groups) {
    out += padRight(g.name, width);
    for (std::size_t i = 0; i < columns.size(); ++i) out += "  " + padLeft(std::to_string(g.plans[i]), columns[i]);
    std::string count;
    if (!g.remainingAtStart) {
      count = "unreadable count";
    } else if (g.finishedUnix && *g.remainingAtStart > 0) {
      count = "reached zero at " + utc(*g.finishedUnix) + " by " + r.sites[g.finishedBy];
    } else if (*g.remainingAtStart < 0) {
      count = "never finishes: " + std::to_string(*g.remainingAtStart) + " at the start, " +
              std::to_string(*g.remainingAtEnd) + " at the end";
    } else if (*g.remainingAtStart == 0) {
      count = "none left at the start";
    } else {
      count = "not finished: " + std::to_string(*g.remainingAtEnd) + " left";
    }
    out += "  " + count + "\n";
  }
  if (r.plansNotListed > 0) out += std::to_string(r.plansNotListed) + " plans of groups not in the list\n";
  return out;
}

}  // namespace np
