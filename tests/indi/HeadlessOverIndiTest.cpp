// nightpick-headless as an observatory operator starts it, against an INDI server with
// Debian's simulators, on the computer's clock at a site where it is night now: three
// groups run with real images, unsafe weather in the middle of a plan ends it and parks
// the telescope, the loop waits and resumes once it is safe, and SIGTERM stops it cleanly.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <thread>

#include "host/AcquisitionLog.h"
#include "host/SkyMath.h"
#include "host/UtcTime.h"
#include "indi/IndiServer.h"
#include "night/ObservingLoop.h"
#include "support/ProgramProcess.h"
#include "support/TempDir.h"

namespace np {
namespace {

using test::IndiServer;
using test::ProgramProcess;
using test::readFileBytes;
using test::TempDir;
using test::writeFileBytes;
using ::testing::HasSubstr;

std::string headlessPath() {
#ifdef NIGHTPICK_HEADLESS_EXE
  return NIGHTPICK_HEADLESS_EXE;
#else
  return {};
#endif
}

// Waits until `done` holds, at most `seconds`.
bool within(double seconds, const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return true;
}

std::vector<AcquisitionEvent> eventsOf(const std::string& path, const std::string& kind) {
  std::vector<AcquisitionEvent> out;
  try {
    for (AcquisitionEvent& e : readAcquisitionLog(path))
      if (e.kind == kind) out.push_back(std::move(e));
  } catch (const std::exception&) {
    // A line being written: read again later.
  }
  return out;
}

std::string hms(double hours) {
  hours = std::fmod(hours + 48.0, 24.0);
  const int h = static_cast<int>(hours);
  const int m = static_cast<int>((hours - h) * 60.0);
  const int s = static_cast<int>(((hours - h) * 60.0 - m) * 60.0);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", h, m, s);
  return text;
}

class HeadlessOverIndi : public ::testing::Test {
 protected:
  void SetUp() override {
    if (headlessPath().empty() || !std::filesystem::exists(headlessPath())) GTEST_SKIP() << "nightpick-headless is not built";
  }
};

TEST_F(HeadlessOverIndi, ANightOfThreeGroupsWithUnsafeWeatherInTheMiddleThenSigterm) {
  IndiServer server;
  TempDir program;
  // A site where it is the middle of the night now, in December at 30 degrees north.
  const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  const double utcHours = std::fmod(now / 3600.0, 24.0);
  double longitude = std::fmod(-utcHours * 15.0 + 540.0, 360.0) - 180.0;
  const double latitude = 30.0;
  const double lst = localSiderealHours(julianDateFromUnix(now), longitude);
  // Three groups east of the meridian, one run each; the second is long enough for the
  // weather to turn in its middle.
  std::string targets;
  const char* counts[] = {"#COUNT 2", "#COUNT 40", "#COUNT 2"};
  for (int i = 0; i < 3; ++i) {
    targets += std::string(counts[i]) + "\r\n#INTERVAL 1\r\n#FILTER Red\r\n";
    targets += "Field " + std::to_string(i + 1) + "\t" + hms(lst + 0.2 + 0.2 * i) + "\t+10:00:00\r\n";
    targets += "**** remaining=1\r\n";
  }
  writeFileBytes(program.file("targets.txt"), targets);
  std::filesystem::create_directories(program.file("observatory"));
  writeFileBytes(program.file("observatory") + "/observatory.ini",
                 "[host]\nkind = indi\n[indi]\nserver = " + server.address() +
                     "\nmount = Telescope Simulator\ncamera = CCD Simulator\nfilter_wheel = Filter Simulator\n"
                     "focuser = Focuser Simulator\ndome = Dome Simulator\nweather = Weather Simulator\n"
                     "[site]\nlatitude = " + std::to_string(latitude) + "\nlongitude = " + std::to_string(longitude) + "\n");
  const std::string acquisitionLog = program.file("observatory") + "/Logs/" + acqlog::kFileName;

  const std::string out = program.file("out.txt");
  ProgramProcess nightpick(headlessPath(), {"--program-dir", program.path()}, out);
  auto text = [](const std::string& path) { return std::filesystem::exists(path) ? readFileBytes(path) : std::string(); };
  auto state = [&] { return "stdout:\n" + text(out) + "\nstderr:\n" + text(out + ".err") + "\nserver:\n" + server.log(); };

  // The second plan has begun exposing: the weather turns.
  ASSERT_TRUE(within(150, [&] {
    auto starts = eventsOf(acquisitionLog, acqlog::kStart);
    return starts.size() >= 2 && eventsOf(acquisitionLog, acqlog::kExposure).size() >= 3;
  })) << state();
  ASSERT_TRUE(server.set({"Weather Simulator.WEATHER_CONTROL.Precip=10"}));
  ASSERT_TRUE(server.set({"Weather Simulator.WEATHER_REFRESH.REFRESH=On"}));
  ASSERT_TRUE(within(120, [&] {
    auto ends = eventsOf(acquisitionLog, acqlog::kEnd);
    return ends.size() >= 2 && !eventsOf(acquisitionLog, acqlog::kPark).empty();
  })) << state();
  ASSERT_TRUE(within(30, [&] { return text(out).find(kWaitingForWeather) != std::string::npos; })) << state();
  // The plan ended for the weather, before its 40 images; the telescope was parked.
  auto ends = eventsOf(acquisitionLog, acqlog::kEnd);
  EXPECT_EQ(ends[0].reason, acqlog::kEndDone);
  EXPECT_EQ(ends[1].reason, acqlog::kEndWeather);
  EXPECT_LT(eventsOf(acquisitionLog, acqlog::kExposure).size(), 42u);

  // Safe again: the loop resumes with the third group, unparking first.
  ASSERT_TRUE(server.set({"Weather Simulator.WEATHER_CONTROL.Precip=0"}));
  ASSERT_TRUE(server.set({"Weather Simulator.WEATHER_REFRESH.REFRESH=On"}));
  ASSERT_TRUE(within(150, [&] { return eventsOf(acquisitionLog, acqlog::kEnd).size() >= 3; })) << state();
  ends = eventsOf(acquisitionLog, acqlog::kEnd);
  EXPECT_EQ(ends[2].reason, acqlog::kEndDone) << ends[2].detail;
  EXPECT_FALSE(eventsOf(acquisitionLog, acqlog::kUnpark).empty());

  nightpick.signal(SIGTERM);
  EXPECT_EQ(nightpick.wait(std::chrono::seconds(120)), 0) << state();

  // Every exposure is a FITS file that the log names.
  const auto exposures = eventsOf(acquisitionLog, acqlog::kExposure);
  ASSERT_GE(exposures.size(), 5u);
  for (const AcquisitionEvent& e : exposures) {
    ASSERT_TRUE(std::filesystem::exists(e.file)) << e.file;
    const std::string fits = readFileBytes(e.file);
    EXPECT_EQ(fits.substr(0, 6), "SIMPLE");
    EXPECT_THAT(fits.substr(0, 2880 * 4), HasSubstr("OBJECT  = '" + e.text)) << e.file;  // the header names the target
    EXPECT_THAT(e.file, HasSubstr("_Red_"));
  }
  // Every group ran once; the list says so.
  const std::string list = readFileBytes(program.file("targets.txt"));
  EXPECT_EQ(list.find("remaining=1"), std::string::npos) << list;
  EXPECT_THAT(text(out), HasSubstr(std::string(kRunningPlanStatus) + "Field 3"));
  EXPECT_TRUE(std::filesystem::exists(program.file("config.ini")));
}

}  // namespace
}  // namespace np

