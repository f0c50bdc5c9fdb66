#include "host/AcquisitionPlan.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>

#include "base/Errors.h"
#include "base/Paths.h"
#include "base/NumberText.h"
#include "host/HostInterfaces.h"
#include "host/HostText.h"
#include "host/SkyMath.h"
#include "host/UtcTime.h"

namespace np {
namespace {

using hosttext::trim;
using hosttext::upper;

double readPositive(const std::string& text, const std::string& directive) {
  const std::optional<double> d = parseStrictDecimal(text);
  if (!d || !(*d > 0.0)) throw RunTimeError(directive + " needs a number greater than 0, not '" + text + "'");
  return *d;
}

// The items of a comma-separated list, each without the blanks around it; one item
// (perhaps empty) when there is no comma.
std::vector<std::string> splitList(const std::string& argument) {
  std::vector<std::string> items;
  std::size_t pos = 0;
  while (true) {
    const std::size_t comma = argument.find(',', pos);
    items.push_back(trim(argument.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos)));
    if (comma == std::string::npos) return items;
    pos = comma + 1;
  }
}

std::vector<int> readCounts(const std::string& argument) {
  std::vector<int> counts;
  for (const std::string& item : splitList(argument)) {
    const double n = readPositive(item, "#COUNT");
    if (n != std::floor(n) || n > 1e6) throw RunTimeError("#COUNT needs a whole number, not '" + item + "'");
    counts.push_back(static_cast<int>(n));
  }
  return counts;
}

std::vector<double> readIntervals(const std::string& argument) {
  std::vector<double> intervals;
  for (const std::string& item : splitList(argument)) intervals.push_back(readPositive(item, "#INTERVAL"));
  return intervals;
}

std::vector<std::string> readFilters(const std::string& argument) {
  std::vector<std::string> filters = splitList(argument);
  for (const std::string& item : filters) {
    if (item.empty()) throw RunTimeError("#FILTER needs a filter name in every item, not '" + argument + "'");
  }
  return filters;
}

std::vector<int> readBinnings(const std::string& argument) {
  std::vector<int> binnings;
  for (const std::string& item : splitList(argument)) {
    const std::optional<double> b = parseStrictDecimal(item);
    if (!b || *b != std::floor(*b) || *b < 1.0 || *b > 16.0) {
      throw RunTimeError("#BINNING needs a whole number from 1 to 16, not '" + item + "'");
    }
    binnings.push_back(static_cast<int>(*b));
  }
  return binnings;
}

// What the group directives say at a point of the plan. Lists of one item apply to every
// group; without #FILTER the groups have no filter.
struct GroupSettings {
  std::vector<int> counts;
  std::vector<double> intervals;
  std::vector<std::string> filters;
  std::vector<int> binnings = {1};

  // The groups of a target line; throws when two lists of more than one item differ in
  // length.
  std::vector<FilterGroup> groups() const {
    struct List {
      const char* directive;
      std::size_t size;
    };
    const List lists[] = {{"#COUNT", counts.size()},
                          {"#INTERVAL", intervals.size()},
                          {"#FILTER", filters.size()},
                          {"#BINNING", binnings.size()}};
    const List* longer = nullptr;
    for (const List& list : lists) {
      if (list.size <= 1) continue;
      if (!longer) {
        longer = &list;
      } else if (list.size != longer->size) {
        throw RunTimeError(std::string(longer->directive) + " gives " + std::to_string(longer->size) +
                           " values but " + list.directive + " gives " + std::to_string(list.size));
      }
    }
    const std::size_t n = longer ? longer->size : 1;
    auto at = [](const auto& values, std::size_t i) { return values.size() == 1 ? values[0] : values[i]; };
    std::vector<FilterGroup> out(n);
    for (std::size_t i = 0; i < n; ++i) {
      out[i].filter = filters.empty() ? std::string() : at(filters, i);
      out[i].binning = at(binnings, i);
      out[i].count = at(counts, i);
      out[i].interval = at(intervals, i);
    }
    return out;
  }
};

}  // namespace

int PlanStep::count() const {
  int total = 0;
  for (const FilterGroup& group : groups) total += group.count;
  return total;
}

