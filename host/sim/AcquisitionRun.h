#pragma once
#include <limits>
#include <string>
#include <vector>

#include "host/AcquisitionLog.h"
#include "host/ObservatoryConfig.h"

namespace np::sim {

inline constexpr double kNever = std::numeric_limits<double>::infinity();

// A started script stays active at least this long before it ends by itself (the real
// host needs about as long to start a script and wind it down), so that a caller that
// polls once a second sees every run that became active.
inline constexpr double kMinimumActiveSeconds = 1.0;

// One thing the acquisition does, in plan order.
struct PlanStep {
  enum class Kind { Autofocus, Target };
  Kind kind = Kind::Target;
  std::string name;       // Target: the target's name
  double ra = 0.0;        // Target: hours
  double dec = 0.0;       // Target: degrees
  int count = 0;          // Target: images
  double interval = 0.0;  // Target: seconds per image
  double quitAt = kNever; // the #QUITAT in force for this step, UTC seconds since 1970
  int line = 0;           // the plan line the step comes from
};

struct AcquisitionPlan {
  std::vector<PlanStep> steps;
  std::vector<std::string> ignored;  // unknown directive lines, in plan order
};

// Reads the lines of a plan: #QUITAT <YYYY-MM-DD HH:MM:SS> (UTC), #AUTOFOCUS, #COUNT n,
// #INTERVAL s (directives are case-insensitive and apply to the lines after them),
// ; comments, blank lines and target lines name<TAB>RA<TAB>Dec. Any other directive is
// listed as ignored. A line that cannot be read is a RunTimeError "line <n>: <cause>".
AcquisitionPlan parseAcquisitionPlan(const std::vector<std::string>& lines, int defaultCount, double defaultInterval);

// The whole course of one acquisition run that becomes active at `activeAt`: its events
// in time order, the last of them its END. Only AbortScript can cut it shorter.
struct RunTimeline {
  std::vector<AcquisitionEvent> events;
  double end = 0.0;  // the END's time
};

RunTimeline computeRunTimeline(const AcquisitionPlan& plan, const std::string& planPath,
                               const ObservatoryConfig& config, double activeAt);

}  // namespace np::sim
