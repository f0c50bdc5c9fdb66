#include "host/sim/AcquisitionRun.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

#include "base/Errors.h"
#include "base/NumberText.h"
#include "host/HostText.h"
#include "host/SkyMath.h"
#include "host/UtcTime.h"

namespace np::sim {
namespace {

using hosttext::trim;
using hosttext::upper;

double readPositive(const std::string& text, const std::string& directive) {
  const std::optional<double> d = parseStrictDecimal(text);
  if (!d || !(*d > 0.0)) throw RunTimeError(directive + " needs a number greater than 0, not '" + text + "'");
  return *d;
}

}  // namespace

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
      step.count = count;
      step.interval = interval;
      step.quitAt = quitAt;
      step.line = number;
      plan.steps.push_back(step);
    } catch (const RunTimeError& error) {
      throw RunTimeError("line " + std::to_string(number) + ": " + error.what());
    }
  }
  return plan;
}

RunTimeline computeRunTimeline(const AcquisitionPlan& plan, const std::string& planPath,
                               const ObservatoryConfig& config, double activeAt) {
  RunTimeline timeline;
  std::vector<AcquisitionEvent>& events = timeline.events;
  auto event = [&](double t, const char* kind) -> AcquisitionEvent& {
    AcquisitionEvent& e = events.emplace_back();
    e.utc = t;
    e.kind = kind;
    return e;
  };
  event(activeAt, acqlog::kStart).text = planPath;
  for (const std::string& directive : plan.ignored) event(activeAt, acqlog::kIgnored).text = directive;

  double t = activeAt;
  const char* endReason = acqlog::kEndDone;
  [&] {
    for (const PlanStep& step : plan.steps) {
      // Quit when the quit time has come; only an exposure under way is finished past it.
      if (t >= step.quitAt) {
        endReason = acqlog::kEndQuit;
        return;
      }
      auto spend = [&](double seconds) {
        if (t + seconds > step.quitAt) {
          t = step.quitAt;
          endReason = acqlog::kEndQuit;
          return false;
        }
        t += seconds;
        return true;
      };
      if (step.kind == PlanStep::Kind::Autofocus) {
        if (!spend(config.acquisition.autofocus)) return;
        event(t, acqlog::kAutofocus).seconds = config.acquisition.autofocus;
        continue;
      }
      auto position = [&] {
        return horizontalAt(step.ra, step.dec, config.site.latitude, config.site.longitude, julianDateFromUnix(t));
      };
      Horizontal at = position();
      const char* skip = nullptr;
      if (at.elevation < config.limits.minimumElevation) {
        skip = acqlog::kSkippedBelowMinimum;
      } else if (at.elevation < horizonElevation(config.limits.horizon, at.azimuth)) {
        skip = acqlog::kSkippedBelowHorizon;
      }
      if (skip) {
        AcquisitionEvent& e = event(t, acqlog::kSkipped);
        e.text = step.name;
        e.reason = skip;
        e.elevation = at.elevation;
        e.azimuth = at.azimuth;
        continue;
      }
      if (!spend(config.acquisition.overhead)) return;
      for (int k = 0; k < step.count; ++k) {
        if (t >= step.quitAt) {
          endReason = acqlog::kEndQuit;
          return;
        }
        t += step.interval;
        at = position();
        AcquisitionEvent& e = event(t, acqlog::kExposure);
        e.text = step.name;
        e.seconds = step.interval;
        e.elevation = at.elevation;
        e.azimuth = at.azimuth;
      }
    }
  }();
  double end = std::max(t, activeAt + kMinimumActiveSeconds);

  // A connected weather source that turns unsafe aborts the script.
  double unsafeAt = 0.0;
  if (config.weather.connected && firstUnsafeInstant(config.weather.unsafe, activeAt, unsafeAt) && unsafeAt < end) {
    unsafeAt = std::max(unsafeAt, activeAt + kMinimumActiveSeconds);
    if (unsafeAt < end) {
      events.erase(std::remove_if(events.begin(), events.end(),
                                  [&](const AcquisitionEvent& e) { return e.utc > unsafeAt; }),
                   events.end());
      end = unsafeAt;
      endReason = acqlog::kEndWeather;
    }
  }
  event(end, acqlog::kEnd).reason = endReason;
  timeline.end = end;
  return timeline;
}

}  // namespace np::sim
