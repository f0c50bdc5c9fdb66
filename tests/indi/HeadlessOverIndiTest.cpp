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
#include "host/indi/IndiDevices.h"
#include "indi/IndiServer.h"
#include "night/ObservingLoop.h"
#include "targets/RunLog.h"
#include "support/ProgramProcess.h"
#include "support/TempDir.h"

namespace np {
namespace {

using test::IndiServer;
using test::within;
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

// A site where it is the middle of the night now, in December at 30 degrees north, and its
// local sidereal time.
struct NightSite {
  double latitude = 30.0, longitude = 0, lst = 0;
};
NightSite nightSiteNow() {
  NightSite site;
  const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  const double utcHours = std::fmod(now / 3600.0, 24.0);
  site.longitude = std::fmod(-utcHours * 15.0 + 540.0, 360.0) - 180.0;
  site.lst = localSiderealHours(julianDateFromUnix(now), site.longitude);
  return site;
}

// Every simulator named, with the site.
void writeObservatoryIni(const TempDir& program, const IndiServer& server, const NightSite& site) {
  std::filesystem::create_directories(program.file("observatory"));
  writeFileBytes(program.file("observatory") + "/observatory.ini",
                 "[host]\nkind = indi\n[indi]\nserver = " + server.address() +
                     "\nmount = Telescope Simulator\ncamera = CCD Simulator\nfilter_wheel = Filter Simulator\n"
                     "focuser = Focuser Simulator\ndome = Dome Simulator\nweather = Weather Simulator\n"
                     "[site]\nlatitude = " + std::to_string(site.latitude) + "\nlongitude = " +
                     std::to_string(site.longitude) + "\n");
}

// The mount unparked and the dome open, as an earlier run or the operator left them.
void openObservatory(const IndiServer& server) {
  indi::Link link;
  link.connect(server.address(), 10);
  indi::Devices devices(link, indi::Bounds{});
  devices.connectDevice(test::kMount);
  devices.connectDevice(test::kDome);
  devices.openDome(test::kDome);
  devices.unparkMount(test::kMount);
  ASSERT_FALSE(server.secured(test::kMount, test::kDome));
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
TEST_F(HeadlessOverIndi, AFolderThatCannotTakeImagesEndsTheRunBeforeACountIsSpentAndSecures) {
  IndiServer server{{"indi_simulator_telescope", "indi_simulator_ccd", "indi_simulator_dome"}};
  TempDir program;
  const std::string list = "Star\t00:00:00\t+10:00:00\r\n**** remaining=3\r\n";
  writeFileBytes(program.file("targets.txt"), list);
  std::filesystem::create_directories(program.file("observatory"));
  writeFileBytes(program.file("observatory") + "/observatory.ini",
                 "[host]\nkind = indi\n[indi]\nserver = " + server.address() +
                     "\nmount = Telescope Simulator\ncamera = CCD Simulator\ndome = Dome Simulator\nimages = " +
                     program.file("Images") + "\n[site]\nlatitude = 0\nlongitude = 0\n");
  writeFileBytes(program.file("Images"), "a file where the folder should be");
  openObservatory(server);
  const std::string out = program.file("out.txt");
  ProgramProcess nightpick(headlessPath(), {"--program-dir", program.path()}, out);
  EXPECT_EQ(nightpick.wait(std::chrono::seconds(300)), 1);
  const std::string err = readFileBytes(out + ".err");
  EXPECT_THAT(err, HasSubstr("the images folder '" + program.file("Images") + "' cannot take an image"));
  EXPECT_EQ(readFileBytes(program.file("targets.txt")), list);
  // Left safe before the program ended, and said so in the journal and the run log.
  EXPECT_TRUE(server.secured(test::kMount, test::kDome)) << err;
  EXPECT_THAT(err, HasSubstr("safety: Mount parked: Telescope Simulator"));
  EXPECT_THAT(readFileBytes(program.file("observatory") + "/Logs/Nightpick.log"),
              HasSubstr("Dome closed: Dome Simulator"));
}

// A #FILTER the wheel does not have, in the first of three groups: that plan ends as an
// error of the plan, its group is passed over for the rest of the run at the cost of one
// count, the other two run, and SIGTERM then leaves the observatory secured. The journal
// (standard output and error) has Nightpick's lines only, not the client library's.
TEST_F(HeadlessOverIndi, AListErrorCostsOnePlanTheNightGoesOnAndSigtermSecures) {
  IndiServer server;
  TempDir program;
  const NightSite site = nightSiteNow();
  std::string targets;
  const char* filters[] = {"Z", "Red", "Green"};
  const char* counts[] = {"remaining=3", "remaining=1", "remaining=1"};
  for (int i = 0; i < 3; ++i) {
    targets += std::string("#COUNT 1\r\n#INTERVAL 1\r\n#FILTER ") + filters[i] + "\r\n";
    targets += "Field " + std::to_string(i + 1) + "\t" + hms(site.lst + 0.1 + 0.3 * i) + "\t+10:00:00\r\n";
    targets += std::string("**** ") + counts[i] + "\r\n";
  }
  writeFileBytes(program.file("targets.txt"), targets);
  writeObservatoryIni(program, server, site);
  const std::string acquisitionLog = program.file("observatory") + "/Logs/" + acqlog::kFileName;
  const std::string out = program.file("out.txt");
  ProgramProcess nightpick(headlessPath(), {"--program-dir", program.path()}, out);
  auto text = [](const std::string& path) { return std::filesystem::exists(path) ? readFileBytes(path) : std::string(); };
  auto state = [&] { return "stdout:\n" + text(out) + "\nstderr:\n" + text(out + ".err"); };

  ASSERT_TRUE(within(240, [&] { return eventsOf(acquisitionLog, acqlog::kEnd).size() >= 3; })) << state();
  ASSERT_TRUE(within(30, [&] { return text(out).find(kNoViableTarget) != std::string::npos; })) << state();
  const auto ends = eventsOf(acquisitionLog, acqlog::kEnd);
  EXPECT_EQ(ends[0].reason, acqlog::kEndError);
  EXPECT_THAT(ends[0].detail, HasSubstr("Filter Simulator has no filter named 'Z'"));
  EXPECT_EQ(ends[1].reason, acqlog::kEndDone) << ends[1].detail;
  EXPECT_EQ(ends[2].reason, acqlog::kEndDone) << ends[2].detail;
  EXPECT_THAT(text(out + ".err"), HasSubstr("message: Passed over for the rest of this run: Field 1 (the group on line 1 "
                                            "of targets.txt): its plan cannot run as written: plan '"));

  nightpick.signal(SIGTERM);
  EXPECT_EQ(nightpick.wait(std::chrono::seconds(300)), 0) << state();
  EXPECT_TRUE(server.secured(test::kMount, test::kDome)) << state();

  // One count spent on the group whose plan could not run, one each on the others.
  const std::string list = readFileBytes(program.file("targets.txt"));
  EXPECT_THAT(list, HasSubstr("#FILTER Z\r\nField 1\t" + hms(site.lst + 0.1) + "\t+10:00:00\r\n**** remaining=2\r\n"));
  EXPECT_EQ(list.find("remaining=1"), std::string::npos) << list;
  const std::string runLog = readFileBytes(program.file("observatory") + "/Logs/Nightpick.log");
  EXPECT_THAT(runLog, HasSubstr("Passed over for the rest of this run: Field 1"));
  EXPECT_THAT(runLog, HasSubstr("Securing the observatory: the run was stopped"));
  // The library's chatter went to a file of its own.
  for (const std::string& journal : {text(out), text(out + ".err")}) {
    EXPECT_EQ(journal.find("creating new connection"), std::string::npos) << journal;
    EXPECT_EQ(journal.find("INDI::"), std::string::npos) << journal;
  }
  EXPECT_THAT(text(program.file("observatory") + "/Logs/indiclient.log"), HasSubstr("creating new connection"));
}

// The camera's driver ends in the middle of a plan (a crashed or unplugged camera): the run
// ends with the camera named, after the mount is parked and the dome closed.
TEST_F(HeadlessOverIndi, ACameraThatGoesAwayEndsTheRunWithTheObservatorySecured) {
  IndiServer server;
  TempDir program;
  const NightSite site = nightSiteNow();
  writeFileBytes(program.file("targets.txt"), "#COUNT 50\r\n#INTERVAL 2\r\nField\t" + hms(site.lst + 0.2) +
                                                  "\t+10:00:00\r\n**** remaining=2\r\n");
  writeObservatoryIni(program, server, site);
  const std::string acquisitionLog = program.file("observatory") + "/Logs/" + acqlog::kFileName;
  const std::string out = program.file("out.txt");
  ProgramProcess nightpick(headlessPath(), {"--program-dir", program.path()}, out);
  ASSERT_TRUE(within(240, [&] { return eventsOf(acquisitionLog, acqlog::kExposure).size() >= 2; }));
  ASSERT_TRUE(server.signalDriver("indi_simulator_ccd", SIGKILL));
  EXPECT_EQ(nightpick.wait(std::chrono::seconds(300)), 1);
  const std::string err = readFileBytes(out + ".err");
  EXPECT_THAT(err, HasSubstr("CCD Simulator"));
  EXPECT_TRUE(server.secured(test::kMount, test::kDome)) << err;
  EXPECT_THAT(err, HasSubstr("safety: Dome closed: Dome Simulator"));
}

// A fleet member whose list's database cannot be reached at night: nothing can be
// observed, so the open observatory is secured (the mount parked, the dome closed) while
// the site waits and tries again, and SIGTERM ends the wait.
TEST_F(HeadlessOverIndi, AWaitForTheListsDatabaseAtNightSecuresTheObservatory) {
  IndiServer server{{"indi_simulator_telescope", "indi_simulator_ccd", "indi_simulator_dome"}};
  TempDir program, nowhere;
  writeFileBytes(program.file("targets.txt"), "Star\t00:00:00\t+10:00:00\r\n**** remaining=3\r\n");
  std::filesystem::create_directories(program.file("observatory"));
  writeFileBytes(program.file("observatory") + "/observatory.ini",
                 "[host]\nkind = indi\n[indi]\nserver = " + server.address() +
                     "\nmount = Telescope Simulator\ncamera = CCD Simulator\ndome = Dome Simulator\n"
                     "[site]\nlatitude = 30\nlongitude = " + std::to_string(nightSiteNow().longitude) +
                     "\n[list]\ndatabase = host=" + nowhere.path() + " dbname=fleet connect_timeout=2\nsite = north\n");
  openObservatory(server);
  const std::string out = program.file("out.txt");
  ProgramProcess nightpick(headlessPath(), {"--program-dir", program.path()}, out);
  auto text = [](const std::string& path) { return std::filesystem::exists(path) ? readFileBytes(path) : std::string(); };
  auto state = [&] { return "stdout:\n" + text(out) + "\nstderr:\n" + text(out + ".err"); };
  ASSERT_TRUE(within(120, [&] { return text(out).find(std::string(kWaitingForList)) != std::string::npos; }))
      << state();
  EXPECT_TRUE(within(120, [&] { return server.secured(test::kMount, test::kDome); })) << state();
  nightpick.signal(SIGTERM);
  EXPECT_EQ(nightpick.wait(std::chrono::seconds(120)), 0) << state();
  const std::string runLog = text(program.file("observatory") + "/Logs/Nightpick.log");
  EXPECT_THAT(runLog, HasSubstr("Securing the observatory: the list's database cannot be reached: "));
  EXPECT_THAT(runLog, HasSubstr("Dome closed: Dome Simulator"));
  EXPECT_EQ(readFileBytes(program.file("targets.txt")), "Star\t00:00:00\t+10:00:00\r\n**** remaining=3\r\n");
}

}  // namespace
}  // namespace np
