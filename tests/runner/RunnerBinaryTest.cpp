// nightpick-sim itself, started as a user starts it: its options, what it prints on each
// stream, its exit status and the picture it draws. The program is the build's own, in
// its program folder (bin/); the tests are built apart from it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "report/ReportPictureModule.h"
#include "support/FleetFolders.h"
#include "support/TempDir.h"
#include "RunnerPath.h"
#include "support/TestWorld.h"

namespace np {
namespace {

using test::TestWorld;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;

using test::runnerPath;

struct Outcome {
  int exitCode = -1;
  std::string out, err;
};

// Runs nightpick-sim with the arguments, `environment` ("NAME=value ...") set for it.
Outcome runRunnerIn(TestWorld& f, const std::string& environment, const std::string& arguments) {
  const std::string outPath = f.dir.file("stdout.txt"), errPath = f.dir.file("stderr.txt");
  std::string command = "env " + environment + " '" + runnerPath() + "' " + arguments + " >'" + outPath + "' 2>'" +
                        errPath + "'";
  int status = std::system(command.c_str());
  Outcome o;
  o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  o.out = test::readFileBytes(outPath);
  o.err = test::readFileBytes(errPath);
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return o;
}

Outcome runRunner(TestWorld& f, const std::string& arguments) { return runRunnerIn(f, "", arguments); }

class RunnerBinary : public ::testing::Test {
 protected:
  void SetUp() override {
    if (runnerPath().empty() || !std::filesystem::exists(runnerPath())) GTEST_SKIP() << "nightpick-sim is not built (GUI build off)";
  }
  TestWorld f;
};

TEST_F(RunnerBinary, ARunPrintsStatusLinesMessagesAndTheReportAndDrawsThePicture) {
  f.writeList({"M42\t05:35:17\t-05:23:28", "**** remaining=5 priority=high", "M45\t03:47:24\t+24:07:00",
               "**** remaining=5"});
  const std::string picture = f.dir.file("night.png");
  Outcome o = runRunner(f, "--program-dir '" + f.programDir() +
                               "' --start 2026-12-08T00:00:00Z --hours 24 --stop-after-plans 3 --report '" + picture + "'");
  EXPECT_EQ(o.exitCode, 0) << o.err;
  EXPECT_THAT(o.out, HasSubstr("\n2026-12-07 18:4"));
  EXPECT_THAT(o.out, MatchesRegex("(.|\n)*\n[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} Running ACP plan for selected "
                                  "target: M4[25]\n(.|\n)*"));
  EXPECT_THAT(o.out, MatchesRegex("(.|\n)*Nightpick stopped\n\nNight report: 2026-12-07 17:00:00 to (.|\n)*"));
  EXPECT_THAT(o.out, HasSubstr("Plans run: 3 ("));
  EXPECT_THAT(o.err, HasSubstr("message: Invalid priority value in target delimiter line '**** remaining=5 priority=high'\n"));
  EXPECT_THAT(o.err, Not(HasSubstr("error:")));

  std::string png = test::readFileBytes(picture);
  ASSERT_GT(png.size(), 10000u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
}

TEST_F(RunnerBinary, AMissingListExitsNonZeroNamingTheError) {
  Outcome o = runRunner(f, "--program-dir '" + f.programDir() + "' --start 2026-12-08T02:00:00Z --hours 2");
  EXPECT_NE(o.exitCode, 0);
  EXPECT_THAT(o.err, MatchesRegex("(.|\n)*error: [^\n]*targets.txt[^\n]*\n"));
  EXPECT_FALSE(std::filesystem::exists(f.listPath()));
}

TEST_F(RunnerBinary, BadOptionsAreRefusedBeforeAnythingRuns) {
  f.writeList({"M42\t05:35:17\t-05:23:28", "**** remaining=5"});
  Outcome svg = runRunner(f, "--program-dir '" + f.programDir() + "' --hours 1 --report '" + f.dir.file("n.svg") + "'");
  EXPECT_NE(svg.exitCode, 0);
  EXPECT_THAT(svg.err, HasSubstr("--report"));
  Outcome hours = runRunner(f, "--program-dir '" + f.programDir() + "' --hours -3");
  EXPECT_NE(hours.exitCode, 0);
  Outcome start = runRunner(f, "--program-dir '" + f.programDir() + "' --start yesterday");
  EXPECT_NE(start.exitCode, 0);
  EXPECT_THAT(start.err, HasSubstr("error: --start"));
  // None of them got as far as the observing loop.
  EXPECT_FALSE(std::filesystem::exists(f.runLogPath()));
  EXPECT_EQ(svg.out + hours.out + start.out, "");
}

// The runner needs no graphics library of its own: Qt comes in with the picture's
// module, for --report only.
TEST_F(RunnerBinary, TheRunnerLinksNoQtAndItsPictureModuleLiesBesideIt) {
  const std::string exe = test::readFileBytes(runnerPath());
  ASSERT_GT(exe.size(), 1000u);
  EXPECT_EQ(exe.find("libQt6"), std::string::npos);
  const std::filesystem::path module = std::filesystem::path(runnerPath()).parent_path() / kReportModuleName;
  ASSERT_TRUE(std::filesystem::exists(module));
  EXPECT_NE(test::readFileBytes(module.string()).find("libQt6Gui"), std::string::npos);
}

}  // namespace
}  // namespace np

namespace np {
namespace {

// --report-from-log on the sample night's log, beside its acquisition log, as a user runs
// it the morning after: the report, the picture, and the site from the command line.
TEST_F(RunnerBinary, AReportFromARunLogPrintsThePlansAndDrawsThePicture) {
  f.writeList({"M42\t05:35:17\t-05:23:28", "**** remaining=5", "M45\t03:47:24\t+24:07:00", "**** remaining=5"});
  ASSERT_EQ(runRunner(f, "--program-dir '" + f.programDir() + "' --start 2026-12-08T02:00:00Z --hours 3").exitCode, 0);
  const std::string picture = f.dir.file("fromlog.png");
  const Outcome o = runRunner(f, "--report-from-log '" + f.runLogPath() +
                                     "' --latitude 31.96 --longitude -111.6 --report '" + picture + "'");
  ASSERT_EQ(o.exitCode, 0) << o.err;
  EXPECT_THAT(o.out, HasSubstr("Night report: 2026-12-07 19:00:00 to "));
  EXPECT_THAT(o.out, HasSubstr("(local time, UTC-7)\n"));
  EXPECT_THAT(o.out, HasSubstr("  M42  "));
  EXPECT_THAT(o.out, MatchesRegex("(.|\n)*Images: [1-9][0-9]* taken, 0 skipped\n(.|\n)*"));
  EXPECT_GT(std::filesystem::file_size(picture), 10000u);

  // The site is needed; a log that does not exist is an error.
  EXPECT_EQ(runRunner(f, "--report-from-log '" + f.runLogPath() + "'").exitCode, 2);
  const Outcome missing = runRunner(f, "--report-from-log '" + f.dir.file("none.log") + "' --latitude 0 --longitude 0");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_THAT(missing.err, HasSubstr("cannot open the run log"));
}

// The morning after, from the program folder that ran the night: the site comes from its
// observatory and the dusk elevation from its config.ini, as --host-dir and --sun-elev
// would give them.
TEST_F(RunnerBinary, AReportFromARunLogTakesTheSiteAndDuskFromTheProgramFolder) {
  f.writeList({"M42\t05:35:17\t-05:23:28", "**** remaining=5", "M45\t03:47:24\t+24:07:00", "**** remaining=5"});
  f.writeIni("[site]\nlatitude = 45\nlongitude = 7.5\nutc_offset = 1\n");
  test::writeFileBytes(f.configPath(), "lastFocusJD,0\r\nfocusInterval,30\r\nbaseDir,x\r\nmaxElevation,90\r\n"
                                       "minAzimuth,0\r\nmaxAzimuth,360\r\nsunElev,-12\r\n");
  ASSERT_EQ(runRunner(f, "--program-dir '" + f.programDir() + "' --start 2026-12-07T20:00:00Z --hours 3").exitCode, 0);
  const Outcome fromFolder = runRunner(f, "--program-dir '" + f.programDir() + "' --report-from-log '" +
                                              f.runLogPath() + "'");
  ASSERT_EQ(fromFolder.exitCode, 0) << fromFolder.err;
  EXPECT_THAT(fromFolder.out, HasSubstr("(local time, UTC+1)\n"));
  const Outcome spelledOut = runRunner(f, "--host-dir '" + f.hostDir() + "' --sun-elev -12 --report-from-log '" +
                                              f.runLogPath() + "'");
  ASSERT_EQ(spelledOut.exitCode, 0) << spelledOut.err;
  EXPECT_EQ(fromFolder.out, spelledOut.out);
  const Outcome otherDusk = runRunner(f, "--host-dir '" + f.hostDir() + "' --report-from-log '" + f.runLogPath() + "'");
  EXPECT_NE(fromFolder.out, otherDusk.out);
}

// An INDI observatory's folder: the site comes from its observatory.ini when it gives one
// (else the mount holds it and the report asks for it), and the log's times are in the
// computer's own zone. Its acquisition log names each image file: the images are counted
// as the simulated observatory's are.
TEST_F(RunnerBinary, AReportFromTheLogOfAnIndiObservatoryTakesItsSiteAndTheComputersZone) {
  f.writeList({"M42\t05:35:17\t-05:23:28", "**** remaining=5", "M45\t03:47:24\t+24:07:00", "**** remaining=5"});
  f.writeIni("[site]\nlatitude = 45\nlongitude = 7.5\nutc_offset = 0\n");
  ASSERT_EQ(runRunner(f, "--program-dir '" + f.programDir() + "' --start 2026-12-07T20:00:00Z --hours 3").exitCode, 0);
  const Outcome simulated = runRunner(f, "--host-dir '" + f.hostDir() + "' --report-from-log '" + f.runLogPath() + "'");
  ASSERT_EQ(simulated.exitCode, 0) << simulated.err;
  EXPECT_THAT(simulated.out, HasSubstr("Images: "));

  // The same night as an INDI observatory leaves it: image files named on each EXPOSURE.
  const std::string acquisition = f.hostDir() + "/Logs/AcquireImages.log";
  std::string text = test::readFileBytes(acquisition), named;
  for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
    std::string line = text.substr(at, end - at);
    if (line.find("\tEXPOSURE\t") != std::string::npos) line += "\t/srv/Images/2026-12-07_M42_001.fits";
    named += line + "\r\n";
  }
  test::writeFileBytes(acquisition, named);
  // Written as the operator writes it (the test world's simulated observatory refuses it).
  const std::string ini = f.hostDir() + "/observatory.ini";
  test::writeFileBytes(ini, "[host]\nkind = indi\n[indi]\nmount = Mount\ncamera = Camera\n[site]\nlatitude = 45\nlongitude = 7.5\n");
  const Outcome indi = runRunner(f, "--program-dir '" + f.programDir() + "' --report-from-log '" + f.runLogPath() +
                                        "' --utc-offset 0");
  ASSERT_EQ(indi.exitCode, 0) << indi.err;
  EXPECT_EQ(indi.out, simulated.out);

