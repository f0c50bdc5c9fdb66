// The devices over a real INDI server with Debian's simulators: what a plan asks of them
// works, and each way they fail gives a message that names the device and what it was
// asked, within the bound of the step.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <erfa.h>
#include <erfam.h>

#include "host/indi/ImageFiles.h"
#include "host/indi/IndiDevices.h"
#include "indi/FitsFiles.h"
#include "indi/IndiServer.h"
#include "support/TempDir.h"

namespace np::indi {
namespace {

using np::test::IndiServer;
using np::test::failureOf;
using testing::AllOf;
using testing::HasSubstr;

// A Julian date near now: the simulators run on the computer's clock.
double julianDateNow() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count() / 86400.0 +
         2440587.5;
}

class DevicesOverTheSimulators : public testing::Test {
 protected:
  void connectAll(Devices& devices) {
    link.connect(server.address(), 10);
    for (const char* name : {np::test::kMount, np::test::kCamera, np::test::kWheel}) devices.connectDevice(name);
    link.receiveImagesOf(np::test::kCamera);
  }
  IndiServer server{{"indi_simulator_telescope", "indi_simulator_ccd", "indi_simulator_wheel"}};
  Link link;
  Bounds bounds;
};

TEST_F(DevicesOverTheSimulators, ASlewFilterBinningAndExposuresGiveFitsFilesThatNeverReplaceEachOther) {
  Devices devices(link, bounds);
  connectAll(devices);
  if (devices.mountParked(np::test::kMount)) devices.unparkMount(np::test::kMount);
  devices.slewTo(np::test::kMount, 5.5, 20.0, julianDateNow());
  auto coords = link.inbox().property(np::test::kMount, "EQUATORIAL_EOD_COORD");
  ASSERT_TRUE(coords);
  double ra = 0, dec = 0;
  j2000ToApparent(5.5, 20.0, julianDateNow(), ra, dec);
  EXPECT_NEAR(coords->number("RA").value_or(0), ra, 0.01);
  EXPECT_NEAR(coords->number("DEC").value_or(0), dec, 0.1);
  EXPECT_GT(std::fabs(ra - 5.5) * 15 + std::fabs(dec - 20.0), 0.2);  // of date, not J2000: 26 years of precession

  // The camera follows our mount and wheel, and no focuser, rotator or sky meter.
  devices.pointCameraAt(np::test::kCamera, np::test::kMount, np::test::kWheel, "");
  auto active = link.inbox().property(np::test::kCamera, "ACTIVE_DEVICES");
  ASSERT_TRUE(active);
  EXPECT_EQ(active->text("ACTIVE_TELESCOPE").value_or("?"), np::test::kMount);
  EXPECT_EQ(active->text("ACTIVE_FILTER").value_or("?"), np::test::kWheel);
  for (const char* element : {"ACTIVE_FOCUSER", "ACTIVE_ROTATOR", "ACTIVE_SKYQUALITY"})
    EXPECT_EQ(active->text(element).value_or("?"), "") << element;
  EXPECT_THAT(failureOf([&] { devices.pointCameraAt(np::test::kWheel, np::test::kMount, "", ""); }),
              HasSubstr("Filter Simulator has no ACTIVE_DEVICES"));

  devices.selectFilter(np::test::kWheel, "green");  // names match whatever their case
  EXPECT_EQ(link.inbox().property(np::test::kWheel, "FILTER_SLOT")->number("FILTER_SLOT_VALUE"), 2.0);
  devices.setBinning(np::test::kCamera, 2);
  EXPECT_EQ(link.inbox().property(np::test::kCamera, "CCD_BINNING")->number("HOR_BIN"), 2.0);

  np::test::TempDir folder;
  LocalFileSystem files;
  const ImageHeader header{.object = "M 31/core", .exposure = 0.5, .filter = "Green", .binning = 2,
                           .telescope = np::test::kMount, .instrument = np::test::kCamera};
  std::vector<std::string> written;
  for (int i = 0; i < 2; ++i) {
    ReceivedImage image = devices.expose(np::test::kCamera, 0.5);
    EXPECT_EQ(image.format, ".fits");
    // The driver itself names the wheel's filter now, not the camera's own wheel's.
    np::test::writeFileBytes(folder.file("sent.fits"), std::string(image.bytes.begin(), image.bytes.end()));
    auto sent = np::test::fitsKeys(folder.file("sent.fits"));
    EXPECT_EQ(sent["FILTER"], "Green");
    EXPECT_EQ(sent["TELESCOP"], np::test::kMount);
    written.push_back(writeImageFile(files, folder.file("Images"), "2026-12-08", "M 31/core", "Green", image, header));
    EXPECT_EQ(np::test::readFileBytes(written.back()).substr(0, 6), "SIMPLE");  // a FITS primary header
    EXPECT_EQ(np::test::fitsKeys(written.back())["OBJECT"], "M 31/core");
  }
  EXPECT_EQ(std::filesystem::path(written[0]).filename(), "2026-12-08_M_31_core_Green_001.fits");
  EXPECT_EQ(std::filesystem::path(written[1]).filename(), "2026-12-08_M_31_core_Green_002.fits");
  EXPECT_THAT(failureOf([&] { devices.selectFilter(np::test::kWheel, "Z"); }),
              HasSubstr("Filter Simulator has no filter named 'Z'"));
}

TEST_F(DevicesOverTheSimulators, ADeviceThatIsNotThereIsNamedOnceItsBoundHasPassed) {
  bounds.connect = 2;
  Devices devices(link, bounds);
  connectAll(devices);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_THAT(failureOf([&] { devices.connectDevice("Dome Simulator"); }),
              AllOf(HasSubstr("Dome Simulator did not appear on the INDI server at " + server.address()),
                    HasSubstr("within 2 s")));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
}

TEST_F(DevicesOverTheSimulators, ASlewThatDoesNotFinishInItsBoundSaysWhatTheMountLastReported) {
  bounds.slew = 1;
  Devices devices(link, bounds);
  connectAll(devices);
  if (devices.mountParked(np::test::kMount)) devices.unparkMount(np::test::kMount);
  // Half the sky away: the simulated mount takes far longer than a second.
  auto now = link.inbox().property(np::test::kMount, "EQUATORIAL_EOD_COORD");
  const double ra = std::fmod(now->number("RA").value_or(0) + 12.0, 24.0);
  EXPECT_THAT(failureOf([&] { devices.slewTo(np::test::kMount, ra, -20.0, julianDateNow()); }),
              AllOf(HasSubstr("Telescope Simulator did not finish its slew within 1 s"),
                    HasSubstr("it last reported Busy")));
}

TEST_F(DevicesOverTheSimulators, AServerThatGoesAwayDuringASlewEndsItWithThatMessage) {
  Devices devices(link, bounds);
  connectAll(devices);
  if (devices.mountParked(np::test::kMount)) devices.unparkMount(np::test::kMount);
  auto now = link.inbox().property(np::test::kMount, "EQUATORIAL_EOD_COORD");
  const double ra = std::fmod(now->number("RA").value_or(0) + 12.0, 24.0);
  std::thread killer([&] {
    std::this_thread::sleep_for(std::chrono::seconds(2));
    server.stop();
  });
  const auto t0 = std::chrono::steady_clock::now();
  const std::string failure = failureOf([&] { devices.slewTo(np::test::kMount, ra, -20.0, julianDateNow()); });
  killer.join();
  EXPECT_THAT(failure, HasSubstr("lost the INDI server at " + server.address() +
                                 " while Telescope Simulator was to finish its slew"));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(30));
}

