// The main window's target-list methods on its own state, against the simulated observatory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "settings/ConfigFile.h"
#include "support/TestWorld.h"

namespace np {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FrmMainTargetsTest : public ::testing::Test {
 protected:
  FrmMainTargetsTest() { window.Form_Load(); }

  test::TestWorld w;  // at night at the default site
  frmMain& window = *w.main;
};

// How each delimiter line reads is the list format's table (TargetListTest); here, that
// the window gives the unit's answer and shows its message in the window's sink.
TEST_F(FrmMainTargetsTest, ParseTargetConfigTellsWhetherTheCountWasRead) {
  std::int16_t remaining = 9;
  EXPECT_TRUE(window.parseTargetConfig("**** remaining=4", remaining));
  EXPECT_EQ(remaining, 4);
  EXPECT_FALSE(window.parseTargetConfig("**** remaining=four", remaining));
  EXPECT_EQ(remaining, 0);
  EXPECT_THAT(w.messages.messages,
              ElementsAre("Invalid remaining count in target delimiter line '**** remaining=four'"));
}

TEST_F(FrmMainTargetsTest, SelectAndUpdateWorkOnTheWindowsState) {
  w.writeListText("Twin Field South\t05:11:30\t+12:05:00\r\n**** remaining=2\r\n");
  window.logFile = w.files.OpenTextFileForAppending(w.runLogPath());
  float bestScore = 0;
  std::string bestTarget;
  std::int64_t bestTargetstart = -1;
  EXPECT_TRUE(window.selectTarget(bestScore, bestTarget, bestTargetstart));
  EXPECT_EQ(bestTarget, "Twin Field South\t05:11:30\t+12:05:00");
  EXPECT_EQ(bestTargetstart, 0);
  EXPECT_NE(window.ct, nullptr);
  EXPECT_EQ(window.statusText(), "Selecting best target");

  window.quitTime = fromCivil(CivilTime{2024, 3, 10, 12, 45, 0});
  window.settings.lastFocusJD = 0;
  window.updateTarget(bestTarget, bestTargetstart);
  EXPECT_EQ(window.statusText(), "Updating targets file");
  EXPECT_EQ(w.listText(), "Twin Field South\t05:11:30\t+12:05:00\r\n**** remaining=1\r\n");
  EXPECT_EQ(test::readFileBytes(w.planPath()),
            "#QUITAT 2024-03-10 12:45:00\r\n#autofocus\r\nTwin Field South\t05:11:30\t+12:05:00\r\n");
  // SaveConfig ran after the autofocus request: config.ini holds the new time.
  Settings saved;
  loadConfigFile(w.files, w.configPath(), saved);
  EXPECT_NEAR(saved.lastFocusJD, w.clock.julianDateUtc(), 1e-6);
  EXPECT_THAT(w.messages.messages, IsEmpty());
}

TEST_F(FrmMainTargetsTest, SelectionWithoutAnOpenRunLogFails) {
  w.writeListText("A\t1\t2\r\n**** remaining=1\r\n");
  float bestScore = 0;
  std::string bestTarget;
  std::int64_t bestTargetstart = 0;
  EXPECT_THROW(window.selectTarget(bestScore, bestTarget, bestTargetstart), RunTimeError);
}

}  // namespace
}  // namespace np
