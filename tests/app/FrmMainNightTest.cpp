// The main window's night timing works on the window's own host objects and Earth
// ephemeris, and fails plainly before the ephemeris exists.
#include <gtest/gtest.h>

#include <cmath>

#include "app/FrmMain.h"
#include "support/RecordingMessageSink.h"
#include "host/ErfaEphemeris.h"
#include "night/SimulatedWait.h"
#include "night/Twilight.h"
#include "support/SimFixture.h"

namespace np {
namespace {

TEST(FrmMainNight, UsesTheWindowsHostObjectsAndEarthEphemeris) {
  test::SimFixture sim;  // the default site, at night
  ErfaEphemerisFactory ephemeris;
  LocalFileSystem files;
  RecordingMessageSink messages;
  SimulatedEventPump events(sim.clock);
  Platform platform{*sim.host, ephemeris, files, sim.clock, messages, events, NumberLocale{}, "/tmp/nightpick"};
  frmMain window(platform);
  window.util = sim.host->createUtil();
  window.telescope = sim.host->createTelescope();

  float sunElev = -18.0f;
  EXPECT_THROW(window.NextDawnDusk(sunElev, true), RunTimeError);
  double ra = 0, dec = 0;
  EXPECT_THROW(window.SunEphem(2460000.5, ra, dec), RunTimeError);

  window.earthEphem = ephemeris.createEphemeris();
  window.earthEphem->setBodyType(0);
  window.earthEphem->setNumber(3);
  const DateTime dawn = window.NextDawnDusk(sunElev, true);
  const DateTime dusk = window.NextDawnDusk(sunElev, false);
  EXPECT_LT(dawn, dusk);  // night at the fixture's start
  EXPECT_LT(dawn.serial - sim.clock.nowLocal().serial, 0.5);
  EXPECT_EQ(dawn, NextDawnDusk(*sim.util, *sim.telescope, *window.earthEphem, ephemeris, -18.0, true));

  window.SunEphem(2451716.575, ra, dec);  // June solstice 2000
  EXPECT_NEAR(dec, 23.439, 0.01);
  EXPECT_EQ(frmMain::Arccos(-1.0), 4.0 * std::atan(1.0));

  // A wrong body in the window's ephemeris passes its failure on.
  window.earthEphem->setNumber(5);
  EXPECT_THROW(window.NextDawnDusk(sunElev, false), RunTimeError);
}

}  // namespace
}  // namespace np
