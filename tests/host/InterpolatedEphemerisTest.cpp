#include "host/InterpolatedEphemeris.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/Errors.h"
#include "host/ErfaEphemeris.h"

namespace np {
namespace {

std::unique_ptr<IEphemeris> earthOf(IEphemerisFactory& factory) {
  auto e = factory.createEphemeris();
  e->setBodyType(0);
  e->setNumber(3);
  return e;
}

// Through a year, at times that are not whole days and in no particular order (a
// night's crossing searches go back and forth), the interpolated Earth is the exact one.
TEST(InterpolatedEphemeris, FollowsTheExactEarthThroughAYear) {
  ErfaEphemerisFactory exactFactory;
  InterpolatedEphemerisFactory factory(exactFactory);
  auto exact = earthOf(exactFactory);
  auto interpolated = earthOf(factory);
  double worstPosition = 0.0, worstVelocity = 0.0;
  for (int i = 0; i < 2000; ++i) {
    const double jd = 2461000.5 + 365.0 * ((i * 7919) % 2000) / 2000.0 + 0.37 * (i % 3);
    const auto a = exact->GetPositionAndVelocity(jd);
    const auto b = interpolated->GetPositionAndVelocity(jd);
    for (int k = 0; k < 3; ++k) {
      worstPosition = std::max(worstPosition, std::fabs(a[k] - b[k]));
      worstVelocity = std::max(worstVelocity, std::fabs(a[k + 3] - b[k + 3]));
    }
  }
  // 1e-9 AU is 0.0002 arcseconds seen from the Sun: the Sun moves that far in 5 ms.
  EXPECT_LT(worstPosition, 1e-9);
  EXPECT_LT(worstVelocity, 1e-8);
}

TEST(InterpolatedEphemeris, LeavesOtherBodiesAndBadDatesToTheExactOne) {
  ErfaEphemerisFactory exactFactory;
  InterpolatedEphemerisFactory factory(exactFactory);
  auto mars = factory.createEphemeris();
  mars->setBodyType(0);
  mars->setNumber(4);
  EXPECT_THROW(mars->GetPositionAndVelocity(2461000.5), RunTimeError);
  auto earth = earthOf(factory);
  EXPECT_THROW(earth->GetPositionAndVelocity(std::nan("")), RunTimeError);
}

}  // namespace
}  // namespace np
