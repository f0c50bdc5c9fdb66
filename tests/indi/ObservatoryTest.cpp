// The INDI observatory as the program creates it and calls its members: what it says
// when the server or a device is not there, the site it and the mount agree on, the
// weather it reports, and a folder that cannot take images found before a plan is run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "base/Clock.h"
#include "host/AcquisitionLog.h"
#include "host/ObservatoryConfig.h"
#include "host/SkyMath.h"
#include "host/indi/IndiObservatory.h"
#include "indi/IndiServer.h"
#include "support/TempDir.h"

namespace np {
namespace {

using test::IndiServer;
using test::failureOf;
using test::TempDir;
using ::testing::HasSubstr;

ObservatoryConfig indiConfig(const std::string& server, const std::string& extra = "") {
  return parseObservatoryConfig("[host]\nkind = indi\n[indi]\nserver = " + server +
                                    "\nmount = Telescope Simulator\ncamera = CCD Simulator\nconnect_timeout = 3\n" + extra,
                                "observatory.ini");
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

namespace np {
namespace {

// Runs the plan's lines as the observing loop hands a plan over, and waits (bounded) for
// the acquisition to end: the lines of AcquireImages.log it wrote.
std::vector<AcquisitionEvent> runPlan(IUtil& util, const std::string& folder, const std::string& plan) {
  std::filesystem::create_directories(folder + "/Plans");
  std::filesystem::create_directories(folder + "/Scripts");
  test::writeFileBytes(folder + "/Plans/plan.txt", plan);
  test::writeFileBytes(folder + "/Plans/" + std::string(kRunPlanOnceName), folder + "/Plans/plan.txt\r\n");
  test::writeFileBytes(folder + "/Scripts/AcquireImages.js", "//");
  const std::string log = folder + "/Logs/" + acqlog::kFileName;
  const std::size_t before = readAcquisitionLog(log).size();
  util.LoadScript(folder + "/Scripts/AcquireImages.js");
  util.RunScript();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(180);
  while (util.ScriptActive() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::vector<AcquisitionEvent> events = readAcquisitionLog(log);
  events.erase(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(before));
  return events;
}

std::string kinds(const std::vector<AcquisitionEvent>& events) {
  std::string out;
  for (const AcquisitionEvent& e : events) out += e.kind + (e.reason.empty() ? "" : " " + e.reason) + ";";
  return out;
}

TEST(IndiAcquisition, QuitTimeFiltersWithoutAWheelAndTheAutofocusCommand) {
  TempDir folder;
  SystemClock clock;
  IndiServer server{{"indi_simulator_telescope", "indi_simulator_ccd", "indi_simulator_focus"}};
  std::filesystem::create_directories(folder.file("Logs"));
  // The autofocus command says what it was given.
  const std::string command = folder.file("focus.sh");
  test::writeFileBytes(command, "#!/bin/sh\necho \"$@\" > \"" + folder.file("focus-args.txt") + "\"\n");
  std::filesystem::permissions(command, std::filesystem::perms::owner_all);
  IndiObservatory observatory(
      folder.path(),
      indiConfig(server.address(), "focuser = Focuser Simulator\n[site]\nlatitude = 0\nlongitude = 0\n"
                                   "[limits]\nminimum_elevation = -90\n[acquisition]\nautofocus_command = " +
                                       command + "\n"),
      clock);
  auto util = observatory.createUtil();

  // A quit time past: the run ends at once, no image taken.
  EXPECT_EQ(kinds(runPlan(*util, folder.path(), "#QUITAT 2000-01-01 00:00:00\r\nStar\t01:00:00\t+10:00:00\r\n")),
            "START;END quit;");
  // A filter with no wheel: an error of the plan, before anything moves.
  auto noWheel = runPlan(*util, folder.path(), "#FILTER Red\r\nStar\t01:00:00\t+10:00:00\r\n");
  ASSERT_EQ(kinds(noWheel), "END error;");
  EXPECT_THAT(noWheel[0].detail, HasSubstr("the plan asks for the filter 'Red' but observatory.ini names no indi.filter_wheel"));
  EXPECT_FALSE(util->ScriptActive());  // a plan error is not a device's: the night goes on

  // Where the mount points now: no long slew.
  auto focused = runPlan(*util, folder.path(), "#AUTOFOCUS\r\n#COUNT 1\r\n#INTERVAL 0.2\r\nStar\t" +
                                                   [&] {
                                                     const double lst = localSiderealHours(clock.julianDateUtc(), 0.0);
                                                     char text[32];
                                                     std::snprintf(text, sizeof text, "%.4f", lst);
                                                     return std::string(text);
                                                   }() + "\t+05:00:00\r\n");
  EXPECT_EQ(kinds(focused), "START;AUTOFOCUS;EXPOSURE;END done;");
  EXPECT_EQ(test::readFileBytes(folder.file("focus-args.txt")),
            server.address() + " CCD Simulator Focuser Simulator \n");
}

}  // namespace
}  // namespace np
