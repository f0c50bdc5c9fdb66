#include "night/Twilight.h"

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
  CrossingSearch(IUtil& util, ITelescope& telescope, IEphemeris& earthEphem, IEphemerisFactory& vectors, double H0)
      : util_(util), telescope_(telescope), earthEphem_(earthEphem), vectors_(vectors), H0_(H0) {}

  double run(bool DoDawn, double notBefore, double* xAtNow) {
    const double phi = telescope_.SiteLatitude() * kDegToRad;
    const double h0 = H0_ * kDegToRad;
    double JD = util_.SysJulianDate();
    if (notBefore > JD) JD = notBefore;
    double previousJD = JD;
    const double limitJD = JD + kDaysSearched;

    for (int pass = 0; pass < kMaxPasses; ++pass) {
      double RA = 0.0, Dec = 0.0;
      SunEphem(earthEphem_, vectors_, JD, RA, Dec);
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
      const double LST = util_.Julian_GMST(JD) + telescope_.SiteLongitude() / 15.0;
      JD = JD + (H / 15.0 - util_.HourAngle12(RA, LST)) / 24.0;

      if (util_.SysJulianDate() > JD || notBefore >= JD) {
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
  IUtil& util_;
  ITelescope& telescope_;
  IEphemeris& earthEphem_;
  IEphemerisFactory& vectors_;
  double H0_;
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

void SunEphem(IEphemeris& earthEphem, IEphemerisFactory& vectors, double JD, double& RA, double& Dec) {
  const std::array<double, 6> p = earthEphem.GetPositionAndVelocity(JD);
  std::unique_ptr<IPositionVector> v = vectors.createPositionVector();
  v->setX(-p[0]);
  v->setY(-p[1]);
  v->setZ(-p[2]);
  RA = v->RightAscension();
  Dec = v->Declination();
}

DateTime NextDawnDusk(IUtil& util, ITelescope& telescope, IEphemeris& earthEphem, IEphemerisFactory& vectors,
                      double H0, bool DoDawn) {
  // The Sun's elevation never leaves -90..90; the formula below would read such an
  // elevation as its mirror image and find crossings that do not exist.
  if (!(H0 >= -90.0 && H0 <= 90.0)) throw NoTwilightError(H0);

  CrossingSearch search(util, telescope, earthEphem, vectors, H0);
  constexpr double kNone = -std::numeric_limits<double>::infinity();
  double xNow = 0.0;
  double JD = search.run(DoDawn, kNone, &xNow);

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
  return util.Julian_Date(JD);
}

}  // namespace np
