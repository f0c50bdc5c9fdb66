#include "selection/Selection.h"

#include <cmath>

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
Judged judge(const Services& services, const Settings& settings, SelectionObserver* observer, ICoordinateTransform& ct,
             float targetDec, std::int16_t remaining) {
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
  std::optional<ChosenGroup> best;
  const char sep = services.locale.decimalSeparator;

  ListReader list(services.files.OpenTextFile(services.programFolder + std::string(kTargetListName)));
  GroupReader groups;
  std::string name, line;  // reused from group to group
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
    std::int16_t remaining = 0;
    parseTargetConfig(services.messages, *group.delimiterLine, remaining);  // an unreadable count is 0
    float ra = 0, dec = 0;
    const bool parsed = parseTarget(services.util, services.messages, *group.targetLine, name, ra, dec);

    // A transform of the present moment for every group, as the host makes it.
    const std::unique_ptr<ICoordinateTransform> ct = services.util.NewCTHereAndNow();
    if (observer) observer->group(group.start, *group.targetLine, name, remaining, parsed, ra, dec);
    if (!parsed) continue;  // a target line without coordinates is never judged
    ct->setRightAscension(static_cast<double>(ra));
    ct->setDeclination(static_cast<double>(dec));

    const Judged judged = judge(services, settings, observer, *ct, dec, remaining);
    if (!judged.eligible) continue;

    targetLine(line, name, ra, dec, sep);
    log.WriteLine(line);
    const TargetScore score =
        scoreTarget(dec, services.util.HourAngle12(static_cast<double>(ra)), services.telescope.SiteLatitude());
    scoreLine(line, score.score, judged.elevation, score.transitAltitude, score.hourAngle, sep);
    log.WriteLine(line);
    const bool leads = score.score > (best ? best->score : kNoTargetScore);
    if (observer) observer->scored(judged.elevation, score, leads);
    if (leads) {
      best = ChosenGroup{score.score, *group.targetLine, group.start};
      newBestScoreLine(line, best->score, sep);
      log.WriteLine(line);
    }
  }
  list.Close();
  return best;
}

}  // namespace np
