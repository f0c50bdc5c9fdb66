// The main window's target-list methods on its own state, against the simulated observatory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/FrmMain.h"
#include "support/RecordingMessageSink.h"
#include "host/ErfaEphemeris.h"
#include "settings/ConfigFile.h"
#include "support/SimFixture.h"
#include "targets/HostFakes.h"

namespace np {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FrmMainTargetsTest : public ::testing::Test {
 protected:
  FrmMainTargetsTest()
      : programDir(sim.dir.file("program") + "/"),
        platform{*sim.host, ephemeris, files, sim.clock, messages, events, NumberLocale{}, programDir + "nightpick"},
        window(platform) {
    std::filesystem::create_directories(programDir);
    window.Form_Load();
  }

  void writeList(const std::string& text) { test::writeFileBytes(programDir + "targets.txt", text); }

  test::SimFixture sim;
  std::string programDir;
  LocalFileSystem files;
  ErfaEphemerisFactory ephemeris;
  RecordingMessageSink messages;
  testing::ScriptedEvents events;
  Platform platform;
  frmMain window;
};

TEST_F(FrmMainTargetsTest, ParseTargetConfigTellsWhetherTheCountWasRead) {
  std::int16_t remaining = 9;
  EXPECT_TRUE(window.parseTargetConfig("**** remaining=4", remaining));
  EXPECT_EQ(remaining, 4);
  EXPECT_TRUE(window.parseTargetConfig("****", remaining));
  EXPECT_EQ(remaining, 0);
  EXPECT_FALSE(window.parseTargetConfig("**** remaining=four", remaining));
  EXPECT_EQ(remaining, 0);
  EXPECT_THAT(messages.messages,
              ElementsAre("Invalid remaining count in target delimiter line '**** remaining=four'"));
}

TEST_F(FrmMainTargetsTest, SelectAndUpdateWorkOnTheWindowsState) {
  writeList("Twin Field South\t05:11:30\t+12:05:00\r\n**** remaining=2\r\n");
  window.logFile = files.OpenTextFileForAppending(sim.host->logDir() + "/Nightpick.log");
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
  EXPECT_EQ(test::readFileBytes(programDir + "targets.txt"),
            "Twin Field South\t05:11:30\t+12:05:00\r\n**** remaining=1\r\n");
  EXPECT_EQ(test::readFileBytes(sim.host->planDir() + "/nightpickplan.txt"),
            "#QUITAT 2024-03-10 12:45:00\r\n#autofocus\r\nTwin Field South\t05:11:30\t+12:05:00\r\n");
  // SaveConfig ran after the autofocus request: config.ini holds the new time.
  Settings saved;
  loadConfigFile(files, programDir + "config.ini", saved);
  EXPECT_NEAR(saved.lastFocusJD, sim.clock.julianDateUtc(), 1e-6);
  EXPECT_THAT(messages.messages, IsEmpty());
}

TEST_F(FrmMainTargetsTest, SelectionWithoutAnOpenRunLogFails) {
  writeList("A\t1\t2\r\n**** remaining=1\r\n");
  float bestScore = 0;
  std::string bestTarget;
  std::int64_t bestTargetstart = 0;
  EXPECT_THROW(window.selectTarget(bestScore, bestTarget, bestTargetstart), RunTimeError);
}

}  // namespace
}  // namespace np
