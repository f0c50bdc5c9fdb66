// The plan writer on real files against the simulated observatory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "base/Errors.h"
#include "settings/ConfigFile.h"
#include "support/FaultyFileSystem.h"
#include "support/HostFakes.h"
#include "support/TestText.h"
#include "support/TestWorld.h"

namespace np {
namespace {

using test::crlf;

using test::kExampleList;

const std::vector<std::string> kExampleAfterSecondGroup = {
    "Garden Field\t18:40:00\t+33:00:00",
    "**** remaining=3",
    "Twin Field North\t05:10:00\t+12:30:00",
    "Twin Field South\t05:11:30\t+12:05:00",
    "**** remaining=0",
    "Harbour Cluster\t21:05:00\t-02:15:00",
    "**** remaining=0",
};

class ListRewriteSimTest : public ::testing::Test {
 protected:
  ListRewriteSimTest() {
    station.units.quitTime = fromCivil(CivilTime{2024, 3, 10, 12, 45, 0});
    station.writeList(kExampleList);
    station.openLog();
  }
  test::TestWorld station;
};

TEST_F(ListRewriteSimTest, WorkedExampleWithAutofocus) {
  station.units.settings.lastFocusJD = 0;  // never focused
  station.update(2);

  EXPECT_EQ(test::readFileBytes(station.planPath()),
            "#QUITAT 2024-03-10 12:45:00\r\n#autofocus\r\nTwin Field North\t05:10:00\t+12:30:00\r\n"
            "Twin Field South\t05:11:30\t+12:05:00\r\n");
  EXPECT_EQ(test::readFileBytes(station.listPath()), crlf(kExampleAfterSecondGroup));
  EXPECT_FALSE(station.files.FileExists(station.newListPath()));
  EXPECT_EQ(station.closeLog(),
            "Updating targets file\r\nPerforming autofocus on this target\r\nRemaining count for best target = 0\r\n");
  EXPECT_THAT(station.units.statuses, ::testing::ElementsAre("Updating targets file"));
  EXPECT_TRUE(station.messages.messages.empty());

  // The request's time is the clock's now, and it is saved at once.
  EXPECT_NEAR(station.units.settings.lastFocusJD, station.clock.julianDateUtc(), 1e-6);
  Settings saved;
  loadConfigFile(station.files, station.configPath(), saved);
  EXPECT_NEAR(saved.lastFocusJD, station.units.settings.lastFocusJD, 1e-6);
}

TEST_F(ListRewriteSimTest, ListWithBareLineFeedsIsRewrittenWithCrLf) {
  station.writeList(kExampleList, "\n");
  station.units.settings.lastFocusJD = 1e9;
  station.update(2);
  EXPECT_EQ(test::readFileBytes(station.listPath()), crlf(kExampleAfterSecondGroup));
}

// A list that is a symbolic link to the user's own file, kept private: that file is the
// one rewritten, in its own folder, and it stays private; the link stays a link.
TEST_F(ListRewriteSimTest, ALinkedPrivateListIsRewrittenWhereItLives) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links on Windows need a privilege, and mingw's std::filesystem cannot make them";
#endif
  namespace fs = std::filesystem;
  const std::string realDir = station.dir.file("lists");
  fs::create_directories(realDir);
  const std::string real = realDir + "/my-targets.txt";
  test::writeFileBytes(real, crlf(kExampleList));
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
  fs::remove(station.listPath());
  fs::create_symlink(real, station.listPath());
  station.units.settings.lastFocusJD = 1e9;
  station.update(2);
  EXPECT_TRUE(fs::is_symlink(station.listPath()));
  EXPECT_EQ(test::readFileBytes(real), crlf(kExampleAfterSecondGroup));
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_FALSE(fs::exists(realDir + "/newtargets.txt"));
  EXPECT_FALSE(fs::exists(station.newListPath()));
}

// Interrupts the update at each of its file operations in turn: targets.txt must hold
// the old list or the new one, complete, after every interruption.
TEST_F(ListRewriteSimTest, InterruptedRewriteNeverLeavesAPartialList) {
  station.units.settings.lastFocusJD = 1e9;  // no autofocus: the settings stay put
  const std::string oldList = crlf(kExampleList);
  const std::string newList = crlf(kExampleAfterSecondGroup);
  int interruptions = 0, oldSeen = 0, newSeen = 0;
  for (int n = 1; n < 1000; ++n) {
    test::writeFileBytes(station.listPath(), oldList);
    test::FaultyFileSystem faulty(station.files);
    faulty.failAt(n);
    station.units.files = &faulty;
    try {
      station.update(2);
    } catch (const RunTimeError&) {
      ++interruptions;
      ASSERT_TRUE(station.files.FileExists(station.listPath())) << "no targets.txt after failing step " << n;
      const std::string now = test::readFileBytes(station.listPath());
      ASSERT_TRUE(now == oldList || now == newList) << "after failing step " << n << ":\n" << now;
      (now == oldList ? oldSeen : newSeen)++;
      continue;
    }
    EXPECT_EQ(test::readFileBytes(station.listPath()), newList);
    EXPECT_FALSE(station.files.FileExists(station.newListPath()));
    break;
  }
  station.units.files = &station.files;
  // Two creations, 7 + 3 lines written, three closes (the plan's before the list is
  // replaced, so a plan that cannot be written costs no count) and the replacement.
  EXPECT_EQ(interruptions, 15);
  EXPECT_EQ(newSeen, 0);
  EXPECT_EQ(oldSeen, 15);
}

}  // namespace
}  // namespace np
