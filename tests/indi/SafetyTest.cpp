// The observatory left safe over a real INDI server with Debian's simulators: a start that
// cannot run secures what it reaches, every end of a run aborts the exposure, parks the
// mount and closes the dome, unsafe weather secures it while no plan runs, and a plan the
// devices cannot run as written is an error of that plan, not of a device.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include "base/Clock.h"
#include "base/FileSystem.h"
#include "host/AcquisitionLog.h"
#include "host/ObservatoryConfig.h"
#include "host/indi/IndiSettings.h"
#include "host/SkyMath.h"
#include "host/indi/IndiDevices.h"
#include "host/indi/IndiObservatory.h"
#include "indi/IndiServer.h"
#include "support/TempDir.h"

namespace np {
namespace {

using test::failureOf;
using test::IndiServer;
using test::within;
using test::TempDir;
using ::testing::AllOf;
using ::testing::HasSubstr;

// What the observatory said of its safety for the run log.
struct RunLogLines {
  std::mutex mutex;
  std::vector<std::string> lines;
  IndiObservatory::RunLogAppender appender() {
    return [this](const std::string& line) {
      std::lock_guard lock(mutex);
      lines.push_back(line);
    };
  }
  std::string all() {
    std::lock_guard lock(mutex);
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    return text;
  }
};

ObservatoryConfig config(const std::string& server, const std::string& extra) {
  indi::registerIndiConfig();
  return parseObservatoryConfig("[host]\nkind = indi\n[indi]\nserver = " + server +
                                    "\nmount = Telescope Simulator\ncamera = CCD Simulator\nconnect_timeout = 3\n" +
                                    extra,
                                "observatory.ini");
}

// Opens the observatory by hand, as an operator or an earlier run left it.
void openByHand(const IndiServer& server, bool dome) {
  indi::Link link;
  link.connect(server.address(), 10);
  indi::Devices devices(link, indi::Bounds{});
  devices.connectDevice(test::kMount);
  if (dome) {
    devices.connectDevice(test::kDome);
    devices.openDome(test::kDome);
  }
  devices.unparkMount(test::kMount);
}

void makeUnsafe(const IndiServer& server) {
  ASSERT_TRUE(server.set({"Weather Simulator.WEATHER_CONTROL.Precip=10"}));
  ASSERT_TRUE(server.set({"Weather Simulator.WEATHER_REFRESH.REFRESH=On"}));
}

TEST(Safety, AStartThatCannotRunSecuresWhatItReachesUnlessTheOperatorLeavesIt) {
  // No camera: the start fails, with the weather in Alert and the observatory open.
  IndiServer server{{"indi_simulator_telescope", "indi_simulator_dome", "indi_simulator_weather"}};
  TempDir folder;
  std::filesystem::create_directories(folder.file("Logs"));
  SystemClock clock;
  LocalFileSystem files;
  openByHand(server, true);
  ASSERT_TRUE(server.set({"Weather Simulator.CONNECTION.CONNECT=On"}));
  ASSERT_TRUE(within(10, [&] { return server.get("Weather Simulator.WEATHER_CONTROL.Precip").has_value(); }));
  makeUnsafe(server);
  ASSERT_FALSE(server.secured(test::kMount, test::kDome));
  const std::string devices = "dome = Dome Simulator\nweather = Weather Simulator\n[site]\nlatitude = 30\nlongitude = 0\n";

  RunLogLines log;
  EXPECT_THAT(failureOf([&] {
                IndiObservatory(folder.path(), config(server.address(), devices), clock, files, {}, log.appender());
              }),
              HasSubstr("CCD Simulator did not appear on the INDI server"));
  EXPECT_TRUE(server.secured(test::kMount, test::kDome)) << log.all();
  EXPECT_THAT(log.all(), AllOf(HasSubstr("Securing the observatory: the start failed: CCD Simulator did not appear"),
                               HasSubstr("Mount parked: Telescope Simulator"), HasSubstr("Dome closed: Dome Simulator")));

  // An operator who takes over by hand keeps the devices as they are.
  openByHand(server, true);
  RunLogLines leftLog;
  EXPECT_THAT(failureOf([&] {
                IndiObservatory(folder.path(), config(server.address(), devices + "[safety]\non_stop = leave\n"), clock, files,
                                {}, leftLog.appender());
              }),
              HasSubstr("CCD Simulator did not appear"));
  EXPECT_EQ(server.get("Telescope Simulator.TELESCOPE_PARK.PARK").value_or("?"), "Off");
  EXPECT_THAT(leftLog.all(), HasSubstr("safety.on_stop = leave: the devices are left as they are"));
}

// Hands a plan over as the observing loop does.
void handOver(IUtil& util, const std::string& folder, const std::string& plan) {
  std::filesystem::create_directories(folder + "/Plans");
  std::filesystem::create_directories(folder + "/Scripts");
  std::filesystem::create_directories(folder + "/Logs");
  test::writeFileBytes(folder + "/Plans/plan.txt", plan);
  test::writeFileBytes(folder + "/Plans/" + std::string(kRunPlanOnceName), folder + "/Plans/plan.txt\r\n");
  test::writeFileBytes(folder + "/Scripts/AcquireImages.js", "//");
  util.LoadScript(folder + "/Scripts/AcquireImages.js");
  util.RunScript();
}

// A target line near the meridian now (no long slew), at the site's longitude 0.
std::string targetNearTheMeridian(const Clock& clock, const std::string& name) {
  const double lst = localSiderealHours(clock.julianDateUtc(), 0.0);
  char text[64];
  std::snprintf(text, sizeof text, "%s\t%.4f\t+20:00:00\r\n", name.c_str(), lst);
  return text;
}

TEST(Safety, EveryEndOfARunAbortsTheExposureParksTheMountThenClosesTheDome) {
  IndiServer server{{"indi_simulator_telescope", "indi_simulator_ccd", "indi_simulator_dome"}};
  TempDir folder;
  std::filesystem::create_directories(folder.file("Logs"));
  SystemClock clock;
  LocalFileSystem files;
  RunLogLines log;
  IndiObservatory observatory(folder.path(),
                              config(server.address(), "dome = Dome Simulator\n[site]\nlatitude = 30\nlongitude = 0\n"
                                                       "[limits]\nminimum_elevation = -90\n"),
                              clock, files, {}, log.appender());
  EXPECT_THAT(log.all(), HasSubstr("slews go to the apparent place of date"));
  auto util = observatory.createUtil();
  auto telescope = observatory.createTelescope();
  telescope->Unpark();
  ASSERT_FALSE(server.secured(test::kMount, test::kDome));

  handOver(*util, folder.path(), "#COUNT 3\r\n#INTERVAL 60\r\n" + targetNearTheMeridian(clock, "Long Field"));
  const std::string acquisitionLog = folder.path() + "/Logs/" + acqlog::kFileName;
  ASSERT_TRUE(within(60, [&] {
    const std::string left = server.get("CCD Simulator.CCD_EXPOSURE.CCD_EXPOSURE_VALUE").value_or("");
    return !left.empty() && std::stod(left) > 1.0;  // counting down from a minute
  }));

  const auto began = std::chrono::steady_clock::now();
  const SecuringOutcome outcome = observatory.secureObservatory("the run was stopped");
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(120));
  EXPECT_TRUE(server.secured(test::kMount, test::kDome)) << log.all();
  EXPECT_FALSE(util->ScriptActive());
  const std::string said = log.all();
  EXPECT_THAT(said, HasSubstr("Securing the observatory: the run was stopped"));
  EXPECT_THAT(said, HasSubstr("Mount parked: Telescope Simulator"));
  EXPECT_THAT(said, HasSubstr("Dome closed: Dome Simulator"));
  EXPECT_LT(said.find("Mount parked"), said.find("Dome closed"));  // the roof never closes before the park
  // What the end of the run tells the operator's notifier.
  EXPECT_TRUE(outcome.kept);
  EXPECT_TRUE(outcome.secured);
  EXPECT_THAT(outcome.text, testing::EndsWith("Mount parked: Telescope Simulator\nDome closed: Dome Simulator"));
  const std::vector<AcquisitionEvent> events = readAcquisitionLog(acquisitionLog);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().kind, acqlog::kPark);
  // The exposure under way was aborted: the plan ended so, with no image of a minute.
  bool aborted = false, imaged = false;
  for (const AcquisitionEvent& e : events) {
    aborted = aborted || (e.kind == acqlog::kEnd && e.reason == acqlog::kEndAborted);
    imaged = imaged || e.kind == acqlog::kExposure;
  }
  EXPECT_TRUE(aborted);
  EXPECT_FALSE(imaged);