TEST_F(DevicesOverTheSimulators, ACameraThatSendsNoImageFailsTheExposureOnceTheImageIsOverdue) {
  bounds.image = 3;
  Devices devices(link, bounds);
  connectAll(devices);
  // The camera keeps its images on its own computer and sends none.
  ASSERT_TRUE(server.set({"CCD Simulator.UPLOAD_MODE.UPLOAD_CLIENT=Off;UPLOAD_LOCAL=On;UPLOAD_BOTH=Off"}));
  ASSERT_TRUE(server.set({"CCD Simulator.UPLOAD_SETTINGS.UPLOAD_DIR=" + server.home()}));
  link.inbox().waitUntil(std::chrono::steady_clock::now() + std::chrono::seconds(5), [&] {
    auto mode = link.inbox().property(np::test::kCamera, "UPLOAD_MODE");
    return mode && mode->switchOn("UPLOAD_LOCAL");
  });
  EXPECT_THAT(failureOf([&] { devices.expose(np::test::kCamera, 0.5); }),
              AllOf(HasSubstr("CCD Simulator did not send the image of a 0.5 s exposure within 3.5 s")));
}

TEST(ImageFiles, AFolderThatCannotTakeTheImageIsNamedWithTheCause) {
  np::test::TempDir folder;
  LocalFileSystem files;
  np::test::writeFileBytes(folder.file("Images"), "a file where the folder should be");
  ReceivedImage image;
  image.format = ".fits";
  image.bytes.assign(2880, ' ');
  EXPECT_THAT(failureOf([&] { writeImageFile(files, folder.file("Images"), "2026-12-08", "M31", "", image, {}); }),
              HasSubstr("cannot make the image folder '" + folder.file("Images") + "'"));
  EXPECT_EQ(imageFileName("2026-12-08", "NGC 253", "", 7, ".fits"), "2026-12-08_NGC_253_007.fits");
  EXPECT_EQ(imageFileName("2026-12-08", "..", "H-alpha", 1, ""), "2026-12-08_target_H-alpha_001.fits");
}

}  // namespace
}  // namespace np::indi

