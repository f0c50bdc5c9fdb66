#include "selection/Selection.h"

#include <cmath>
#include <limits>

#include "selection/Moon.h"
#include "targets/RunLog.h"
#include "targets/TargetList.h"

namespace np {

namespace {

// Alignment mode of an alt-azimuth mount: its tilt-up limit is an elevation. Every other
// (equatorial) mount's limit is compared with the declination.
constexpr int kAltAzimuthMount = 0;

struct Judged {
  bool eligible = false;
  double elevation = 0;
};

// Applies every test to a group whose target line was read. Each test is evaluated even
// when an earlier one failed, except the horizon, which is consulted only for a target
// clear of the minimum elevation. The observer, if any, hears of each.
// The pass's one Moon, worked out the first time a group asks for it.
class PassMoon {
 public:
  explicit PassMoon(const Services& services) : services_(services) {}
  const MoonPlace& place() {
    if (!known_) {
      place_ = moonPlace(services_.clock.julianDateUtc(), services_.telescope.SiteLatitude(),
                         services_.telescope.SiteLongitude());
      known_ = true;
    }
    return place_;
  }

 private:
  const Services& services_;
  bool known_ = false;
  MoonPlace place_;
};

Judged judge(const Services& services, const Settings& settings, SelectionObserver* observer, ICoordinateTransform& ct,
             float targetRA, float targetDec, const DelimiterItems& items, PassMoon& moon) {
  const std::int16_t remaining = items.remaining;
  IPrefs& prefs = services.util.Prefs();
  bool eligible = true;
  auto outcome = [&](EligibilityTest test, bool passed, double value, double limit, double upper = 0) {
    if (!passed) eligible = false;
    if (observer) observer->tested(TestOutcome{test, passed, value, limit, upper});
  };

  if (services.telescope.AlignmentMode() == kAltAzimuthMount) {
    const double limit = prefs.TiltUpLimit();
    const double elevation = ct.Elevation();
    outcome(EligibilityTest::TiltUp, !(elevation > limit), elevation, limit);
  } else {
    const double limit = prefs.TiltUpLimit();
    outcome(EligibilityTest::TiltUp, !(static_cast<double>(targetDec) > limit), targetDec, limit);
  }

  const double elevation = ct.Elevation();
  const double azimuth = ct.Azimuth();
  const double maxElevation = static_cast<double>(settings.maxElevation);
  const double minAzimuth = static_cast<double>(settings.minAzimuth);
  const double maxAzimuth = static_cast<double>(settings.maxAzimuth);
  outcome(EligibilityTest::MaxElevation, !(elevation > maxElevation), elevation, maxElevation);
  outcome(EligibilityTest::Azimuth, !(azimuth < minAzimuth || azimuth > maxAzimuth), azimuth, minAzimuth, maxAzimuth);

  const double minimum = prefs.MinimumElevation() + 1.0;
  if (elevation <= minimum) {
    outcome(EligibilityTest::MinimumElevation, false, elevation, minimum);
  } else {
    outcome(EligibilityTest::MinimumElevation, true, elevation, minimum);
    const double horizon = prefs.GetHorizon(azimuth) + 1.0;
    outcome(EligibilityTest::Horizon, !(elevation <= horizon), elevation, horizon);
  }

  outcome(EligibilityTest::Count, remaining != 0, remaining, 0);

  const GroupConditions& c = items.conditions;
  if (c.moonDistance) {
    const MoonPlace& m = moon.place();
    const double separation = angularSeparation(targetRA, targetDec, m.rightAscension, m.declination);
    const double needed = requiredMoonSeparation(*c.moonDistance, c.moonWidthDays, m.ageDays);
    outcome(EligibilityTest::Moon, m.altitude <= 0.0 || separation >= needed, separation, needed, m.altitude);
  }
  if (c.moonAltitude) {
    const double altitude = moon.place().altitude;
    outcome(EligibilityTest::MoonAltitude, altitude < *c.moonAltitude, altitude, *c.moonAltitude);
  }
  if (c.afterUnix || c.beforeUnix) {
    constexpr double kOpen = std::numeric_limits<double>::infinity();
    const double now = services.clock.unixSeconds();
    const double after = c.afterUnix.value_or(-kOpen), before = c.beforeUnix.value_or(kOpen);
    outcome(EligibilityTest::Window, now >= after && now < before, now, after, before);
  }
  return Judged{eligible, elevation};
}

}  // namespace

const char* testName(EligibilityTest test) {
  switch (test) {
    case EligibilityTest::TiltUp: return "tilt-up";
    case EligibilityTest::MaxElevation: return "max-elevation";
    case EligibilityTest::Azimuth: return "azimuth";
    case EligibilityTest::MinimumElevation: return "min-elevation";
    case EligibilityTest::Horizon: return "horizon";
    case EligibilityTest::Count: return "count";
    case EligibilityTest::Moon: return "moon";
    case EligibilityTest::MoonAltitude: return "moon-altitude";
    case EligibilityTest::Window: return "window";
  }
  return "?";
}

TargetScore scoreTarget(float targetDec, double hourAngle12, double siteLatitude) {
  TargetScore result;
  result.hourAngle = std::fabs(hourAngle12);
  const float decFromSouthPole = targetDec + 90.0f;  // formed in single precision
  double transit = static_cast<double>(decFromSouthPole) - siteLatitude;
  if (transit > 90.0) transit = 180.0 - transit;  // culminates north of the zenith
  result.transitAltitude = transit;
  result.score = static_cast<float>((6.0 - result.hourAngle) * 15.0 * 2.0 + (90.0 - transit));
  return result;
}

std::optional<ChosenGroup> selectTarget(const Services& services, TextWriter& log, const Settings& settings,
                                        const bool& stopFlag, SelectionObserver* observer,
                                        const PassedOverGroups* passedOver) {
  services.setStatusText(kSelectingStatus);
  return selectTargetIn(services, services.files.OpenTextFile(services.programFolder + std::string(kTargetListName)),
                        log, settings, stopFlag, observer, passedOver);
}

std::optional<ChosenGroup> selectTargetIn(const Services& services, std::unique_ptr<TextReader> listLines,
                                          TextWriter& log, const Settings& settings, const bool& stopFlag,
                                          SelectionObserver* observer, const PassedOverGroups* passedOver) {
  std::optional<ChosenGroup> best;
  const char sep = services.locale.decimalSeparator;

  ListReader list(std::move(listLines));
  GroupReader groups;
  std::string name, line;  // reused from group to group
  PassMoon moon(services);
  DelimiterItems items;
  while (!stopFlag && !list.AtEndOfStream()) {
    services.events.DoEvents();
    const GroupReader::LineKind kind = groups.feed(list.ReadLine());
    if (!list.unreadableEncoding().empty()) {
      services.messages.showMessage(list.unreadableEncodingMessage());
      list.Close();
      return std::nullopt;
    }
    if (kind == GroupReader::LineKind::Other) continue;
    if (kind == GroupReader::LineKind::DelimiterFirst) {
      services.messages.showMessage(std::string(kDelimiterFirst));
      list.Close();
      return std::nullopt;
    }

    const GroupReader::Group& group = groups.group();
    // The key copies the target line: looked up only once a group has been passed over.
    if (passedOver && !passedOver->empty() && passedOver->count({group.start, *group.targetLine})) continue;
    parseDelimiterLine(services.messages, *group.delimiterLine, items);  // an unreadable count is 0
    const std::int16_t remaining = items.remaining;
    float ra = 0, dec = 0;
    const bool parsed = parseTarget(services.util, services.messages, *group.targetLine, name, ra, dec);

    // A transform of the present moment for every group, as the host makes it.
    const std::unique_ptr<ICoordinateTransform> ct = services.util.NewCTHereAndNow();
    if (observer) observer->group(group.start, *group.targetLine, name, remaining, parsed, ra, dec);
    if (!parsed) continue;  // a target line without coordinates is never judged
    if (observer) observer->conditions(items.conditions);
    ct->setRightAscension(static_cast<double>(ra));
    ct->setDeclination(static_cast<double>(dec));

    const Judged judged = judge(services, settings, observer, *ct, ra, dec, items, moon);
    if (!judged.eligible) continue;

    targetLine(line, name, ra, dec, sep);
    log.WriteLine(line);
    const TargetScore score =
        scoreTarget(dec, services.util.HourAngle12(static_cast<double>(ra)), services.telescope.SiteLatitude());
    scoreLine(line, score.score, judged.elevation, score.transitAltitude, score.hourAngle, sep);
    log.WriteLine(line);
    const std::int16_t priority = items.conditions.priority;
    const bool leads = best ? priority > best->priority || (priority == best->priority && score.score > best->score)
                            : score.score > kNoTargetScore;
    if (observer) observer->scored(judged.elevation, score, leads);
    if (leads) {
      best = ChosenGroup{score.score, priority, *group.targetLine, group.start};
      newBestScoreLine(line, best->score, sep);
      log.WriteLine(line);
    }
  }
  list.Close();
  return best;
}

}  // namespace np