  // Secured already: a second end says so and moves nothing.
  observatory.secureObservatory("the run was stopped again");
  EXPECT_THAT(log.all(), AllOf(HasSubstr("Mount already parked"), HasSubstr("Dome already closed")));
}

TEST(Safety, UnsafeWeatherSecuresTheObservatoryWhileNoPlanRunsAndKeepsItSecured) {
  IndiServer server{{"indi_simulator_telescope", "indi_simulator_ccd", "indi_simulator_dome", "indi_simulator_weather"}};
  TempDir folder;
  std::filesystem::create_directories(folder.file("Logs"));
  SystemClock clock;
  LocalFileSystem files;
  IndiObservatory observatory(
      folder.path(),
      config(server.address(), "dome = Dome Simulator\nweather = Weather Simulator\n[site]\nlatitude = 30\nlongitude = 0\n"),
      clock, files);
  auto util = observatory.createUtil();
  auto telescope = observatory.createTelescope();
  ASSERT_TRUE(util->Weather().Safe());
  telescope->Unpark();
  ASSERT_FALSE(server.secured(test::kMount, test::kDome));

  // Nobody calls the host meanwhile (the loop sleeps with no viable target).
  makeUnsafe(server);
  EXPECT_TRUE(within(60 + 120, [&] { return server.secured(test::kMount, test::kDome); }));
  // Dusk in the rain: an unpark leaves it closed.
  telescope->Unpark();
  EXPECT_TRUE(server.secured(test::kMount, test::kDome));
}

