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

// Reads the lines of a plan: ; comments, blank lines, target lines name<TAB>RA<TAB>Dec
// and directives (case-insensitive, each applying to the lines after it):
//   #QUITAT <YYYY-MM-DD HH:MM:SS>  quit at that UTC instant
//   #AUTOFOCUS                     focus here
//   #COUNT n                       images per group (whole, greater than 0)
//   #INTERVAL s                    seconds per image (greater than 0)
//   #FILTER name                   the filter of the group
//   #BINNING b                     the binning of the group (whole, 1 to 16)
// #COUNT, #INTERVAL, #FILTER and #BINNING take a comma-separated list, one item per
// filter group: "#FILTER L,R,G" with "#COUNT 3,1,1" asks for 3 L, 1 R and 1 G. A single
// value applies to every group; lists of more than one item must be as long as each
// other, which is checked at each target line. A target line has as many groups as its
// longest list (one without lists); without #COUNT and #INTERVAL they are
// `defaultCount` and `defaultInterval`. Any other directive is listed as ignored. A line
// that cannot be read is a RunTimeError "line <n>: <cause>".
AcquisitionPlan parseAcquisitionPlan(const std::vector<std::string>& lines, int defaultCount, double defaultInterval);

// The plan handed over for one run: the path that Plans/runplanonce.txt names (the file is
// deleted once read) and the plan read from it. A hand-over that cannot be used leaves
// `error` saying why (the run ends at once with it); a hand-over file that cannot be
// deleted is a RunTimeError naming `member`.
struct HandedOverPlan {
  std::string planPath;
  AcquisitionPlan plan;
  std::string error;
};
HandedOverPlan readHandedOverPlan(const std::string& planDir, int defaultCount, double defaultInterval,
                                  const char* member);

}  // namespace np
