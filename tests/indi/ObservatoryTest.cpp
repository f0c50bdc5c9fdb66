// The INDI observatory as the program creates it and calls its members: what it says
// when the server or a device is not there, the site it and the mount agree on, the
// weather it reports, and a folder that cannot take images found before a plan is run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "base/Clock.h"
#include "host/ObservatoryConfig.h"
#include "host/indi/IndiObservatory.h"
#include "indi/IndiServer.h"
#include "support/TempDir.h"

namespace np {
namespace {

using test::IndiServer;
using test::TempDir;
using ::testing::HasSubstr;

ObservatoryConfig indiConfig(const std::string& server, const std::string& extra = "") {
  return parseObservatoryConfig("[host]\nkind = indi\n[indi]\nserver = " + server +
                                    "\nmount = Telescope Simulator\ncamera = CCD Simulator\nconnect_timeout = 3\n" + extra,
                                "observatory.ini");
}

std::string failureOf(const std::function<void()>& step) {
  try {
    step();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no failure)";
}

TEST(IndiObservatory, AServerOrADeviceThatIsNotThereEndsTheStartNamingIt) {
  TempDir folder;
  SystemClock clock;
  IndiServer server{{"indi_simulator_telescope", "indi_simulator_ccd"}};
  const std::string address = server.address();
  EXPECT_THAT(failureOf([&] { IndiObservatory(folder.path(), indiConfig(address, "dome = Roof\n"), clock); }),
              HasSubstr("Roof did not appear on the INDI server at " + address + " within 3 s"));
  server.stop();
  EXPECT_THAT(failureOf([&] { IndiObservatory(folder.path(), indiConfig(address), clock); }),
              HasSubstr("cannot reach the INDI server at " + address));
}

TEST(IndiObservatory, TheSiteWeatherAndImagesFolderAsTheLoopSeesThem) {
  TempDir folder;
  SystemClock clock;
  IndiServer server{{"indi_simulator_telescope", "indi_simulator_ccd", "indi_simulator_weather"}};
  {
    // A site given is set on the mount; one not given is read from it.
    IndiObservatory given(folder.path(), indiConfig(server.address(), "[site]\nlatitude = -30.5\nlongitude = -70.25\n"),
                          clock);
    EXPECT_DOUBLE_EQ(given.siteLatitude(), -30.5);
  }
  IndiObservatory observatory(folder.path(),
                              indiConfig(server.address(), "weather = Weather Simulator\nimages = " +
                                                               folder.file("Images") + "\n"),
                              clock);
  auto telescope = observatory.createTelescope();
  EXPECT_DOUBLE_EQ(telescope->SiteLatitude(), -30.5);
  EXPECT_DOUBLE_EQ(telescope->SiteLongitude(), -70.25);
  EXPECT_TRUE(telescope->CanPark());

  auto util = observatory.createUtil();
  EXPECT_TRUE(util->WeatherConnected());
  EXPECT_TRUE(util->Weather().Safe());
  EXPECT_FALSE(util->ScriptActive());
  ASSERT_TRUE(server.set({"Weather Simulator.WEATHER_CONTROL.Precip=10"}));
  ASSERT_TRUE(server.set({"Weather Simulator.WEATHER_REFRESH.REFRESH=On"}));
  bool unsafe = false;
  for (int i = 0; i < 100 && !unsafe; ++i) {
    unsafe = !util->Weather().Safe();
    if (!unsafe) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(unsafe) << "rain did not make the weather unsafe";

  // A file where the images folder should be: the loop's check of an idle host says so,
  // before it hands over a plan and lowers a count.
  ASSERT_TRUE(std::filesystem::is_directory(folder.file("Images")));  // made by the check of the idle host
  std::filesystem::remove_all(folder.file("Images"));
  test::writeFileBytes(folder.file("Images"), "not a folder");
  EXPECT_THAT(failureOf([&] { util->ScriptActive(); }),
              HasSubstr("ScriptActive: the images folder '" + folder.file("Images") + "' cannot take an image"));
}

}  // namespace
}  // namespace np
