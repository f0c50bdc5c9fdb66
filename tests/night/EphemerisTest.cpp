// The ERFA ephemeris components: the Earth's heliocentric position and the position
// vector's right ascension and declination, checked against the Sun's known places at
// the equinoxes and solstices of 2000 (geometric, mean equator of J2000).
#include <gtest/gtest.h>

#include <cmath>

#include "TwilightFakes.h"
#include "host/ErfaEphemeris.h"
#include "night/Twilight.h"

namespace np {
namespace {

using test::julianDateOf;

std::unique_ptr<IEphemeris> earth(ErfaEphemerisFactory& factory) {
  auto e = factory.createEphemeris();
  e->setBodyType(0);
  e->setNumber(3);
  return e;
}

TEST(ErfaEphemeris, OnlyTheEarthIsAvailable) {
  ErfaEphemerisFactory factory;
  const double jd = julianDateOf(2024, 1, 1);
  auto unset = factory.createEphemeris();
  EXPECT_THROW(unset->GetPositionAndVelocity(jd), RunTimeError);

  auto mars = factory.createEphemeris();
  mars->setBodyType(0);
  mars->setNumber(4);
  EXPECT_THROW(mars->GetPositionAndVelocity(jd), RunTimeError);

  auto minorBody = factory.createEphemeris();
  minorBody->setBodyType(1);
  minorBody->setNumber(3);
  EXPECT_THROW(minorBody->GetPositionAndVelocity(jd), RunTimeError);

  auto e = earth(factory);
  auto pv = e->GetPositionAndVelocity(jd);
  const double r = std::sqrt(pv[0] * pv[0] + pv[1] * pv[1] + pv[2] * pv[2]);
  EXPECT_NEAR(r, 0.9833, 0.0005);  // perihelion falls in early January
}

TEST(ErfaEphemeris, VelocityIsTheRateOfThePosition) {
  ErfaEphemerisFactory factory;
  auto e = earth(factory);
  const double jd = julianDateOf(2024, 5, 17, 6.0);
  const double h = 0.01;  // days
  auto before = e->GetPositionAndVelocity(jd - h);
  auto at = e->GetPositionAndVelocity(jd);
  auto after = e->GetPositionAndVelocity(jd + h);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(at[3 + i], (after[i] - before[i]) / (2 * h), 1e-7) << "axis " << i;
  }
  // About 30 km/s: 0.0172 AU per day.
  EXPECT_NEAR(std::hypot(at[3], at[4], at[5]), 0.0172, 0.0005);
}

TEST(ErfaPositionVector, RightAscensionCoversTheCircleAndDeclinationThePoles) {
  struct Case {
    double x, y, z, ra, dec;
  } cases[] = {
      {1, 0, 0, 0, 0},          {0, 1, 0, 6, 0},         {-1, 0, 0, 12, 0},   {0, -1, 0, 18, 0},
      {1, 1, std::sqrt(2.0), 3, 45}, {2, -2, 0, 21, 0},  {0, 0, -2, 0, -90},  {0.5, 0, 0.5, 0, 45},
  };
  ErfaEphemerisFactory factory;
  for (const Case& c : cases) {
    auto v = factory.createPositionVector();
    v->setX(c.x);
    v->setY(c.y);
    v->setZ(c.z);
    EXPECT_NEAR(v->RightAscension(), c.ra, 1e-12) << c.x << "," << c.y << "," << c.z;
    EXPECT_NEAR(v->Declination(), c.dec, 1e-12) << c.x << "," << c.y << "," << c.z;
  }
  // Just below the x axis: close to 24 hours but never 24 itself.
  auto v = factory.createPositionVector();
  v->setX(1.0);
  v->setY(-1e-17);
  v->setZ(0.0);
  EXPECT_GE(v->RightAscension(), 0.0);
  EXPECT_LT(v->RightAscension(), 24.0);
}

TEST(SunEphem, SunAtTheEquinoxesAndSolstices) {
  struct Case {
    const char* name;
    int y, m, d;
    double hourUtc, ra, dec;
  } cases[] = {
      {"March equinox 2000", 2000, 3, 20, 7.58, 0.0, 0.0},
      {"June solstice 2000", 2000, 6, 21, 1.80, 6.0, 23.439},
      {"September equinox 2000", 2000, 9, 22, 17.45, 12.0, 0.0},
      {"December solstice 2000", 2000, 12, 21, 13.62, 18.0, -23.439},
  };
  ErfaEphemerisFactory factory;
  auto e = earth(factory);
  for (const Case& c : cases) {
    const auto [ra, dec] = SunEphem(*e, factory, julianDateOf(c.y, c.m, c.d, c.hourUtc));
    // The right ascension of the equinox may come out just under 24 hours.
    const double raOff = std::remainder(ra - c.ra, 24.0);
    EXPECT_NEAR(raOff, 0.0, 0.005) << c.name << ": RA " << ra;
    EXPECT_NEAR(dec, c.dec, 0.01) << c.name;
  }
}

// A factory that counts the position vectors it hands out.
class CountingFactory : public ErfaEphemerisFactory {
 public:
  std::unique_ptr<IPositionVector> createPositionVector() override {
    ++vectors;
    return ErfaEphemerisFactory::createPositionVector();
  }
  int vectors = 0;
};

TEST(SunEphem, OppositeTheEarthWithAFreshVectorEachCall) {
  CountingFactory factory;
  auto e = earth(factory);
  const double jd = julianDateOf(2023, 8, 1, 12.0);
  auto p = e->GetPositionAndVelocity(jd);
  const auto [ra1, dec1] = SunEphem(*e, factory, jd);
  const auto [ra2, dec2] = SunEphem(*e, factory, jd + 0.5);
  EXPECT_EQ(factory.vectors, 2);
  // The Earth as seen from the Sun lies 12 hours and the declination's sign away.
  auto v = factory.createPositionVector();
  v->setX(p[0]);
  v->setY(p[1]);
  v->setZ(p[2]);
  EXPECT_NEAR(std::remainder(v->RightAscension() - ra1 - 12.0, 24.0), 0.0, 1e-9);
  EXPECT_NEAR(v->Declination(), -dec1, 1e-9);
  // Early August: the Sun moves east about 4 minutes of right ascension a day and south.
  EXPECT_NEAR((ra2 - ra1) * 60.0, 2.0, 0.3);
  EXPECT_LT(dec2, dec1);
}

}  // namespace
}  // namespace np
