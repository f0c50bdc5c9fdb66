#pragma once
// The acquisition plan as the host's image-acquisition script reads it: the file that
// Nightpick hands over in runplanonce.txt. Every back end runs the same language.
#include <limits>
#include <string>
#include <vector>

namespace np {

inline constexpr double kNever = std::numeric_limits<double>::infinity();

// The images of one filter (or of none) that a target line asks for, taken one after
// another.
struct FilterGroup {
  std::string filter;     // empty: no #FILTER, the camera's filter stays as it is
  int binning = 1;        // 1 to 16
  int count = 0;          // images
  double interval = 0.0;  // seconds per image
};

// One thing the acquisition does, in plan order.
struct PlanStep {
  enum class Kind { Autofocus, Target };
  Kind kind = Kind::Target;
  std::string name;                // Target: the target's name
  double ra = 0.0;                 // Target: hours
  double dec = 0.0;                // Target: degrees
  std::vector<FilterGroup> groups; // Target: at least one, in the order they are taken
  double quitAt = kNever;          // the #QUITAT in force for this step, UTC seconds since 1970
  int line = 0;                    // the plan line the step comes from

  int count() const;  // the images of all groups
};

struct AcquisitionPlan {
  std::vector<PlanStep> steps;
  std::vector<std::string> ignored;  // unknown directive lines, in plan order
};

// Reads the lines of a plan: #QUITAT <YYYY-MM-DD HH:MM:SS> (UTC), #AUTOFOCUS, #COUNT n,
// #INTERVAL s (directives are case-insensitive and apply to the lines after them),
// ; comments, blank lines and target lines name<TAB>RA<TAB>Dec. Each target line has
// one filter group, of `defaultCount` and `defaultInterval` until #COUNT and #INTERVAL
// say otherwise. Any other directive is listed as ignored. A line that cannot be read is
// a RunTimeError "line <n>: <cause>".
AcquisitionPlan parseAcquisitionPlan(const std::vector<std::string>& lines, int defaultCount, double defaultInterval);

}  // namespace np