AcquisitionPlan parseAcquisitionPlan(const std::vector<std::string>& lines, int defaultCount, double defaultInterval) {
  AcquisitionPlan plan;
  GroupSettings settings;
  settings.counts = {defaultCount};
  settings.intervals = {defaultInterval};
  double quitAt = kNever;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    std::string raw = lines[i];
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    const std::string line = trim(raw);
    try {
      if (line.empty() || line[0] == ';') continue;
      if (line[0] == '#') {
        auto space = line.find_first_of(" \t");
        const std::string directive = upper(line.substr(0, space));
        const std::string argument = space == std::string::npos ? std::string() : trim(line.substr(space));
        if (directive == "#QUITAT") {
          if (!parseUtcInstant(argument, quitAt)) throw RunTimeError("#QUITAT needs a date-time, not '" + argument + "'");
        } else if (directive == "#AUTOFOCUS") {
          PlanStep step;
          step.kind = PlanStep::Kind::Autofocus;
          step.quitAt = quitAt;
          step.line = number;
          plan.steps.push_back(step);
        } else if (directive == "#COUNT") {
          settings.counts = readCounts(argument);
        } else if (directive == "#INTERVAL") {
          settings.intervals = readIntervals(argument);
        } else if (directive == "#FILTER") {
          settings.filters = readFilters(argument);
        } else if (directive == "#BINNING") {
          settings.binnings = readBinnings(argument);
        } else {
          plan.ignored.push_back(line);
        }
        continue;
      }
      // A target line: everything before the first tab is the name, between the tabs the
      // right ascension, after the second tab the declination.
      auto tab1 = raw.find('\t');
      auto tab2 = tab1 == std::string::npos ? std::string::npos : raw.find('\t', tab1 + 1);
      if (tab2 == std::string::npos) throw RunTimeError("cannot read '" + line + "' as name<TAB>RA<TAB>Dec");
      PlanStep step;
      step.kind = PlanStep::Kind::Target;
      step.name = raw.substr(0, tab1);
      step.ra = parseSexagesimal(raw.substr(tab1 + 1, tab2 - tab1 - 1), "right ascension");
      step.dec = parseSexagesimal(raw.substr(tab2 + 1), "declination");
      if (step.ra < 0.0 || step.ra >= 24.0) throw RunTimeError("right ascension out of range in '" + line + "'");
      if (step.dec < -90.0 || step.dec > 90.0) throw RunTimeError("declination out of range in '" + line + "'");
      step.groups = settings.groups();
      step.quitAt = quitAt;
      step.line = number;
      plan.steps.push_back(step);
    } catch (const RunTimeError& error) {
      throw RunTimeError("line " + std::to_string(number) + ": " + error.what());
    }
  }
  return plan;
}

HandedOverPlan readHandedOverPlan(const std::string& planDir, int defaultCount, double defaultInterval,
                                  const char* member) {
  namespace fs = std::filesystem;
  HandedOverPlan out;
  const std::string handOver = joinPath(planDir, kRunPlanOnceName);
  std::error_code ec;
  if (!fs::is_regular_file(handOver, ec)) {
    out.error = "no plan: '" + handOver + "' does not exist";
    return out;
  }
  std::string planPath;
  {
    std::ifstream in(handOver, std::ios::binary);
    if (!in) {
      out.error = "cannot open '" + handOver + "'";
      return out;
    }
    std::getline(in, planPath);
  }
  if (!fs::remove(handOver, ec) || ec) {
    throw RunTimeError(std::string(member) + ": cannot delete '" + handOver + "'" +
                       (ec ? ": " + ec.message() : std::string()));
  }
  while (!planPath.empty() && (planPath.back() == '\r' || planPath.back() == ' ' || planPath.back() == '\t')) {
    planPath.pop_back();
  }
  if (planPath.empty()) {
    out.error = "'" + handOver + "' names no plan";
    return out;
  }
  out.planPath = planPath;
  std::ifstream planFile(planPath, std::ios::binary);
  if (!planFile || fs::is_directory(planPath, ec)) {
    out.error = "cannot open the plan '" + planPath + "'";
    return out;
  }
  std::vector<std::string> lines;
  for (std::string line; std::getline(planFile, line);) lines.push_back(line);
  if (planFile.bad()) {
    out.error = "cannot read the plan '" + planPath + "'";
    return out;
  }
  try {
    out.plan = parseAcquisitionPlan(lines, defaultCount, defaultInterval);
  } catch (const RunTimeError& error) {
    out.error = "plan '" + planPath + "' " + error.what();
  }
  return out;
}

}  // namespace np
