// Dawn and dusk within a degree of a pole, where the Sun's daily circle is nearly level
// and its elevation moves with the seasons: the one dawn that ends a polar night and the
// one dusk that ends a polar day, found as real passages (checked with the independent
// reckoning of SolarReference.h), their order as the observing loop reads it, the search
// that takes over where the day-by-day hour-angle search misses every crossing, and what
// asking every few minutes costs.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "SolarReference.h"
#include "TwilightFakes.h"
#include "host/ErfaEphemeris.h"
#include "night/Twilight.h"
#include "support/ServicesAround.h"

namespace np {
namespace {

using test::when;
using test::julianDateOf;
using test::referenceSunElevation;
using test::unixSecondsOf;

constexpr double kHour = 1.0 / 24.0;

// The ERFA Earth, counting how often the Sun's position is asked for.
class CountingEarth : public IEphemeris {
 public:
  CountingEarth() {
    earth_ = ErfaEphemerisFactory().createEphemeris();
    earth_->setBodyType(0);
    earth_->setNumber(3);
  }
  void setBodyType(int) override {}
  void setNumber(int) override {}
  std::array<double, 6> GetPositionAndVelocity(double jd) override {
    ++calls;
    return earth_->GetPositionAndVelocity(jd);
  }
  long calls = 0;

 private:
  std::unique_ptr<IEphemeris> earth_;
};

// The twilight computation at a site on a manual clock, answers as Julian dates (UTC).
struct Site {
  Site(double latitude, double longitude) {
    test::answerFromClock(util, clock);
    test::placeAt(telescope, latitude, longitude);
  }
  void setNow(double jd) { clock.set(unixSecondsOf(jd)); }
  double next(double H0, bool dawn) {
    return util.Date_Julian(NextDawnDusk(test::ServicesAround(util, telescope, vectors), earth, H0, dawn));
  }
  double latitude() { return telescope.SiteLatitude(); }
  double longitude() { return telescope.SiteLongitude(); }

