#include "host/AcquisitionPlan.h"

#include <cmath>
#include <optional>

#include "base/Errors.h"
#include "base/NumberText.h"
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

}  // namespace

int PlanStep::count() const {
  int total = 0;
  for (const FilterGroup& group : groups) total += group.count;
  return total;
}

AcquisitionPlan parseAcquisitionPlan(const std::vector<std::string>& lines, int defaultCount, double defaultInterval) {
  AcquisitionPlan plan;
  int count = defaultCount;
  double interval = defaultInterval;
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
          double n = readPositive(argument, "#COUNT");
          if (n != std::floor(n) || n > 1e6) throw RunTimeError("#COUNT needs a whole number, not '" + argument + "'");
          count = static_cast<int>(n);
        } else if (directive == "#INTERVAL") {
          interval = readPositive(argument, "#INTERVAL");
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
      FilterGroup group;
      group.count = count;
      group.interval = interval;
      step.groups.push_back(group);
      step.quitAt = quitAt;
      step.line = number;
      plan.steps.push_back(step);
    } catch (const RunTimeError& error) {
      throw RunTimeError("line " + std::to_string(number) + ": " + error.what());
    }
  }
  return plan;
}

}  // namespace np
