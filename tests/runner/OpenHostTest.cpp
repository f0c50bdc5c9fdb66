// The host the programs that run for real open: today the simulated observatory of the
// folder, on a clock at its clock.start running clock.speed times real time, in its zone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "base/Errors.h"
#include "base/Paths.h"
#include "app/runner/OpenHost.h"
#include "support/TempDir.h"

namespace np {
namespace {

using ::testing::HasSubstr;

TEST(OpenHost, OpensTheFoldersObservatoryOnItsClock) {
  test::TempDir dir;
  const std::string folder = dir.file("observatory");
  std::filesystem::create_directory(folder);
  test::writeFileBytes(joinPath(folder, "observatory.ini"),
                       "[site]\nutc_offset = 3\n[clock]\nspeed = 1000000\nstart = 2026-12-08T01:40:00Z\n");
  LocalFileSystem files;
  OpenedHost opened = openHost(folder + "/", files);
  ASSERT_TRUE(opened.clock && opened.host);
  EXPECT_EQ(opened.hostFolder, folder);
  EXPECT_EQ(opened.clock->speed(), 1e6);
  EXPECT_EQ(opened.clock->utcOffsetHours(), 3.0);
  const double start = 1796694000.0;  // 2026-12-08T01:40:00Z
  const double now = opened.clock->unixSeconds();
  EXPECT_GE(now, start);
  EXPECT_LT(now, start + 1e6 * 60) << "more than a minute of real time since the start";
  EXPECT_GT(opened.clock->unixSeconds(), now) << "the clock runs";
  // The host's objects work in that folder.
  auto app = opened.host->createApplication();
  EXPECT_EQ(app->Path(), folder);
  EXPECT_TRUE(std::filesystem::exists(joinPath(folder, "Plans")));
}

TEST(OpenHost, AnObservatoryIniThatCannotBeUsedIsARunTimeError) {
  test::TempDir dir;
  test::writeFileBytes(dir.file("observatory.ini"), "[clock]\nstart = yesterday\n");
  EXPECT_THROW(
      {
        try {
          LocalFileSystem files;
          openHost(dir.path(), files);
        } catch (const RunTimeError& e) {
          EXPECT_THAT(e.what(), HasSubstr("yesterday"));
          throw;
        }
      },
      RunTimeError);
}

}  // namespace
}  // namespace np
