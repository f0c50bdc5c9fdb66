#include "report/ReportSun.h"

#include <algorithm>

#include "host/ErfaEphemeris.h"
#include "host/InterpolatedEphemeris.h"
#include "host/SkyMath.h"
#include "host/UtcTime.h"
#include "night/Twilight.h"

namespace np {

struct ReportSun::Ephemerides {
  explicit Ephemerides(bool fromDailyTable)
      : factory(fromDailyTable ? static_cast<IEphemerisFactory&>(interpolated) : exact),
        earth(factory.createEphemeris()) {
    earth->setBodyType(0);
    earth->setNumber(3);
  }
  ErfaEphemerisFactory exact;
  InterpolatedEphemerisFactory interpolated{exact};
  IEphemerisFactory& factory;
  std::unique_ptr<IEphemeris> earth;
};

namespace {

// The search's questions answered at a fixed moment, with the simulated observatory's
// sidereal reckoning (ComputedUtil): what the loop of a dry run is answered at that moment.
class FixedMoment : public SunSearchSite {
 public:
  FixedMoment(double julianDate, double latitude, double longitude)
      : julianDate_(julianDate), latitude_(latitude), longitude_(longitude) {}
  double julianDateNow() override { return julianDate_; }
  double greenwichSiderealHours(double julianDate) override { return greenwichMeanSiderealHours(julianDate); }
  double hourAngle12(double rightAscension, double localSiderealTime) override {
    return np::hourAngle12(rightAscension, localSiderealTime);
  }
  double latitude() override { return latitude_; }
  double longitude() override { return longitude_; }

 private:
  double julianDate_, latitude_, longitude_;
};

}  // namespace

ReportSun::ReportSun(double latitude, double longitude, bool fromDailyTable)
    : latitude_(latitude), longitude_(longitude), ephemerides_(std::make_shared<Ephemerides>(fromDailyTable)) {}

double ReportSun::elevation(double unixSeconds) const {
  const double jd = julianDateFromUnix(unixSeconds);
  const SunPosition sun = SunEphem(*ephemerides_->earth, ephemerides_->factory, jd);
  return horizontalAt(sun.RA, sun.Dec, latitude_, longitude_, jd).elevation;
}

double ReportSun::nextPassage(double sunElev, double unixSeconds, bool dawn) const {
  FixedMoment moment(julianDateFromUnix(unixSeconds), latitude_, longitude_);
  return unixFromJulianDate(
      NextDawnDuskJulian(moment, *ephemerides_->earth, ephemerides_->factory, sunElev, dawn));
}

std::vector<TimeSpan> ReportSun::darkSpans(double sunElev, double start, double end) const {
  std::vector<TimeSpan> spans;
  if (!(end > start)) return spans;
  double dawn = 0.0, dusk = 0.0;
  try {
    dawn = nextPassage(sunElev, start, true);
    dusk = nextPassage(sunElev, start, false);
  } catch (const NoTwilightError&) {
    if (elevation(start) < sunElev) spans.push_back({start, end});
    return spans;
  }
  // As the loop reads them: a dawn later than the dusk means day.
  bool night = !(dawn > dusk);
  double t = start;
  while (t < end) {
    // After a dusk the next passage is a dawn, after a dawn a dusk: asked for the other
    // kind, the search never answers with the passage it is asked at.
    // A passage at the very moment asked (a start at dusk) ends nothing.
    const double next = std::max(t, night ? dawn : dusk);
    if (night && next > t) spans.push_back({t, std::min(next, end)});
    t = next;
    night = !night;
    if (t >= end) break;
    try {
      (night ? dawn : dusk) = nextPassage(sunElev, t, night);
    } catch (const NoTwilightError&) {
      // No passage within a year: the Sun stays on this side to the end.
      if (night) spans.push_back({t, end});
      break;
    }
  }
  return spans;
}

}  // namespace np
