// The main window's night timing works on the window's own host objects and Earth
// ephemeris, and fails plainly before the ephemeris exists.
#include <gtest/gtest.h>

#include <cmath>

#include "night/Twilight.h"
#include "support/TestWorld.h"

namespace np {
namespace {

TEST(FrmMainNight, UsesTheWindowsHostObjectsAndEarthEphemeris) {
  test::TestWorld w;  // the default site, at night
  frmMain& window = *w.main;
  window.util = w.host->createUtil();
  window.telescope = w.host->createTelescope();

  float sunElev = -18.0f;
  EXPECT_THROW(window.NextDawnDusk(sunElev, true), RunTimeError);
  double ra = 0, dec = 0;
  EXPECT_THROW(window.SunEphem(2460000.5, ra, dec), RunTimeError);

  window.earthEphem = w.ephemeris.createEphemeris();
  window.earthEphem->setBodyType(0);
  window.earthEphem->setNumber(3);
  const DateTime dawn = window.NextDawnDusk(sunElev, true);
  const DateTime dusk = window.NextDawnDusk(sunElev, false);
  EXPECT_LT(dawn, dusk);  // night at the fixture's start
  EXPECT_LT(dawn.serial - w.clock.nowLocal().serial, 0.5);
  EXPECT_EQ(dawn, NextDawnDusk(*w.util, *w.telescope, *window.earthEphem, w.ephemeris, -18.0, true));

  window.SunEphem(2451716.575, ra, dec);  // June solstice 2000
  EXPECT_NEAR(dec, 23.439, 0.01);
  EXPECT_EQ(frmMain::Arccos(-1.0), 4.0 * std::atan(1.0));

  // A wrong body in the window's ephemeris passes its failure on.
  window.earthEphem->setNumber(5);
  EXPECT_THROW(window.NextDawnDusk(sunElev, false), RunTimeError);
}

}  // namespace
}  // namespace np
