#include "night/Twilight.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <locale>
#include <sstream>
#include <string>

namespace np {

namespace {

constexpr double kDegToRad = 0.0174532925;    // degrees to radians, as the program has always used it
constexpr double kTolerance = 0.0000115741;   // convergence, days (about one second)
constexpr double kDaysSearched = 366.0;       // how far ahead a crossing is looked for
constexpr int kMaxPasses = 4000;              // generous: a year of day steps plus convergence

// Beyond this latitude (degrees, either hemisphere) the Sun's daily circle is too flat
// for the hour angle to find the passage: the days on which it crosses the elevation
// can be fewer than one, and a search that moves on a day at a time steps over them.
constexpr double kPolarLatitude = 89.0;
// Bounds on how fast the Sun's elevation can change, per day: the hour angle turns at
// the sidereal rate (15.04 degrees an hour, a little rounded up here), the declination
// moves by less than half a degree a day.
constexpr double kHourAngleRate = 15.05 * 24.0 * kDegToRad;  // radians per day
constexpr double kDeclinationRate = 0.5 * kDegToRad;         // radians per day
// The search steps as far as the bound above allows, which is safe for a step of any
// length; the cap keeps one step from leaning on the bound over a whole season. Below
// the shortest step the Sun would have to pass H0 and come back within a minute.
constexpr double kShortestStep = 1.0 / 1440.0;                // days (a minute)
constexpr double kLongestStep = 30.0;                         // days
// The Sun's declination never leaves +-23.44 degrees; with some room to spare.
constexpr double kMaxSunDeclination = 24.0;

std::string elevationText(double elevation) {
  std::ostringstream os;
  os.imbue(std::locale::classic());
  os << elevation;
  return os.str();
}

// One search for the next crossing of H0 in the given direction, following the steps
// of the twilight computation. `notBefore` is an additional bound (a Julian date) the
// result must lie strictly after; -infinity for none. `xAtNow`, when given, receives
// the cosine of the wanted hour angle at the first pass, that is for the present
// moment (outside -1..1 when the Sun does not pass H0 today).
class CrossingSearch {
 public:
  CrossingSearch(SunSearchSite& site, IEphemeris& earthEphem, IEphemerisFactory& vectors, double H0)
      : site_(site), earthEphem_(earthEphem), vectors_(vectors), H0_(H0) {}

  double run(bool DoDawn, double notBefore, double* xAtNow) {
    const double phi = site_.latitude() * kDegToRad;
    const double h0 = H0_ * kDegToRad;
    double JD = site_.julianDateNow();
    if (notBefore > JD) JD = notBefore;
    double previousJD = JD;
    const double limitJD = JD + kDaysSearched;

    for (int pass = 0; pass < kMaxPasses; ++pass) {
      const auto [RA, Dec] = SunEphem(earthEphem_, vectors_, JD);
      const double delta = Dec * kDegToRad;
      const double x = (std::sin(h0) - std::sin(delta) * std::sin(phi)) / (std::cos(delta) * std::cos(phi));
      if (pass == 0 && xAtNow) *xAtNow = x;
      if (std::isnan(x)) throw RunTimeError("NextDawnDusk: the Sun's position gives no hour angle");

      if (x < -1.0 || x > 1.0) {
        // The Sun does not pass H0 on this day: try the next one.
        JD = JD + 1.0;
        previousJD = JD;
        if (JD > limitJD) throw NoTwilightError(H0_);
        continue;
      }

      double H = Arccos(x) / kDegToRad;
      if (DoDawn) H = -H;
      const double LST = site_.greenwichSiderealHours(JD) + site_.longitude() / 15.0;
      JD = JD + (H / 15.0 - site_.hourAngle12(RA, LST)) / 24.0;

      if (site_.julianDateNow() > JD || notBefore >= JD) {
        // The estimate lies in the past: the same passage one day later.
        JD = JD + 1.0;
        previousJD = JD;
        if (JD > limitJD) throw NoTwilightError(H0_);
      } else if (std::fabs(JD - previousJD) < kTolerance) {
        return JD;
      } else {
        previousJD = JD;
      }
    }
    throw RunTimeError("NextDawnDusk: the time of the Sun at an elevation of " + elevationText(H0_) +
                       " degrees did not settle");
  }

