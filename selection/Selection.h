#pragma once
// Target selection: judges every group of the target list against the mount's tilt-up
// limit, the observing window, the host's minimum elevation and horizon and the group's
// remaining count, scores the groups that pass and chooses the best.
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <string_view>

#include "settings/Settings.h"
#include "targets/TargetList.h"
#include "targets/Services.h"

namespace np {

// The score that means that no group was chosen; real scores lie within -180..+360.
inline constexpr float kNoTargetScore = -10000.0f;
inline constexpr const char* kSelectingStatus = "Selecting best target";

struct TargetScore;

// The tests a group must pass to be chosen, in the order a pass applies them.
enum class EligibilityTest {
  TiltUp,            // alt-azimuth mount: elevation <= tilt-up limit; otherwise declination <= it
  MaxElevation,      // elevation <= the window's maximum elevation
  Azimuth,           // the window's minimum azimuth <= azimuth <= its maximum azimuth
  MinimumElevation,  // elevation > the host's minimum elevation + 1
  Horizon,           // elevation > the horizon at the azimuth + 1 (asked only past the minimum)
  Count,             // remaining count not 0
  // Asked only of the groups whose delimiter line names them:
  Moon,              // moon=: separation from the Moon >= the distance needed at its age, or the Moon down
  MoonAltitude,      // moonalt=: the Moon's altitude < the limit
  Window,            // after=, before=: after <= now < before
};
inline constexpr int kEligibilityTests = 9;

// The test's short name ("tilt-up", "max-elevation", "azimuth", "min-elevation",
// "horizon", "count", "moon", "moon-altitude", "window").
const char* testName(EligibilityTest test);

// One test of one group, with its figures: `value` is what was compared with `limit`
// (with `upper` for the azimuth's window as well). The Moon: the separation in degrees
// against the separation needed, `upper` the Moon's altitude (the test passes whenever
// the Moon is down). The window: now against after and before, in UTC seconds since
// 1970, an open end as minus or plus infinity.
struct TestOutcome {
  EligibilityTest test;
  bool passed = false;
  double value = 0, limit = 0, upper = 0;
};

// A reader of a pass: told about every group as the pass reads it, of every test as it is
// applied, and of the score of every group that passed them all. It only reads: the pass
// decides as it does without one.
class SelectionObserver {
 public:
  virtual ~SelectionObserver() = default;
  // A group's target line was read (`parsed`: its name and coordinates were taken from it;
  // a group that was not parsed gets no tests).
  virtual void group(std::int64_t start, const std::string& targetLine, const std::string& name,
                     std::int16_t remaining, bool parsed, float ra, float dec) = 0;
  // What the group's delimiter line asks besides its count (told after group(), for a
  // group whose line could be read).
  virtual void conditions(const GroupConditions& conditions) { (void)conditions; }
  virtual void tested(const TestOutcome& outcome) = 0;
  // An eligible group's score; `leads`: it is now the pass's best.
  virtual void scored(double elevation, const TargetScore& score, bool leads) = 0;
};

// The figures of merit of one target.
struct TargetScore {
  double hourAngle = 0;        // |hour angle| in hours, 0..12
  double transitAltitude = 0;  // elevation at the meridian crossing, degrees
  float score = 0;
};

// Score of a target with declination `targetDec` (degrees) at hour angle
// `hourAngle12` (hours, -12..+12) seen from `siteLatitude` (degrees):
// (6 - |HA|) * 30 + (90 - transit altitude), higher is better.
TargetScore scoreTarget(float targetDec, double hourAngle12, double siteLatitude);

// Groups a run passes over whatever their tests say (their plan could not run as
// written): each by its start and its target line, as ChosenGroup gives them.
using PassedOverGroups = std::set<std::pair<std::int64_t, std::string>>;

// The group a selection pass chose.
struct ChosenGroup {
  float score = kNoTargetScore;
  std::int16_t priority = 0;  // the group's priority= (0 when it names none)
  std::string targetLine;   // the group's target line, whole, as read
  std::int64_t start = 0;   // the number of list lines before the group's first line
};

// selectTarget: one pass over targets.txt in the program folder, judging every group and
// logging each eligible one with its score to `log`. The best group that passed every
// test, or none (also when the pass was stopped before any passed): the highest
// priority wins, the score decides within one priority, the earlier group among equals. `settings` and
// `stopFlag` are the window's live values: the events processed during the pass may
// change them. File and host failures propagate as RunTimeError.
// Groups in `passedOver` are not read further: no tests, no log lines, never chosen.
std::optional<ChosenGroup> selectTarget(const Services& services, TextWriter& log, const Settings& settings,
                                        const bool& stopFlag, SelectionObserver* observer = nullptr,
                                        const PassedOverGroups* passedOver = nullptr);

// The same pass over the list read from `list` (a shared list's text as its store holds it);
// the status line is the caller's to set.
std::optional<ChosenGroup> selectTargetIn(const Services& services, std::unique_ptr<TextReader> list,
                                          TextWriter& log, const Settings& settings, const bool& stopFlag,
                                          SelectionObserver* observer = nullptr,
                                          const PassedOverGroups* passedOver = nullptr);

}  // namespace np
