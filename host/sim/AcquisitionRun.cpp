#include "host/sim/AcquisitionRun.h"

#include <algorithm>
#include <cmath>

#include "host/SkyMath.h"
#include "host/UtcTime.h"

namespace np::sim {

RunTimeline computeRunTimeline(const AcquisitionPlan& plan, const std::string& planPath,
                               const ObservatoryConfig& config, WeatherModel& weather, double activeAt) {
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
      for (const FilterGroup& group : step.groups) {
        for (int k = 0; k < group.count; ++k) {
          if (t >= step.quitAt) {
            endReason = acqlog::kEndQuit;
            return;
          }
          t += group.interval;
          at = position();
          AcquisitionEvent& e = event(t, acqlog::kExposure);
          e.text = step.name;
          e.seconds = group.interval;
          e.elevation = at.elevation;
          e.azimuth = at.azimuth;
        }
      }
    }
  }();
  double end = std::max(t, activeAt + kMinimumActiveSeconds);

  // A connected weather source that turns unsafe aborts the script.
  double unsafeAt = 0.0;
  if (config.weather.connected && weather.firstUnsafeInstant(activeAt, unsafeAt) && unsafeAt < end) {
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