 private:
  SunSearchSite& site_;
  IEphemeris& earthEphem_;
  IEphemerisFactory& vectors_;
  double H0_;
};

// The next passage found from the Sun's elevation itself, where the hour angle cannot
// find it. The search walks forward from the present with steps short enough that the
// elevation cannot pass H0 and come back within one, and bisects the step in which it
// passes in the wanted direction. Because it follows the elevation continuously, the
// first passage after a moment below H0 is always a rising one and after a moment above
// it a setting one: the two answers asked together order as the observing loop reads
// them. Works at any latitude; it is slow where the Sun's elevation changes fast, so it
// serves where the hour angle fails.
class ElevationSearch {
 public:
  ElevationSearch(SunSearchSite& site, IEphemeris& earthEphem, IEphemerisFactory& vectors, double H0)
      : site_(site),
        earthEphem_(earthEphem),
        vectors_(vectors),
        H0_(H0),
        sinH0_(std::sin(H0 * kDegToRad)),
        latitude_(site.latitude()),
        longitude_(site.longitude()) {
    const double phi = latitude_ * kDegToRad;
    sinPhi_ = std::sin(phi);
    cosPhi_ = std::cos(phi);
    // The largest change of sin(elevation) per day: the hour angle term moves it by at
    // most cos(phi) cos(dec) per radian of hour angle, the declination by at most one
    // per radian of declination.
    maxRate_ = std::fabs(cosPhi_) * kHourAngleRate + kDeclinationRate;
  }

  double run(bool DoDawn) {
    // The Sun's elevation stays within 90 - |latitude - declination| of the zenith side
    // and |latitude + declination| - 90 on the other: an elevation beyond what any
    // season gives needs no year of searching.
    const double closest = std::max(0.0, std::fabs(latitude_) - kMaxSunDeclination);
    if (std::fabs(H0_) > 90.0 - closest) throw NoTwilightError(H0_);

    const double now = site_.julianDateNow();
    const double limitJD = now + kDaysSearched;
    // Above H0 counts as the Sun being up; a passage is a change from one side to the other.
    auto up = [](double excess) { return excess >= 0.0; };
    double t0 = now;
    double f0 = excess(t0);
    while (t0 < limitJD) {
      // sin(elevation) cannot reach sin(H0) sooner than |f0| / maxRate_ from t0.
      const double step = std::clamp(std::fabs(f0) / maxRate_, kShortestStep, kLongestStep);
      const double t1 = std::min(t0 + step, limitJD);
      const double f1 = excess(t1);
      if (up(f0) != up(f1) && up(f1) == DoDawn) return bisect(t0, t1, DoDawn);
      t0 = t1;
      f0 = f1;
    }
    throw NoTwilightError(H0_);
  }

 private:
  // sin(elevation) - sin(H0) at the Julian date JD, by the same reckoning as the hour
  // angle path: the Sun from SunEphem, the hour angle from the mean sidereal time.
  double excess(double JD) {
    const auto [RA, Dec] = SunEphem(earthEphem_, vectors_, JD);
    const double LST = site_.greenwichSiderealHours(JD) + longitude_ / 15.0;
    const double H = site_.hourAngle12(RA, LST) * 15.0 * kDegToRad;
    const double delta = Dec * kDegToRad;
    const double sinElevation = sinPhi_ * std::sin(delta) + cosPhi_ * std::cos(delta) * std::cos(H);
    if (std::isnan(sinElevation)) throw RunTimeError("NextDawnDusk: the Sun's position gives no elevation");
    return sinElevation - sinH0_;
  }

  // The moment of the passage within (t0, t1], where the Sun is on the old side at t0
  // and on the new side (up for a dawn) at t1: the first moment found on the new side
  // once the interval is down to about a second, so the answer lies after t0.
  double bisect(double t0, double t1, bool DoDawn) {
    while (t1 - t0 > kTolerance) {
      const double mid = 0.5 * (t0 + t1);
      if ((excess(mid) >= 0.0) == DoDawn) {
        t1 = mid;
      } else {
        t0 = mid;
      }
    }
    return t1;
  }

