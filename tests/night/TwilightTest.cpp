// Dawn and dusk: the arc cosine, the order of the answers by day and by night, the
// passage asked just after it happened, and agreement with an independent reckoning
// (SolarReference.h) at several latitudes in both hemispheres, including the seasons
// in which the Sun does not pass the elevation at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "SolarReference.h"
#include "TwilightFakes.h"
#include "host/ErfaEphemeris.h"
#include "night/Twilight.h"
#include "support/ServicesAround.h"
#include "support/TestWorld.h"
#include "support/SimFixture.h"

namespace np {
namespace {

using test::when;
using test::julianDateOf;
using test::referenceCrossing;
using test::referenceSunElevation;
using test::unixSecondsOf;

constexpr double kMinute = 1.0 / 1440.0;

// ---------------------------------------------------------------------------------
TEST(Arccos, EndsOfTheRangeAreExactAndFinite) {
  EXPECT_EQ(Arccos(1.0), 0.0);
  EXPECT_EQ(Arccos(-1.0), 4.0 * std::atan(1.0));
  EXPECT_DOUBLE_EQ(Arccos(0.0), std::numbers::pi / 2);
  // Just inside the ends the quotient is huge but finite.
  const double nearOne = std::nextafter(1.0, 0.0);
  EXPECT_TRUE(std::isfinite(Arccos(nearOne)));
  EXPECT_NEAR(Arccos(nearOne), std::acos(nearOne), 1e-9);
  EXPECT_NEAR(Arccos(-nearOne), std::acos(-nearOne), 1e-9);
}

TEST(Arccos, AgreesWithTheLibraryAcrossTheRange) {
  for (double x = -0.999; x <= 0.999; x += 0.0137) {
    EXPECT_NEAR(Arccos(x), std::acos(x), 1e-12) << x;
  }
}

TEST(Arccos, OutsideTheRangeIsARunTimeError) {
  EXPECT_THROW(Arccos(1.0000001), RunTimeError);
  EXPECT_THROW(Arccos(-1.5), RunTimeError);
  EXPECT_THROW(Arccos(std::nan("")), RunTimeError);
}

// ---------------------------------------------------------------------------------
struct Site {
  const char* name;
  double latitude, longitude;
};

const Site kKittPeak{"31.96 N", 31.96, -111.6};
const Site kLondon{"51.5 N", 51.5, -0.13};
const Site kCapeTown{"33.9 S", -33.9, 18.4};
const Site kAntarctic{"70 S", -70.0, 11.8};
const Site kOulu{"65 N", 65.0, 25.5};
const Site kHighArctic{"88 N", 88.0, 0.0};

// The twilight computation at a site of the simulated observatory on a manual clock.
class Observatory {
 public:
  explicit Observatory(const Site& site)
      : site(site),
        sim("[site]\nlatitude = " + std::to_string(site.latitude) + "\nlongitude = " +
            std::to_string(site.longitude) + "\n") {
    earthEphem = factory.createEphemeris();
    earthEphem->setBodyType(0);
    earthEphem->setNumber(3);
  }
  void setNow(double jd) { sim.clock.set(unixSecondsOf(jd)); }
  // The answer as a Julian date (UTC), from the local date-time the host gives.
  double next(double H0, bool dawn) {
    return sim.util->Date_Julian(NextDawnDusk(test::ServicesAround(*sim.util, *sim.telescope, factory), *earthEphem, H0, dawn));
  }
  // What the observing loop concludes: the dawn later than the dusk means day.
  bool loopSeesDay(double H0) { return next(H0, true) > next(H0, false); }

