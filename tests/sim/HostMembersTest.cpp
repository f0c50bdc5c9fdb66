#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "base/Errors.h"
#include "base/Paths.h"
#include "support/TestText.h"
#include "host/AcquisitionLog.h"
#include "host/sim/SimulatedObservatory.h"
#include "support/SimFixture.h"

namespace np {
namespace {

using ::testing::HasSubstr;
using test::kSimNightUnix;
using test::SimFixture;

using test::errorOf;

// ---- preferences, weather, telescope, application ------------------------------------

TEST(HostPrefs, FromConfigurationAndFolder) {
  SimFixture sim("[mount]\ntilt_up_limit = 82\n[limits]\nminimum_elevation = 15\nhorizon = 0:10 180:30\n");
  IPrefs& prefs = sim.util->Prefs();
  EXPECT_EQ(prefs.TiltUpLimit(), 82.0);
  EXPECT_EQ(prefs.MinimumElevation(), 15.0);
  EXPECT_NEAR(prefs.GetHorizon(90.0), 20.0, 1e-9);
  EXPECT_NEAR(prefs.GetHorizon(270.0), 20.0, 1e-9);
  EXPECT_EQ(prefs.LocalUser().DefaultPlanDir(), joinPath(sim.dir.file("observatory"), "Plans"));
  EXPECT_EQ(prefs.LocalUser().DefaultLogDir(), joinPath(sim.dir.file("observatory"), "Logs"));
}

TEST(HostApplication, PathIsTheFolderWithoutTrailingSeparator) {
  test::TempDir dir;
  ManualClock clock(kSimNightUnix);
  for (const std::string& tail : {std::string(1, kPathSeparator) + kPathSeparator, std::string("/")}) {
    SimulatedObservatory host(dir.file("obs") + tail, clock);
    EXPECT_EQ(host.createApplication()->Path(), dir.file("obs")) << tail;
    EXPECT_EQ(host.createUtil()->Prefs().LocalUser().DefaultPlanDir(), joinPath(dir.file("obs"), "Plans")) << tail;
    EXPECT_TRUE(std::filesystem::is_regular_file(host.createApplication()->Path() + "/Scripts/AcquireImages.js"));
  }
}

TEST(HostApplication, AFolderForAnotherHostIsNotSimulated) {
  ConfigBackEnd other;
  other.kind = "dome-api";
  other.keys = {{"dome-api.url", [](const std::string&) {}}};
  registerConfigBackEnd(other);
  test::TempDir dir;
  ManualClock clock(kSimNightUnix);
  std::filesystem::create_directories(dir.file("obs"));
  test::writeFileBytes(dir.file("obs/observatory.ini"), "[host]\nkind = dome-api\n");
  const std::string error = errorOf([&] { SimulatedObservatory host(dir.file("obs"), clock); });
  EXPECT_THAT(error, HasSubstr("observatory.ini' is for another host ([host] kind = dome-api)"));
  // Explicitly simulated: as without the key, whatever the other host's keys say.
  test::writeFileBytes(dir.file("obs/observatory.ini"), "[host]\nkind = Simulated\n[dome-api]\nurl = x\n");
  SimulatedObservatory host(dir.file("obs"), clock);
  EXPECT_EQ(host.config().host.kind, "simulated");
  EXPECT_EQ(host.createTelescope()->SiteLatitude(), 31.96);
}

TEST(HostWeather, ConnectedFlagAndUnsafeIntervalsFollowTheClock) {
  SimFixture sim("[weather]\nconnected = true\nunsafe = 2024-03-10T05:00:00Z/2024-03-10T06:00:00Z\n");
  EXPECT_TRUE(sim.util->WeatherConnected());
  EXPECT_TRUE(sim.util->Weather().Safe());
  sim.clock.set(kSimNightUnix + 3600.0);
  EXPECT_FALSE(sim.util->Weather().Safe());
  sim.clock.set(kSimNightUnix + 7200.0);
  EXPECT_TRUE(sim.util->Weather().Safe());

  SimFixture off;
  EXPECT_FALSE(off.util->WeatherConnected());
  EXPECT_TRUE(off.util->Weather().Safe());
}

TEST(HostTelescope, ReportsTheConfiguredMount) {
  SimFixture sim("[site]\nlatitude = -30.25\nlongitude = 70.75\n[mount]\nalignment_mode = 0\ncan_unpark = false\n");
  EXPECT_EQ(sim.telescope->AlignmentMode(), 0);
  EXPECT_EQ(sim.telescope->SiteLatitude(), -30.25);
  EXPECT_EQ(sim.telescope->SiteLongitude(), 70.75);
  EXPECT_TRUE(sim.telescope->CanPark());
  EXPECT_FALSE(sim.telescope->CanUnpark());
}

TEST(HostTelescope, ParkAndUnparkChangeStateAndAreLogged) {
  SimFixture sim;
  EXPECT_FALSE(sim.host->parked());
  sim.telescope->Park();
  EXPECT_TRUE(sim.host->parked());
  sim.clock.advance(3600.0);
  sim.telescope->Unpark();
  EXPECT_FALSE(sim.host->parked());

  const auto events = sim.events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].kind, acqlog::kPark);
  EXPECT_EQ(events[0].time, "2024-03-10 04:00:00");
  EXPECT_EQ(events[1].kind, acqlog::kUnpark);
  EXPECT_EQ(events[1].utc, kSimNightUnix + 3600.0);
  EXPECT_EQ(test::readFileBytes(sim.host->acquisitionLogPath()),
            "2024-03-10 04:00:00\tPARK\r\n2024-03-10 05:00:00\tUNPARK\r\n");
}

TEST(HostTelescope, ParkingWithoutTheCapabilityFails) {
  SimFixture sim("[mount]\ncan_park = false\ncan_unpark = false\n");
  EXPECT_THAT(errorOf([&] { sim.telescope->Park(); }), HasSubstr("Park: the telescope cannot park"));
  EXPECT_THAT(errorOf([&] { sim.telescope->Unpark(); }), HasSubstr("Unpark: the telescope cannot unpark"));
  EXPECT_FALSE(sim.host->parked());
  EXPECT_TRUE(sim.events().empty());
}

TEST(HostObjects, ShareOneState) {
  SimFixture sim;
  auto otherTelescope = sim.host->createTelescope();
  otherTelescope->Park();
  EXPECT_TRUE(sim.host->parked());
  auto otherUtil = sim.host->createUtil();
  otherUtil->LoadScript(sim.host->scriptPath());
  EXPECT_EQ(sim.host->loadedScript(), sim.host->scriptPath());
  // The objects outlive the factory.
  sim.host.reset();
  EXPECT_NO_THROW(sim.telescope->Unpark());
  EXPECT_FALSE(sim.util->ScriptActive());
}

}  // namespace
}  // namespace np