namespace np {
namespace {

// A plan that could not start costs no count: a folder that cannot take images (here a
// file in its place) ends the run with a message before the first plan is handed over,
// and nightpick-headless exits non-zero so that the service manager tries again.
TEST_F(HeadlessOverIndi, AFolderThatCannotTakeImagesEndsTheRunBeforeACountIsSpent) {
  IndiServer server{{"indi_simulator_telescope", "indi_simulator_ccd"}};
  TempDir program;
  const std::string list = "Star\t00:00:00\t+10:00:00\r\n**** remaining=3\r\n";
  writeFileBytes(program.file("targets.txt"), list);
  std::filesystem::create_directories(program.file("observatory"));
  writeFileBytes(program.file("observatory") + "/observatory.ini",
                 "[host]\nkind = indi\n[indi]\nserver = " + server.address() +
                     "\nmount = Telescope Simulator\ncamera = CCD Simulator\nimages = " + program.file("Images") +
                     "\n[site]\nlatitude = 0\nlongitude = 0\n");
  writeFileBytes(program.file("Images"), "a file where the folder should be");
  const std::string out = program.file("out.txt");
  ProgramProcess nightpick(headlessPath(), {"--program-dir", program.path()}, out);
  EXPECT_EQ(nightpick.wait(std::chrono::seconds(120)), 1);
  EXPECT_THAT(readFileBytes(out + ".err"),
              HasSubstr("the images folder '" + program.file("Images") + "' cannot take an image"));
  EXPECT_EQ(readFileBytes(program.file("targets.txt")), list);
}

}  // namespace
}  // namespace np