  ManualClock clock;
  test::FakeUtil util;
  test::FakeTelescope telescope;
  CountingEarth earth;
  ErfaEphemerisFactory vectors;
};

// `got` is a passage of -18 degrees by the reference: the Sun stands there (within the
// few tenths of a degree the two reckonings differ by) and is rising for a dawn, setting
// for a dusk. The reference also keeps the Sun on the other side from `from` to a day
// before it (sampled every six hours), so no earlier passage was passed over.
void expectFirstPassage(Site& site, double from, double got, bool dawn, const std::string& what) {
  const double lat = site.latitude(), lon = site.longitude();
  EXPECT_NEAR(referenceSunElevation(got, lat, lon), -18.0, 0.3) << what;
  const double change = referenceSunElevation(got + kHour, lat, lon) - referenceSunElevation(got - kHour, lat, lon);
  EXPECT_GT(dawn ? change : -change, 0.0) << what << ": the Sun is " << (dawn ? "setting" : "rising");
  for (double t = from; t < got - 1.0; t += 6 * kHour) {
    const double e = referenceSunElevation(t, lat, lon);
    if (dawn ? e > -18.0 : e < -18.0) {
      ADD_FAILURE() << what << ": the Sun is at " << e << " already on " << when(t);
      break;
    }
  }
}

TEST(PolarTwilight, JuneAtTheSouthPoleIsNightUntilTheAugustDawn) {
  for (double latitude : {-90.0, -89.95}) {
    for (double start : {julianDateOf(2024, 6, 15, 0.0), julianDateOf(2024, 6, 21, 13.5)}) {
      Site site(latitude, 0.0);
      site.setNow(start);
      const double dawn = site.next(-18, true), dusk = site.next(-18, false);
      const std::string what = std::to_string(latitude) + " from " + when(start) + ": dawn " + when(dawn) +
                               ", dusk " + when(dusk);
      EXPECT_LT(dawn, dusk) << what;  // the loop sees night
      // The Sun's declination comes down to +18 degrees at the beginning of August.
      EXPECT_GT(dawn, julianDateOf(2024, 7, 25)) << what;
      EXPECT_LT(dawn, julianDateOf(2024, 8, 10)) << what;
      expectFirstPassage(site, start, dawn, true, what);
      // The dusk after it ends the polar day, in May.
      EXPECT_GT(dusk, julianDateOf(2025, 4, 25)) << what;
      EXPECT_LT(dusk, julianDateOf(2025, 5, 25)) << what;
      expectFirstPassage(site, dawn + 1.0, dusk, false, what);
    }
  }
}

TEST(PolarTwilight, NearTheNorthPoleAtBothSolstices) {
  Site site(89.9, 40.0);
  // Polar night: dark until the dawn late in January.
  const double december = julianDateOf(2024, 12, 21, 6.0);
  site.setNow(december);
  double dawn = site.next(-18, true), dusk = site.next(-18, false);
  std::string what = "December: dawn " + when(dawn) + ", dusk " + when(dusk);
  EXPECT_LT(dawn, dusk) << what;
  EXPECT_GT(dawn, julianDateOf(2025, 1, 20)) << what;
  EXPECT_LT(dawn, julianDateOf(2025, 2, 5)) << what;
  expectFirstPassage(site, december, dawn, true, what);

  // Polar day: light until the dusk in November. This far from the pole the daily circle
  // still rocks the Sun by a tenth of a degree, so the dawn after it may follow within
  // hours; it is a passage too.
  const double june = julianDateOf(2024, 6, 21, 18.0);
  site.setNow(june);
  dawn = site.next(-18, true);
  dusk = site.next(-18, false);
  what = "June: dawn " + when(dawn) + ", dusk " + when(dusk);
  EXPECT_LT(dusk, dawn) << what;  // the loop sees day
  EXPECT_GT(dusk, julianDateOf(2024, 11, 1)) << what;
  EXPECT_LT(dusk, julianDateOf(2024, 11, 25)) << what;
  expectFirstPassage(site, june, dusk, false, what);
  EXPECT_NEAR(referenceSunElevation(dawn, site.latitude(), site.longitude()), -18.0, 0.3) << what;
}

// Through a whole year within a degree of either pole, the loop's reading of the two
// answers matches the Sun's reference elevation wherever that is clearly above or below
// -18 degrees.
TEST(PolarTwilight, TheLoopReadsDayAndNightRightAllYear) {
  for (double latitude : {-90.0, -89.95, 89.5, 89.9, 90.0}) {
    Site site(latitude, -75.0);
    int checked = 0;
    for (double t = julianDateOf(2024, 1, 3, 0.0); t < julianDateOf(2025, 1, 3); t += 6.0 + 5.0 / 24.0) {
      site.setNow(t);
      const double dawn = site.next(-18, true), dusk = site.next(-18, false);
      ASSERT_GT(dawn, t) << latitude << " " << when(t);
      ASSERT_GT(dusk, t) << latitude << " " << when(t);
      const double elevation = referenceSunElevation(t, latitude, -75.0);
      if (std::fabs(elevation + 18.0) < 0.4) continue;
      EXPECT_EQ(dawn > dusk, elevation > -18.0) << latitude << " at " << when(t) << ": Sun at " << elevation
                                                << ", dawn " << when(dawn) << ", dusk " << when(dusk);
      ++checked;
    }
    EXPECT_GT(checked, 50) << latitude;
  }
}

// The observing loop asks for both answers on every pass, a pass every few minutes.
TEST(PolarTwilight, ADayOfPassesAgreesWithItselfAndStaysCheap) {
  Site site(-89.95, 166.7);
  const double start = julianDateOf(2024, 6, 15, 0.0);
  site.setNow(start);
  const double firstDawn = site.next(-18, true), firstDusk = site.next(-18, false);
  site.earth.calls = 0;
  int passes = 0;
  for (double t = start; t < start + 1.0; t += 5.0 / 1440.0, ++passes) {
    site.setNow(t);
    const double dawn = site.next(-18, true), dusk = site.next(-18, false);
    ASSERT_LT(dawn, dusk) << when(t);
    ASSERT_NEAR(dawn, firstDawn, 2.0 / 86400) << when(t);
    ASSERT_NEAR(dusk, firstDusk, 2.0 / 86400) << when(t);
  }
  // A few dozen positions of the Sun per answer, where the day-by-day search would take
  // one for each of the hundreds of days until the dusk.
  EXPECT_LT(site.earth.calls, passes * 2 * 100);
}

TEST(PolarTwilight, AnElevationThePolarSunNeverPassesIsNoTwilightError) {
  Site site(-90.0, 0.0);
  site.setNow(julianDateOf(2024, 6, 15, 0.0));
  // Just beyond the Sun's lowest elevation at the pole (-23.44): a year's search, bounded.
  for (bool dawn : {true, false}) {
    site.earth.calls = 0;
    try {
      site.next(-23.7, dawn);
      ADD_FAILURE() << "no error";
    } catch (const NoTwilightError& e) {
      EXPECT_EQ(e.elevation(), -23.7);
    }
    EXPECT_GT(site.earth.calls, 0);
    EXPECT_LT(site.earth.calls, 5000);
  }
  // Far beyond it the season's range alone tells, without a search.
  site.earth.calls = 0;
  EXPECT_THROW(site.next(-40, true), NoTwilightError);
  EXPECT_THROW(site.next(45, false), NoTwilightError);
  EXPECT_EQ(site.earth.calls, 0);
}

// A Sun whose declination swings by 0.07 degrees with a period of exactly one day, at its
// highest when it culminates and at its lowest a half day earlier or later. At 60 N it
// culminates at about 50 degrees: above an elevation of 50 it rises for a few minutes
// around the culmination, while at the moment of every daily sample of the hour-angle
// search it cannot reach 50 that day. The elevation search finds those passages.
class SwingingSun : public IEphemeris {
 public:
  explicit SwingingSun(double culminationJd) : culmination_(culminationJd) {}
  void setBodyType(int) override {}
  void setNumber(int) override {}
  std::array<double, 6> GetPositionAndVelocity(double jd) override {
    const double dec = declination(jd) * ERFA_DD2R;
    return {-std::cos(dec), 0.0, -std::sin(dec), 0.0, 0.0, 0.0};  // the Sun at right ascension 0
  }
  double declination(double jd) const { return 20.0 + 0.07 * std::cos(2.0 * ERFA_DPI * (jd - culmination_)); }