  Site site;
  test::SimFixture sim;
  ErfaEphemerisFactory factory;
  std::unique_ptr<IEphemeris> earthEphem;
};

// ---------------------------------------------------------------------------------
// The algorithm ignores refraction, uses mean sidereal time and the geometric Sun on
// the J2000 equator; the reference has the apparent Sun of date. The difference is a
// few tenths of a degree in elevation, which at a shallow crossing is some minutes.
// Every case here has a passage each day, so the first one lies within a day.
TEST(NextDawnDusk, AgreesWithTheIndependentReckoning) {
  struct Case {
    Site site;
    int y, m, d;
  } cases[] = {
      {kKittPeak, 2024, 3, 20},  {kKittPeak, 2024, 6, 21},  {kKittPeak, 2024, 12, 21},
      {kLondon, 2024, 3, 20},    {kLondon, 2024, 9, 22},    {kLondon, 2024, 12, 21},
      {kCapeTown, 2024, 3, 20},  {kCapeTown, 2024, 6, 21},  {kCapeTown, 2024, 12, 21},
      {kAntarctic, 2024, 3, 20}, {kAntarctic, 2024, 6, 21}, {kAntarctic, 2024, 9, 22},
      {kOulu, 2024, 3, 20},      {kOulu, 2024, 9, 22},      {kOulu, 2024, 12, 21},
  };
  int compared = 0;
  for (const Case& c : cases) {
    Observatory obs(c.site);
    const double timeTolerance = std::fabs(c.site.latitude) > 60 ? 15 * kMinute : 4 * kMinute;
    for (double H0 : {-18.0, -6.0}) {
      for (double hour : {3.0, 15.0}) {
        const double start = julianDateOf(c.y, c.m, c.d, hour);
        obs.setNow(start);
        for (bool dawn : {true, false}) {
          const double got = obs.next(H0, dawn);
          const std::string what = std::string(c.site.name) + (dawn ? " dawn " : " dusk ") + std::to_string(H0) +
                                   " from " + when(start) + ": got " + when(got);
          EXPECT_GT(got, start) << what;
          EXPECT_LT(got - start, 1.0 + timeTolerance) << what;
          auto ref = referenceCrossing(std::max(start, got - 2.0 / 24), c.site.latitude, c.site.longitude, H0, dawn,
                                       4.0 / 24, 15.0);
          if (!ref) {
            ADD_FAILURE() << what << ": no reference passage within two hours";
            continue;
          }
          EXPECT_NEAR(got, *ref, timeTolerance) << what << ", reference " << when(*ref);
          EXPECT_NEAR(referenceSunElevation(got, c.site.latitude, c.site.longitude), H0, 0.45) << what;
          ++compared;
        }
      }
    }
  }
  EXPECT_EQ(compared, 15 * 2 * 2 * 2);
}

TEST(NextDawnDusk, DawnAndDuskOrderByDayAndByNight) {
  for (const Site& site : {kKittPeak, kCapeTown}) {
    Observatory obs(site);
    // Local noon and local midnight, from the longitude.
    const double noon = julianDateOf(2024, 4, 10, 12.0 - site.longitude / 15.0);
    obs.setNow(noon);
    const double dawnByDay = obs.next(-18, true), duskByDay = obs.next(-18, false);
    EXPECT_LT(duskByDay, dawnByDay) << site.name;
    EXPECT_LT(duskByDay - noon, 0.5) << site.name;
    EXPECT_TRUE(obs.loopSeesDay(-18)) << site.name;

    obs.setNow(noon + 0.5);
    const double dawnByNight = obs.next(-18, true), duskByNight = obs.next(-18, false);
    EXPECT_LT(dawnByNight, duskByNight) << site.name;
    EXPECT_LT(dawnByNight - (noon + 0.5), 0.5) << site.name;
    EXPECT_FALSE(obs.loopSeesDay(-18)) << site.name;
  }
}

TEST(NextDawnDusk, AskedJustAfterThePassageGivesTheNextDaysOne) {
  Observatory obs(kLondon);
  obs.setNow(julianDateOf(2024, 10, 5, 12.0));
  for (bool dawn : {false, true}) {
    const double first = obs.next(-12, dawn);
    obs.setNow(first + 30.0 / 86400.0);
    const double second = obs.next(-12, dawn);
    EXPECT_NEAR(second - first, 1.0, 10 * kMinute) << (dawn ? "dawn" : "dusk");
    obs.setNow(first - 30.0 / 86400.0);
    EXPECT_NEAR(obs.next(-12, dawn), first, 3.0 / 86400.0) << (dawn ? "dawn" : "dusk");
  }
}

// The present moment moves on while the passage is computed: an estimate that the clock
// has meanwhile passed is in the past, so the next day's passage is the answer.
TEST(NextDawnDusk, TheClockIsReadAgainAfterEveryEstimate) {
  Observatory obs(kKittPeak);
  obs.setNow(julianDateOf(2024, 2, 1, 20.0));
  const double dusk = obs.next(-18, false);

  ManualClock clock;
  test::FakeUtil ticking;
  test::answerFromClock(ticking, clock);
  ticking.members.SysJulianDate.answer = [&clock] {
    const double jd = clock.julianDateUtc();
    clock.advance(60.0);  // every reading of the clock takes a minute
    return jd;
  };
  clock.set(unixSecondsOf(dusk - 20.0 / 86400.0));
  const double got = NextDawnDusk(test::ServicesAround(ticking, *obs.sim.telescope, obs.factory), *obs.earthEphem, -18, false).serial +
                     kSerialEpochJD;
  EXPECT_NEAR(got - dusk, 1.0, 10 * kMinute);
  EXPECT_GE(ticking.members.SysJulianDate.calls, 2);
}

// An Earth that keeps the Sun at right ascension 0, declination 0.
class FixedEarth : public IEphemeris {
 public:
  void setBodyType(int) override {}
  void setNumber(int) override {}
  std::array<double, 6> GetPositionAndVelocity(double) override { return {-1.0, 0.0, 0.0, 0.0, 0.0, 0.0}; }
};

TEST(NextDawnDusk, AnEstimateEqualToThePresentIsNotInThePast) {
  // On the equator with the Sun on the equator, the Sun sets through 0 degrees at an
  // hour angle of 6 hours. A sidereal time that puts the Sun exactly there makes the
  // first estimate the present moment itself.
  ManualClock clock(unixSecondsOf(julianDateOf(2024, 7, 1, 18.0)));
  test::FakeUtil util;
  test::answerFromClock(util, clock);
  util.members.Julian_GMST.answer = [](double) { return Arccos(0.0) / 0.0174532925 / 15.0; };
  test::FakeTelescope equator;
  test::placeAt(equator, 0.0, 0.0);
  FixedEarth earth;
  ErfaEphemerisFactory vectors;
  const DateTime got = NextDawnDusk(test::ServicesAround(util, equator, vectors), earth, 0.0, false);
  EXPECT_EQ(got.serial, clock.julianDateUtc() - kSerialEpochJD);
}

// ---------------------------------------------------------------------------------
// Seasons in which the Sun does not pass the elevation.

// Checks with the reference that the Sun does not pass H0 from `from` until two days
// before the answer `got` (the Sun's elevation at each local midnight stays above H0
// when `bright`, at each local noon below it otherwise), and returns the reference
// passage near `got`.
double referenceFirstPassage(const Site& site, double from, double got, double H0, bool dawn, bool bright) {
  const double culmination = (bright ? 0.0 : 12.0) - site.longitude / 15.0;  // hours UTC
  for (double day = std::floor(from - 0.5) + 0.5; day < got - 2.0; day += 1.0) {
    const double t = day + culmination / 24.0;
    if (t < from) continue;
    const double e = referenceSunElevation(t, site.latitude, site.longitude);
    EXPECT_TRUE(bright ? e > H0 : e < H0) << site.name << ": the Sun passes " << H0 << " on " << when(t) << " ("
                                         << e << "), before " << when(got);
  }
  auto ref = referenceCrossing(got - 2.0, site.latitude, site.longitude, H0, dawn, 4.0, 10.0);
  if (!ref) ADD_FAILURE() << site.name << ": no reference passage within two days of " << when(got);
  return ref.value_or(0.0);
}

TEST(NextDawnDusk, BrightNightsFarNorthWaitForTheFirstDarkOne) {
  Observatory obs(kOulu);
  const double start = julianDateOf(2024, 6, 10, 10.0);
  obs.setNow(start);
  const double dawn = obs.next(-18, true), dusk = obs.next(-18, false);
  EXPECT_LT(dusk, dawn);  // the loop sees day and waits for the dusk
  EXPECT_GT(dusk - start, 60.0);
  const double refDusk = referenceFirstPassage(kOulu, start, dusk, -18, false, true);
  EXPECT_NEAR(dusk, refDusk, 1.5) << "got " << when(dusk) << ", reference " << when(refDusk);
  EXPECT_NEAR(referenceSunElevation(dusk, kOulu.latitude, kOulu.longitude), -18, 0.5);

  // At that dusk the night has begun: the dawn comes within hours and first.
  obs.setNow(dusk + kMinute);
  const double nightDawn = obs.next(-18, true), nightDusk = obs.next(-18, false);
  EXPECT_LT(nightDawn, nightDusk);
  EXPECT_LT(nightDawn - dusk, 0.25);
  EXPECT_NEAR(referenceSunElevation(nightDawn, kOulu.latitude, kOulu.longitude), -18, 0.5);
}

TEST(NextDawnDusk, MidnightSunFarSouthWaitsForTheFirstDusk) {
  Observatory obs(kAntarctic);
  const double start = julianDateOf(2024, 12, 1, 0.0);
  obs.setNow(start);
  const double dawn = obs.next(-18, true), dusk = obs.next(-18, false);
  EXPECT_LT(dusk, dawn);
  EXPECT_GT(dusk - start, 30.0);
  const double refDusk = referenceFirstPassage(kAntarctic, start, dusk, -18, false, true);
  EXPECT_NEAR(dusk, refDusk, 1.5) << "got " << when(dusk) << ", reference " << when(refDusk);
}

TEST(NextDawnDusk, PolarNightIsOneLongNight) {
  Observatory obs(kHighArctic);
  const double start = julianDateOf(2024, 12, 21, 12.0);
  obs.setNow(start);
  const double dawn = obs.next(-18, true), dusk = obs.next(-18, false);
  EXPECT_LT(dawn, dusk);  // the loop sees night
  EXPECT_GT(dawn - start, 20.0);
  const double refDawn = referenceFirstPassage(kHighArctic, start, dawn, -18, true, false);
  EXPECT_NEAR(dawn, refDawn, 1.5) << "got " << when(dawn) << ", reference " << when(refDawn);
  EXPECT_NEAR(referenceSunElevation(dawn, kHighArctic.latitude, kHighArctic.longitude), -18, 0.5);
}

// Through a whole year at high latitudes, including the days on which the Sun only just
// reaches the elevation, the loop's reading of the two answers matches the Sun's
// reference elevation wherever that is clearly above or below it, and both answers lie
// ahead.
TEST(NextDawnDusk, TheLoopReadsDayAndNightRightAllYear) {
  for (const Site& site : {kOulu, kAntarctic, kHighArctic}) {
    Observatory obs(site);
    int checked = 0;
    for (double t = julianDateOf(2024, 1, 3, 0.0); t < julianDateOf(2025, 1, 3); t += 8.0 + 7.0 / 24.0) {
      obs.setNow(t);
      const double dawn = obs.next(-18, true), dusk = obs.next(-18, false);
      ASSERT_GT(dawn, t) << site.name << " " << when(t);
      ASSERT_GT(dusk, t) << site.name << " " << when(t);
      const double elevation = referenceSunElevation(t, site.latitude, site.longitude);
      if (std::fabs(elevation + 18.0) < 0.6) continue;
      EXPECT_EQ(dawn > dusk, elevation > -18.0)
          << site.name << " at " << when(t) << ": Sun at " << elevation << ", dawn " << when(dawn) << ", dusk "
          << when(dusk);
      ++checked;
    }
    EXPECT_GT(checked, 30) << site.name;
  }
}

TEST(NextDawnDusk, AnElevationTheSunNeverReachesIsNoTwilightError) {
  Observatory obs(kKittPeak);
  obs.setNow(julianDateOf(2024, 5, 1, 0.0));
  for (double H0 : {-95.0, 95.0, -85.0, 85.0}) {
    for (bool dawn : {true, false}) {
      try {
        obs.next(H0, dawn);
        ADD_FAILURE() << "no error for " << H0;
      } catch (const NoTwilightError& e) {
        EXPECT_EQ(e.elevation(), H0);
        const std::string text = e.what();
        EXPECT_NE(text.find(std::to_string(static_cast<int>(H0)) + " degrees"), std::string::npos) << text;
      }
    }
  }
  // It is a run-time failure like any other.
  EXPECT_THROW(obs.next(-95.0, true), RunTimeError);
}

// The loop's own call: the world's services (the simulated observatory's host objects and
// ERFA) and an Earth ephemeris of the run. A wrong body passes its failure on.
TEST(NextDawnDusk, OnTheWorldsServicesItIsNightAtTheWorldsStart) {
  test::TestWorld w;  // the default site, at night
  std::unique_ptr<IEphemeris> earth = w.ephemeris.createEphemeris();
  earth->setBodyType(0);
  earth->setNumber(3);
  const DateTime dawn = NextDawnDusk(w.services(), *earth, -18.0, true);
  const DateTime dusk = NextDawnDusk(w.services(), *earth, -18.0, false);
  EXPECT_LT(dawn, dusk);  // night at the fixture's start
  EXPECT_LT(dawn.serial - w.clock.nowLocal().serial, 0.5);
  EXPECT_NEAR(SunEphem(*earth, w.ephemeris, 2451716.575).Dec, 23.439, 0.01);  // June solstice 2000
  EXPECT_EQ(Arccos(-1.0), 4.0 * std::atan(1.0));

  earth->setNumber(5);
  EXPECT_THROW(NextDawnDusk(w.services(), *earth, -18.0, false), RunTimeError);
}

}  // namespace
}  // namespace np
