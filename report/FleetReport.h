#pragma once
// The report of several observatories (sites) that took their runs from one shared list
// over the same stretch of time: how many plans each site ran of each group, when each
// group's count reached zero and where, and when the whole list was done.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "targets/ListCopy.h"

namespace np {

// One run a site took from the shared list.
struct FleetTake {
  std::size_t site = 0;  // index into the sites
  std::int64_t delimiterLine = 0;
  double unixSeconds = 0.0;
  std::int16_t left = 0;  // the count written back
};

struct FleetGroup {
  std::string name;
  std::optional<std::int16_t> remainingAtStart;  // nothing: unreadable
  std::optional<std::int16_t> remainingAtEnd;
  std::vector<int> plans;  // per site
  // The take that brought a count above zero down to it.
  std::optional<double> finishedUnix;
  std::size_t finishedBy = 0;
};

struct FleetReport {
  double startUnix = 0.0, endUnix = 0.0;
  std::vector<std::string> sites;
  std::vector<int> plans;  // per site
  int plansNotListed = 0;  // takes of a line that closes no group of the list at the start
  std::vector<FleetGroup> groups;
  int groupsToFinish = 0;  // groups with runs left at the start (a count above zero)
  int groupsFinished = 0;  // of those, the ones whose count reached zero
  int runsLeft = 0;        // of those, the runs still left at the end
  std::optional<double> listDoneUnix;  // when the last of them reached zero
};

// The report of the takes (in the order they were taken) from a list whose groups at the
// start were `groups`.
FleetReport buildFleetReport(double startUnix, double endUnix, std::vector<std::string> sites,
                             const std::vector<CountedGroup>& groups, const std::vector<FleetTake>& takes);

// The report as text, times in UTC (the sites' local times differ).
std::string formatFleetReport(const FleetReport& report);

}  // namespace np
