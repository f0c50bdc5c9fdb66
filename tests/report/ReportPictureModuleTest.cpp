// The reports' picture module as the runner loads it: the module as built draws the
// season as a PNG, a folder without the module is an error that names it, and only PNG
// pictures are asked of it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "report/ReportPictureModule.h"
#include "report/SeasonReport.h"
#include "support/TempDir.h"

namespace np {
namespace {

// The module as the build made it; empty in a build without it.
std::string builtModule() {
#ifdef NIGHTPICK_REPORT_MODULE
  return NIGHTPICK_REPORT_MODULE;
#else
  return {};
#endif
}

// Two nights at UTC-7, a plan on each, the second after midnight.
SeasonReport twoNights() {
  SeasonReport r;
  r.utcOffsetHours = -7.0;
  const double noon = 1740855600.0;  // 2025-03-01 12:00 at UTC-7
  r.startUnix = noon;
  r.endUnix = noon + 2 * 86400.0;
  for (int i = 0; i < 2; ++i) {
    SeasonNight n;
    n.evening = localFromUnix(noon + i * 86400.0 - 12 * 3600.0, r.utcOffsetHours);
    n.windowStart = noon + i * 86400.0;
    n.sunDown = {n.windowStart + 6.5 * 3600.0, n.windowStart + 18.5 * 3600.0};
    n.dark = {n.windowStart + 8 * 3600.0, n.windowStart + 17 * 3600.0};
    r.nights.push_back(n);
  }
  SeasonGroup m42;
  m42.name = "M42";
  m42.plans = 2;
  m42.images = 10;
  r.groups.push_back(m42);
  r.plans.push_back({noon + 9 * 3600.0, noon + 10 * 3600.0, 0, 0});
  r.plans.push_back({noon + 86400.0 + 13 * 3600.0, noon + 86400.0 + 14 * 3600.0, 0, 1});
  r.plans.push_back({noon + 86400.0 + 15 * 3600.0, noon + 86400.0 + 16 * 3600.0, kNoGroup, 1});
  return r;
}

TEST(SeasonPictureModule, TheModuleAsBuiltDrawsTheSeasonAsPng) {
  if (builtModule().empty() || !std::filesystem::exists(builtModule()))
    GTEST_SKIP() << "the picture module is not built (GUI build off)";
  ASSERT_EQ(std::filesystem::path(builtModule()).filename().string(), kReportModuleName);
  const std::string folder = std::filesystem::path(builtModule()).parent_path().string();
  test::TempDir dir;
  const std::string picture = dir.file("season.png");
  std::string error;
  ASSERT_TRUE(writeSeasonPictureWithModule(folder, twoNights(), picture, error)) << error;
  const std::string png = test::readFileBytes(picture);
  ASSERT_GT(png.size(), 5000u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));

  // What the module refuses comes back as the cause.
  EXPECT_FALSE(writeSeasonPictureWithModule(folder, twoNights(), dir.file("season.svg"), error));
  EXPECT_NE(error.find(".png"), std::string::npos) << error;
}

TEST(SeasonPictureModule, AFolderWithoutTheModuleIsAnErrorNamingIt) {
#ifdef _WIN32
  GTEST_SKIP() << "no picture module on Windows";
#endif
  test::TempDir dir;
  std::string error;
  EXPECT_FALSE(writeSeasonPictureWithModule(dir.path(), twoNights(), dir.file("season.png"), error));
  EXPECT_NE(error.find(kReportModuleName), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(dir.file("season.png")));
}

TEST(ReportPicturePath, OnlyPngInAnyCase) {
  for (const char* yes : {"n.png", "N.PNG", "a/b.Png", ".png"}) EXPECT_TRUE(isReportPicturePath(yes)) << yes;
  for (const char* no : {"n.svg", "png", "n.png.txt", "n.pn", "", "n.jpg"}) EXPECT_FALSE(isReportPicturePath(no)) << no;
}

}  // namespace
}  // namespace np