  SunSearchSite& site_;
  IEphemeris& earthEphem_;
  IEphemerisFactory& vectors_;
  double H0_;
  double sinH0_;
  double latitude_, longitude_;
  double sinPhi_ = 0.0, cosPhi_ = 1.0;
  double maxRate_ = 1.0;
};

}  // namespace

NoTwilightError::NoTwilightError(double elevation)
    : RunTimeError("NextDawnDusk: the Sun does not pass an elevation of " + elevationText(elevation) +
                   " degrees at this site within a year"),
      elevation_(elevation) {}

double Arccos(double x) {
  if (!(x >= -1.0 && x <= 1.0)) {
    throw RunTimeError("Arccos: invalid argument " + elevationText(x) + " (outside -1..1)");
  }
  if (x == 1.0) return 0.0;
  if (x == -1.0) return 4.0 * std::atan(1.0);
  return 2.0 * std::atan(1.0) - std::atan(x / std::sqrt(1.0 - x * x));
}

SunPosition SunEphem(IEphemeris& earthEphem, IEphemerisFactory& vectors, double JD) {
  const std::array<double, 6> p = earthEphem.GetPositionAndVelocity(JD);
  std::unique_ptr<IPositionVector> v = vectors.createPositionVector();
  v->setX(-p[0]);
  v->setY(-p[1]);
  v->setZ(-p[2]);
  return SunPosition{v->RightAscension(), v->Declination()};
}

double NextDawnDuskJulian(SunSearchSite& site, IEphemeris& earthEphem, IEphemerisFactory& vectors, double H0,
                          bool DoDawn) {
  // The Sun's elevation never leaves -90..90; the formula below would read such an
  // elevation as its mirror image and find crossings that do not exist.
  if (!(H0 >= -90.0 && H0 <= 90.0)) throw NoTwilightError(H0);

  auto byElevation = [&] { return ElevationSearch(site, earthEphem, vectors, H0).run(DoDawn); };
  if (std::fabs(site.latitude()) > kPolarLatitude) return byElevation();

  CrossingSearch search(site, earthEphem, vectors, H0);
  constexpr double kNone = -std::numeric_limits<double>::infinity();
  double JD = 0.0;
  try {
    double xNow = 0.0;
    JD = search.run(DoDawn, kNone, &xNow);

    // When the Sun does not pass H0 today, the two answers come from day-by-day searches
    // that can settle on neighbouring days. Make them order as the present requires.
    if (DoDawn && xNow < -1.0) {
      // Above H0 all day: it is day, so the next dawn must follow the next dusk.
      const double dusk = search.run(false, kNone, nullptr);
      if (JD <= dusk) JD = search.run(true, dusk, nullptr);
    } else if (!DoDawn && xNow > 1.0) {
      // Below H0 all day: it is night, so the next dusk must follow the next dawn.
      const double dawn = search.run(true, kNone, nullptr);
      if (JD <= dawn) JD = search.run(false, dawn, nullptr);
    }
  } catch (const NoTwilightError&) {
    // The day steps may have passed over the few days on which the Sun crosses H0; the
    // elevation itself tells whether there is a passage within the year after all.
    return byElevation();
  }
  return JD;
}

DateTime NextDawnDusk(const Services& services, IEphemeris& earthEphem, double H0, bool DoDawn) {
  // The host's clock, sidereal time and site, asked afresh at every step of the search.
  class HostSite : public SunSearchSite {
   public:
    HostSite(IUtil& util, ITelescope& telescope) : util_(util), telescope_(telescope) {}
    double julianDateNow() override { return util_.SysJulianDate(); }
    double greenwichSiderealHours(double julianDate) override { return util_.Julian_GMST(julianDate); }
    double hourAngle12(double rightAscension, double localSiderealTime) override {
      return util_.HourAngle12(rightAscension, localSiderealTime);
    }
    double latitude() override { return telescope_.SiteLatitude(); }
    double longitude() override { return telescope_.SiteLongitude(); }

   private:
    IUtil& util_;
    ITelescope& telescope_;
  } site(services.util, services.telescope);
  return services.util.Julian_Date(NextDawnDuskJulian(site, earthEphem, services.ephemeris, H0, DoDawn));
}

}  // namespace np
