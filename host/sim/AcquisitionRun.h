#pragma once
#include <string>
#include <vector>

#include "host/AcquisitionLog.h"
#include "host/AcquisitionPlan.h"
#include "host/ObservatoryConfig.h"
#include "host/sim/WeatherModel.h"

namespace np::sim {

// A started script stays active at least this long before it ends by itself (the real
// host needs about as long to start a script and wind it down), so that a caller that
// polls once a second sees every run that became active.
inline constexpr double kMinimumActiveSeconds = 1.0;

// The whole course of one acquisition run that becomes active at `activeAt`: its events
// in time order, the last of them its END. Only AbortScript can cut it shorter. A target
// takes its filter groups in order, each `count` images of `interval` seconds; changing
// the filter or the binning takes no time. With a connected weather source, the run ends
// where `weather` first turns unsafe.
struct RunTimeline {
  std::vector<AcquisitionEvent> events;
  double end = 0.0;  // the END's time
};

RunTimeline computeRunTimeline(const AcquisitionPlan& plan, const std::string& planPath,
                               const ObservatoryConfig& config, WeatherModel& weather, double activeAt);

}  // namespace np::sim