  // Without --utc-offset, the computer's zone: UTC here.
  const Outcome inZone = runRunnerIn(f, "TZ=UTC", "--program-dir '" + f.programDir() + "' --report-from-log '" +
                                                      f.runLogPath() + "'");
  ASSERT_EQ(inZone.exitCode, 0) << inZone.err;
  EXPECT_EQ(inZone.out, simulated.out);

  test::writeFileBytes(ini, "[host]\nkind = indi\n[indi]\nmount = Mount\ncamera = Camera\n");
  const Outcome noSite = runRunner(f, "--program-dir '" + f.programDir() + "' --report-from-log '" + f.runLogPath() + "'");
  EXPECT_EQ(noSite.exitCode, 2);
  EXPECT_THAT(noSite.err, HasSubstr("leaves the site to the mount: give --latitude and --longitude"));
}

// The report reads the log a line at a time: a night of 100,000 groups, whose log is
// larger than the memory bound, is reported within it.
TEST_F(RunnerBinary, AReportFromTheLogOfA100000GroupNightStaysWithinTheMemoryBound) {
  constexpr int kGroups = 100000, kPasses = 24;
  const std::string logPath = f.dir.file("Nightpick.log");
  {
    std::ofstream log(logPath, std::ios::binary);
    std::string pass;
    const std::string stars(64, '*');
    for (int p = 0; p < kPasses; ++p) {
      char stamp[64];
      std::snprintf(stamp, sizeof stamp, "2026-12-07 %02d:%02d:00", 19 + p / 6, (p % 6) * 10);
      log << stars << "\r\n**** Searching for new target " << stamp << "\r\n" << stars << "\r\n";
      pass.clear();
      for (int g = 0; g < kGroups; ++g) {
        char line[200];
        std::snprintf(line, sizeof line,
                      "Target: Group %06d RA=%.6g, DEC=%.6g\r\n  Score=%.7g Elev=45.2223777573836 "
                      "TransitAlt=82.1566687011719 HADiff=1.85491816928672\r\n",
                      g, (g % 2400) / 100.0, (g % 1200) / 20.0 - 30.0, 10.0 + g % 997 + p);
        pass += line;
      }
      log << pass << "  >>> New bestscore = " << 1006 + p << "\r\nUpdating targets file\r\n"
          << "Remaining count for best target = 3\r\nRunning ACP plan for selected target:Group " << p << "\r\n";
    }
  }
  ASSERT_GT(std::filesystem::file_size(logPath), 256u << 20);
  // The report's own process, waited for with wait4 for its own peak (RUSAGE_CHILDREN
  // would give the largest of every child the test binary has had).
  const std::string outPath = f.dir.file("report.txt");
  const pid_t pid = ::fork();
  if (pid == 0) {
    const std::string exe = runnerPath();
    if (std::freopen(outPath.c_str(), "w", stdout))
      ::execl(exe.c_str(), exe.c_str(), "--report-from-log", logPath.c_str(), "--latitude", "31.96", "--longitude",
              "-111.6", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ASSERT_GT(pid, 0);
  int status = 0;
  rusage usage{};
  ASSERT_EQ(::wait4(pid, &status, 0, &usage), pid);
  Outcome o;
  o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  o.out = test::readFileBytes(outPath);
  ASSERT_EQ(o.exitCode, 0);
  EXPECT_THAT(o.out, HasSubstr("Plans run: 24 (24 searches, 0 without a viable target)\n"));
  EXPECT_THAT(o.out, HasSubstr("Group 23 "));
  // ru_maxrss is in KiB.
  EXPECT_LT(usage.ru_maxrss, 256L * 1024) << "peak " << usage.ru_maxrss / 1024 << " MiB";
  std::filesystem::remove(logPath);
}

// --fleet takes the folders separated by commas and prints each site's report, then the
// fleet's; the options of a single folder's run are refused beside it.
TEST_F(RunnerBinary, AFleetsDryRunTakesItsFoldersAndRefusesASingleFoldersOptions) {
  const std::string list = test::spreadFleetList(12, 2, false, 1, 11);
  test::SiteFolder west(32, -110, list), east(32, 120, "");
  const Outcome o = runRunner(f, "--fleet '" + west.path() + "," + east.path() +
                                     "' --start 2026-12-07T12:00:00Z --hours 48");
  ASSERT_EQ(o.exitCode, 0) << o.err;
  const std::size_t w = o.out.find("=== " + std::filesystem::path(west.path()).filename().string() + " (");
  const std::size_t e = o.out.find("=== " + std::filesystem::path(east.path()).filename().string() + " (");
  const std::size_t fleet = o.out.find("=== the fleet ===\nFleet report: 2 sites sharing one list");
  ASSERT_NE(w, std::string::npos) << o.out;
  EXPECT_LT(w, e);
  EXPECT_LT(e, fleet);
  EXPECT_NE(fleet, std::string::npos);
  EXPECT_THAT(o.out, HasSubstr("List done: "));
  EXPECT_EQ(west.listText(), list);

  for (const std::string single : {"--program-dir .", "--stop-after-plans 3", "--explain", "--report x.png"}) {
    const Outcome refused = runRunner(f, "--fleet '" + west.path() + "' " + single);
    EXPECT_NE(refused.exitCode, 0) << single;
    EXPECT_THAT(refused.err, HasSubstr("excludes")) << single;
  }
}

}  // namespace
}  // namespace np