 private:
  double culmination_;
};

TEST(PolarTwilight, WhereEveryDailySampleMissesThePassageTheElevationFindsIt) {
  ManualClock clock;
  test::FakeUtil util;
  test::answerFromClock(util, clock);
  test::FakeTelescope site;
  test::placeAt(site, 60.0, 0.0);
  // A culmination of right ascension 0 at longitude 0: the mean sidereal time is 0.
  double culmination = julianDateOf(2024, 3, 1, 12.0);
  for (int i = 0; i < 3; ++i) culmination -= util.Julian_GMST(culmination) / 24.0 / 1.00273790935;
  SwingingSun sun(culmination);
  ErfaEphemerisFactory vectors;
  const double now = culmination - 0.5;
  clock.set(unixSecondsOf(now));
  const double dawn = util.Date_Julian(NextDawnDusk(test::ServicesAround(util, site, vectors), sun, 50.0, true));
  const double dusk = util.Date_Julian(NextDawnDusk(test::ServicesAround(util, site, vectors), sun, 50.0, false));
  // At the first culmination, half a day on: rising through 50 just before it, setting
  // just after.
  EXPECT_LT(dawn, culmination);
  EXPECT_GT(dawn, culmination - kHour);
  EXPECT_GT(dusk, culmination);
  EXPECT_LT(dusk, culmination + kHour);
  for (double t : {dawn, dusk}) {
    const double dec = sun.declination(t) * ERFA_DD2R, phi = 60.0 * ERFA_DD2R;
    const double hourAngle = util.HourAngle12(0.0, util.Julian_GMST(t)) * 15.0 * ERFA_DD2R;
    const double sinElevation = std::sin(phi) * std::sin(dec) + std::cos(phi) * std::cos(dec) * std::cos(hourAngle);
    EXPECT_NEAR(std::asin(sinElevation) * ERFA_DR2D, 50.0, 0.001) << when(t);
  }
}

}  // namespace
}  // namespace np
