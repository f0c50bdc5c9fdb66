// The INDI observatory as the program creates it and calls its members: what it says
// when the server or a device is not there, the site it and the mount agree on, the
// weather it reports, and a folder that cannot take images found before a plan is run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "base/Clock.h"
#include "base/Errors.h"
#include "base/FileSystem.h"
#include "host/AcquisitionLog.h"
#include "host/ObservatoryConfig.h"
#include "host/indi/IndiSettings.h"
#include "host/SkyMath.h"
#include "host/UtcTime.h"
#include "host/indi/IndiObservatory.h"
#include "indi/FitsFiles.h"
#include "indi/IndiServer.h"
#include "support/FaultyFileSystem.h"
#include "support/TempDir.h"

namespace np {
namespace {

using test::IndiServer;
using test::failureOf;
using test::TempDir;
using ::testing::HasSubstr;

ObservatoryConfig indiConfig(const std::string& server, const std::string& extra = "") {
  indi::registerIndiConfig();
  return parseObservatoryConfig("[host]\nkind = indi\n[indi]\nserver = " + server +
                                    "\nmount = Telescope Simulator\ncamera = CCD Simulator\nconnect_timeout = 3\n" + extra,
                                "observatory.ini");
}

TEST(IndiObservatory, AServerOrADeviceThatIsNotThereEndsTheStartNamingIt) {
  TempDir folder;
  SystemClock clock;
  LocalFileSystem files;
  IndiServer server{{"indi_simulator_telescope", "indi_simulator_ccd"}};
  const std::string address = server.address();
  EXPECT_THAT(failureOf([&] { IndiObservatory(folder.path(), indiConfig(address, "dome = Roof\n"), clock, files); }),
              HasSubstr("Roof did not appear on the INDI server at " + address + " within 3 s"));
  server.stop();
  EXPECT_THAT(failureOf([&] { IndiObservatory(folder.path(), indiConfig(address), clock, files); }),
              HasSubstr("cannot reach the INDI server at " + address));
}

TEST(IndiObservatory, TheSiteWeatherAndImagesFolderAsTheLoopSeesThem) {
  TempDir folder;
  SystemClock clock;
  LocalFileSystem files;
  IndiServer server{{"indi_simulator_telescope", "indi_simulator_ccd", "indi_simulator_weather"}};
  {
    // A site given is set on the mount; one not given is read from it.
    IndiObservatory given(folder.path(), indiConfig(server.address(), "[site]\nlatitude = -30.5\nlongitude = -70.25\n"),
                          clock, files);
    EXPECT_DOUBLE_EQ(given.siteLatitude(), -30.5);
  }
  IndiObservatory observatory(folder.path(),
                              indiConfig(server.address(), "weather = Weather Simulator\nimages = " +
                                                               folder.file("Images") + "\n"),
                              clock, files);
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
// the acquisition to end: the lines of AcquireImages.log it wrote. With `failure`, a
// ScriptActive that fails once the plan has ended (a device failed) ends the wait, and
// its text is kept there.
std::vector<AcquisitionEvent> runPlan(IUtil& util, const std::string& folder, const std::string& plan,
                                      std::string* failure = nullptr) {
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
  for (;;) {
    try {
      if (!util.ScriptActive() || std::chrono::steady_clock::now() >= deadline) break;
    } catch (const RunTimeError& e) {
      if (!failure) throw;
      *failure = e.what();
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  std::vector<AcquisitionEvent> events = readAcquisitionLog(log);
  events.erase(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(before));
  return events;
}

std::string kinds(const std::vector<AcquisitionEvent>& events) {
  std::string out;
  for (const AcquisitionEvent& e : events) out += e.kind + (e.reason.empty() ? "" : " " + e.reason) + ";";
  return out;
}

// Where the mount points now at longitude 0, for a plan that needs no long slew.
std::string raOfTheMeridian(const Clock& clock) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", localSiderealHours(clock.julianDateUtc(), 0.0));
  return text;
}

TEST(IndiAcquisition, QuitTimeFiltersWithoutAWheelAndTheAutofocusCommand) {
  TempDir folder;
  SystemClock clock;
  LocalFileSystem files;
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
      clock, files);
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
  auto focused = runPlan(*util, folder.path(),
                         "#AUTOFOCUS\r\n#COUNT 1\r\n#INTERVAL 0.2\r\nStar\t" + raOfTheMeridian(clock) + "\t+05:00:00\r\n");
  EXPECT_EQ(kinds(focused), "START;AUTOFOCUS;EXPOSURE;END done;");
  EXPECT_EQ(test::readFileBytes(folder.file("focus-args.txt")),
            server.address() + " CCD Simulator Focuser Simulator \n");
}

// The right ascension (J2000, "HH:MM:SS.S") whose hour angle at longitude 0 is `degrees`
// now, west positive.
std::string raAtHourAngle(const Clock& clock, double degrees) {
  double ra = localSiderealHours(clock.julianDateUtc(), 0.0) - degrees / 15.0;
  ra = ra < 0 ? ra + 24.0 : ra;
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", ra);
  return text;
}

// A German mount's meridian flip on Debian's telescope simulator, which takes the side of
// the pier by the hour angle at a slew: a plan of short exposures slewed to just east of
// the meridian (the simulator's own hour angle, of the apparent place, lies 0.35 degrees
// short of the plan's J2000 one) crosses a flip at 0.45 degrees: one flip, between two
// exposures, the mount on the other side after it, and the images on both sides of it of
// the same target.
TEST(IndiAcquisition, AFlipBetweenExposuresPutsTheMountOnTheOtherSide) {
  TempDir folder;
  SystemClock clock;
  LocalFileSystem files;
  IndiServer server{{"indi_simulator_telescope", "indi_simulator_ccd"}};
  std::filesystem::create_directories(folder.file("Logs"));
  IndiObservatory observatory(
      folder.path(),
      indiConfig(server.address(), "images = " + folder.file("Images") +
                                       "\n[site]\nlatitude = 0\nlongitude = 0\n[mount]\nmeridian_flip = 0.45\n"
                                       "[limits]\nminimum_elevation = -90\n"),
      clock, files);
  auto util = observatory.createUtil();
  // Near the place first, so that the plan's own slew is short.
  ASSERT_EQ(kinds(runPlan(*util, folder.path(),
                          "#COUNT 1\r\n#INTERVAL 0.2\r\nNear\t" + raAtHourAngle(clock, 0.0) + "\t+05:00:00\r\n")),
            "START;EXPOSURE;END done;");
  const std::vector<AcquisitionEvent> events = runPlan(
      *util, folder.path(), "#COUNT 25\r\n#INTERVAL 3\r\nCrossing\t" + raAtHourAngle(clock, 0.2) + "\t+05:00:00\r\n");
  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events.back().kind + " " + events.back().reason, "END done") << events.back().detail;
  std::size_t flips = 0, at = 0;
  for (std::size_t i = 0; i < events.size(); ++i)
    if (events[i].kind == acqlog::kFlip) ++flips, at = i;
  ASSERT_EQ(flips, 1u) << kinds(events);
  const AcquisitionEvent& flip = events[at];
  EXPECT_EQ(flip.text, "Crossing");
  EXPECT_GE(flip.hourAngle, 0.45);
  EXPECT_LT(flip.hourAngle, 0.55);
  EXPECT_EQ(flip.pierSide, "PIER_EAST");
  ASSERT_GT(at, 1u);
  ASSERT_LT(at + 1, events.size() - 1);
  for (const AcquisitionEvent* e : {&events[at - 1], &events[at + 1]}) {
    EXPECT_EQ(e->kind, acqlog::kExposure);
    EXPECT_EQ(e->text, "Crossing");
    EXPECT_THAT(e->file, HasSubstr("_Crossing_"));
  }
  EXPECT_LE(events[at - 1].utc, flip.utc) << "no exposure is cut by the flip";
  EXPECT_EQ(test::fitsKeys(events[at - 1].file)["OBJECT"], "Crossing");
  EXPECT_EQ(test::fitsKeys(events[at + 1].file)["OBJECT"], "Crossing");
}

// A full disk at the first image: the plan ends with an error that names the file, no
// part of the image is left, and the night ends before another plan takes a count.
TEST(IndiAcquisition, AnImageTheDiskCannotTakeEndsThePlanWithAnErrorNamingTheFile) {
  TempDir folder;
  SystemClock clock;
  LocalFileSystem local;
  test::FaultyFileSystem files(local);
  IndiServer server{{"indi_simulator_telescope", "indi_simulator_ccd"}};
  std::filesystem::create_directories(folder.file("Logs"));
  const std::string images = folder.file("Images");
  IndiObservatory observatory(folder.path(),
                              indiConfig(server.address(), "images = " + images +
                                                               "\n[site]\nlatitude = 0\nlongitude = 0\n"
                                                               "[limits]\nminimum_elevation = -90\n"),
                              clock, files);
  auto util = observatory.createUtil();
  EXPECT_FALSE(util->ScriptActive());  // the check of the folder goes through
  // The image's own file: the write check's probe has no leading dot.
  files.failWhere("WriteBinaryFile " + images + "/.");
  std::string failure;
  const auto events = runPlan(*util, folder.path(),
                              "#COUNT 2\r\n#INTERVAL 0.2\r\nStar\t" + raOfTheMeridian(clock) + "\t+05:00:00\r\n", &failure);
  ASSERT_EQ(kinds(events), "START;END error;");
  EXPECT_THAT(events[1].detail, HasSubstr("cannot write the image: "));
  EXPECT_THAT(events[1].detail, HasSubstr("WriteBinaryFile " + images + "/.Star-"));
  EXPECT_THAT(failure, HasSubstr("ScriptActive: the last plan ended because a device failed: cannot write the image"));
  EXPECT_TRUE(std::filesystem::is_empty(images));
}

// The images of a plan say in their headers what was taken, how and where, under the
// observatory's own device names (not the simulators'), whatever the camera's driver
// would have written: the camera follows the mount and wheel that observatory.ini names.
TEST(IndiAcquisition, EveryImageHeaderSaysWhatWasTakenWithWhichDevicesAndWhere) {
  TempDir folder;
  SystemClock clock;
  LocalFileSystem files;
  IndiServer server{{{"indi_simulator_telescope", "Big Mount"},
                     {"indi_simulator_ccd", "Main Camera"},
                     {"indi_simulator_wheel", "Wheel One"}}};
  std::filesystem::create_directories(folder.file("Logs"));
  indi::registerIndiConfig();
  IndiObservatory observatory(
      folder.path(),
      parseObservatoryConfig("[host]\nkind = indi\n[indi]\nserver = " + server.address() +
                                 "\nmount = Big Mount\ncamera = Main Camera\nfilter_wheel = Wheel One\n"
                                 "connect_timeout = 10\n[site]\nlatitude = -30.25\nlongitude = -70.75\n"
                                 "[limits]\nminimum_elevation = -90\n",
                             "observatory.ini"),
      clock, files);
  EXPECT_EQ(server.get("Main Camera.ACTIVE_DEVICES.ACTIVE_TELESCOPE").value_or("?"), "Big Mount");
  EXPECT_EQ(server.get("Main Camera.ACTIVE_DEVICES.ACTIVE_FILTER").value_or("?"), "Wheel One");
  EXPECT_EQ(server.get("Main Camera.ACTIVE_DEVICES.ACTIVE_FOCUSER").value_or("?"), "");  // none is named

  // On the meridian, to the whole second; the wheel's second and third filters, the
  // second spelt otherwise than the wheel does.
  const long long lst = std::llround(localSiderealHours(clock.julianDateUtc(), -70.75) * 3600.0) % 86400;
  char ra[16];
  std::snprintf(ra, sizeof ra, "%02lld:%02lld:%02lld", lst / 3600, lst / 60 % 60, lst % 60);
  auto util = observatory.createUtil();
  const double before = clock.unixSeconds();
  const auto events = runPlan(*util, folder.path(),
                              "#FILTER Blue,green\r\n#BINNING 2\r\n#COUNT 1\r\n#INTERVAL 0.5\r\nStar 1\t" +
                                  std::string(ra) + "\t-25:12:34\r\n");
  const double after = clock.unixSeconds();
  ASSERT_EQ(kinds(events), "START;EXPOSURE;EXPOSURE;END done;") << (events.empty() ? "" : events.back().detail);

  for (int i : {1, 2}) {
    SCOPED_TRACE(events[i].file);
    auto keys = test::fitsKeys(events[i].file);
    EXPECT_EQ(keys["OBJECT"], "Star 1");
    EXPECT_EQ(keys["FILTER"], i == 1 ? "Blue" : "green");
    EXPECT_EQ(keys["TELESCOP"], "Big Mount");
    EXPECT_EQ(keys["INSTRUME"], "Main Camera");
    EXPECT_EQ(keys["OBJCTRA"], std::string(ra).replace(2, 1, " ").replace(5, 1, " "));
    EXPECT_EQ(keys["OBJCTDEC"], "-25 12 34");
    EXPECT_DOUBLE_EQ(test::fitsNumber(keys["SITELAT"]), -30.25);
    EXPECT_DOUBLE_EQ(test::fitsNumber(keys["SITELONG"]), -70.75);
    EXPECT_EQ(keys["XBINNING"], "2");
    EXPECT_EQ(keys["YBINNING"], "2");
    EXPECT_DOUBLE_EQ(test::fitsNumber(keys["EXPTIME"]), 0.5);
    EXPECT_EQ(keys["IMAGETYP"], "Light Frame");
    CivilTime start;
    ASSERT_EQ(std::sscanf(keys["DATE-OBS"].c_str(), "%d-%d-%dT%d:%d:%lf", &start.year, &start.month, &start.day,
                          &start.hour, &start.minute, &start.second),
              6)
        << keys["DATE-OBS"];
    EXPECT_GE(unixFromCivilUtc(start), before - 1);
    EXPECT_LE(unixFromCivilUtc(start), after);
  }
}

}  // namespace
}  // namespace np