namespace np::indi {
namespace {

// A park under way when the program starts (the last run's, or the operator's) is given its
// bound to finish; the unpark that follows then succeeds instead of cutting the park short.
TEST_F(DevicesOverTheSimulators, AParkUnderWayIsAwaitedNotCutShort) {
  Devices devices(link, bounds);
  connectAll(devices);
  if (devices.mountParked(np::test::kMount)) devices.unparkMount(np::test::kMount);
  auto now = link.inbox().property(np::test::kMount, "EQUATORIAL_EOD_COORD");
  devices.slewTo(np::test::kMount, std::fmod(now->number("RA").value_or(0) + 4.0, 24.0), 60.0, julianDateNow());
  ASSERT_TRUE(server.set({"Telescope Simulator.TELESCOPE_PARK.PARK=On"}));
  ASSERT_TRUE(link.inbox().waitUntil(std::chrono::steady_clock::now() + std::chrono::seconds(5), [&] {
    auto park = link.inbox().property(np::test::kMount, "TELESCOPE_PARK");
    return park && park->state == PropertyState::Busy;
  }) == Inbox::WaitResult::Ready) << "the park did not start";

  devices.unparkMount(np::test::kMount);
  auto park = link.inbox().property(np::test::kMount, "TELESCOPE_PARK");
  EXPECT_TRUE(park->switchOn("UNPARK"));
  EXPECT_EQ(park->state, PropertyState::Ok);
  // The park had ended where a park ends before the unpark was sent.
  EXPECT_FALSE(devices.mountParked(np::test::kMount));
}

// The apparent place against an equinox-based reduction of its own: light deflection by
// the Sun and annual aberration from the Earth's barycentric velocity, then the
// bias-precession-nutation matrix. Mean coordinates of date (no aberration) are ~20"
// away from it, far outside the 1" asked.
TEST(ApparentPlace, AgreesWithAnIndependentReductionWithinAnArcsecond) {
  const double jd = 2461383.25;  // 2026-12-08 18:00 UTC
  double maxSeparation = 0, maxWithoutAberration = 0;
  for (double ra : {0.7, 5.5, 10.2, 13.4, 18.6, 23.9}) {
    for (double dec : {-70.0, -20.0, 0.0, 41.3, 85.0}) {
      double appRa = 0, appDec = 0;
      j2000ToApparent(ra, dec, jd, appRa, appDec);

      double tai1 = 0, tai2 = 0, tt1 = 0, tt2 = 0;
      eraUtctai(jd, 0.0, &tai1, &tai2);
      eraTaitt(tai1, tai2, &tt1, &tt2);
      double pvh[2][3], pvb[2][3];
      eraEpv00(tt1, tt2, pvh, pvb);
      double p[3], sunToEarth[3], deflected[3], aberrated[3], npb[3][3], ofDate[3], mean[3];
      eraS2c(ra * 15.0 * ERFA_DD2R, dec * ERFA_DD2R, p);
      double distance = 0;
      eraPn(pvh[0], &distance, sunToEarth);
      eraLdsun(p, sunToEarth, distance, deflected);
      double v[3];
      eraSxp(1.0 / ERFA_CMPS * ERFA_DAU / 86400.0, pvb[1], v);
      const double bm1 = std::sqrt(1.0 - eraPm(v) * eraPm(v));
      eraAb(deflected, v, distance, bm1, aberrated);
      eraPnm06a(tt1, tt2, npb);
      eraRxp(npb, aberrated, ofDate);
      eraRxp(npb, p, mean);

      double q[3];
      eraS2c(appRa * 15.0 * ERFA_DD2R, appDec * ERFA_DD2R, q);
      maxSeparation = std::max(maxSeparation, eraSepp(q, ofDate) * ERFA_DR2AS);
      maxWithoutAberration = std::max(maxWithoutAberration, eraSepp(q, mean) * ERFA_DR2AS);
    }
  }
  EXPECT_LT(maxSeparation, 1.0);
  EXPECT_GT(maxWithoutAberration, 10.0);
}

}  // namespace
}  // namespace np::indi