TEST(Safety, APlanTheDevicesCannotRunAsWrittenIsAnErrorOfThatPlanAndTheNextPlanRuns) {
  IndiServer server{{"indi_simulator_telescope", "indi_simulator_ccd", "indi_simulator_wheel"}};
  TempDir folder;
  std::filesystem::create_directories(folder.file("Logs"));
  SystemClock clock;
  LocalFileSystem files;
  IndiObservatory observatory(folder.path(),
                              config(server.address(), "filter_wheel = Filter Simulator\n[site]\nlatitude = 30\n"
                                                       "longitude = 0\n[limits]\nminimum_elevation = -90\n"),
                              clock, files);
  auto util = observatory.createUtil();
  const std::string acquisitionLog = folder.path() + "/Logs/" + acqlog::kFileName;
  auto runToItsEnd = [&](const std::string& plan) {
    handOver(*util, folder.path(), plan);
    EXPECT_TRUE(within(120, [&] { return !util->ScriptActive(); }));
    return readAcquisitionLog(acquisitionLog).back();
  };

  // A filter the wheel does not have: refused before anything moves, naming the line.
  AcquisitionEvent end = runToItsEnd("#COUNT 1\r\n#INTERVAL 0.2\r\n#FILTER Z\r\n" + targetNearTheMeridian(clock, "A"));
  EXPECT_EQ(end.reason, acqlog::kEndError);
  EXPECT_THAT(end.detail, AllOf(HasSubstr("plan.txt' line 4: "), HasSubstr("Filter Simulator has no filter named 'Z'")));
  EXPECT_EQ(util->LastPlanError(), end.detail);

  // A binning the camera refuses: found at the camera, an error of the plan all the same.
  end = runToItsEnd("#COUNT 1\r\n#INTERVAL 0.2\r\n#BINNING 5\r\n" + targetNearTheMeridian(clock, "B"));
  EXPECT_EQ(end.reason, acqlog::kEndError);
  EXPECT_THAT(util->LastPlanError(), AllOf(HasSubstr("line 4: "), HasSubstr("CCD Simulator")));

  // The devices are sound: the next plan runs, and says no plan error.
  end = runToItsEnd("#COUNT 1\r\n#INTERVAL 0.2\r\n#FILTER green\r\n" + targetNearTheMeridian(clock, "C"));
  EXPECT_EQ(end.reason, acqlog::kEndDone) << end.detail;
  EXPECT_EQ(util->LastPlanError(), "");
}

}  // namespace
}  // namespace np
