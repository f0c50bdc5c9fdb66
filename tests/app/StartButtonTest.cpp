// The start button's handler around the observing loop: the window's buttons and status
// during a run and after it, the stop buttons and the window's close during a run, and
// what the window reports once the run has ended. The loop itself: tests/night.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/TestText.h"
#include "support/TestWorld.h"
#include "support/FaultyFileSystem.h"

namespace np::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// Presses Stop once `when` holds (checked at every event processing of the loop).
void stopWhen(TestWorld& w, std::function<bool()> when) {
  w.user = [&w, when, pressed = false]() mutable {
    if (!pressed && w.main->running() && when()) {
      pressed = true;
      w.main->StopButton_Click();
    }
  };
}

void expectStopped(TestWorld& w) {
  EXPECT_EQ(w.main->statusText(), "Nightpick stopped");
  EXPECT_TRUE(w.main->startEnabled());
  EXPECT_FALSE(w.main->stopEnabled());
  EXPECT_FALSE(w.main->stopAndAbortEnabled());
  EXPECT_FALSE(w.main->running());
  EXPECT_EQ(w.main->logFile, nullptr);
}

TEST(StartButton, RunsTheLoopWithTheStopButtonsEnabledAndRestoresTheStoppedWindow) {
  TestWorld w("", kNight);
  w.writeListText(kOneTarget);
  w.main->Form_Load();
  bool runningSeen = false;
  w.user = [&] {
    if (!w.main->running()) return;
    if (w.main->running()) {
      EXPECT_FALSE(w.main->startEnabled());
      EXPECT_TRUE(w.main->stopEnabled());
      EXPECT_TRUE(w.main->stopAndAbortEnabled());
    }
    if (w.host->scriptActive()) runningSeen = true;
    if (runningSeen && !w.host->scriptRunning()) w.main->StopButton_Click();
  };
  w.main->StartButton_Click();
  expectStopped(w);
  EXPECT_TRUE(runningSeen);

  EXPECT_THAT(w.view.statuses, ElementsAre("Selecting best target", "Updating targets file",
                                           "Running ACP plan for selected target: Near Meridian",
                                           "Nightpick stopping", "Nightpick stopped"));
  EXPECT_EQ(w.listText(), "Near Meridian\t10:00:00\t+30:00:00\r\n**** remaining=0\r\n");
}

TEST(StartButton, AStopDuringAPlanLeavesTheHostScriptRunning) {
  TestWorld w("", kNight);
  w.writeListText(kOneTarget);
  w.main->Form_Load();
  stopWhen(w, [&] { return w.host->scriptActive(); });
  w.main->StartButton_Click();
  expectStopped(w);
  EXPECT_TRUE(w.main->util->ScriptActive());
  EXPECT_EQ(w.runLogLines().back(), "Running ACP plan for selected target:Near Meridian");
  EXPECT_EQ(w.listText(), "Near Meridian\t10:00:00\t+30:00:00\r\n**** remaining=0\r\n");  // the run counts
}

TEST(StartButton, StopAndAbortDuringAPlanAbortsTheHostScript) {
  TestWorld w("", kNight);
  w.writeListText(kOneTarget);
  w.main->Form_Load();
  w.user = [&] {
    if (w.main->running() && !w.main->stopFlag && w.host->scriptActive()) w.main->StopAndAbortButton_Click();
  };
  w.main->StartButton_Click();
  expectStopped(w);
  EXPECT_FALSE(w.main->util->ScriptActive());
  EXPECT_THAT(w.acquisitionLog(), HasSubstr("\tEND\taborted"));
}

TEST(StartButton, ClosingTheWindowDuringAWaitEndsTheRunAndSaves) {
  TestWorld w("", kDay);
  w.writeListText(kOneTarget);
  w.main->Form_Load();
  const double start = w.clock.unixSeconds();
  w.user = [&] {
    if (w.main->running() && !w.main->stopFlag && w.clock.unixSeconds() > start + 600) w.main->Form_Unload();
  };
  w.main->StartButton_Click();
  expectStopped(w);
  EXPECT_EQ(w.view.unloads, 1);
  EXPECT_TRUE(std::filesystem::exists(w.configPath()));
  EXPECT_FALSE(w.host->parked());
  EXPECT_LE(w.clock.unixSeconds(), start + 602);
}

TEST(StartButton, AnUnreachableDuskElevationEndsTheRunWithAMessage) {
  TestWorld w("", kNight);
  w.writeListText(kOneTarget);
  writeFileBytes(w.configPath(),
                 "lastFocusJD,0\r\nfocusInterval,30\r\nbaseDir,x\r\nmaxElevation,90\r\nminAzimuth,0\r\n"
                 "maxAzimuth,360\r\nsunElev,-95\r\n");
  w.main->Form_Load();
  w.main->StartButton_Click();
  expectStopped(w);
  ASSERT_EQ(w.messages.messages.size(), 1u);
  EXPECT_THAT(w.messages.messages[0], HasSubstr("-95"));
  auto log = w.runLogLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_THAT(log[0], HasSubstr("-95"));
}

// A run log that cannot be closed (a full disk) is reported after the window is back in
// its stopped state, so a new run can be started.
TEST(StartButton, ALogThatCannotBeClosedIsReportedAfterTheRunHasEnded) {
  TestWorld w("", kNight);
  w.writeListText(kOneTarget);
  FaultyFileSystem faulty(w.files);
  faulty.failWhere("Close " + w.runLogPath());
  w.wireMain(*w.host, faulty);
  w.main->Form_Load();
  stopWhen(w, [&] { return countPrefix(w.runLogLines(), "**** Searching") == 1; });
  EXPECT_THROW(w.main->StartButton_Click(), RunTimeError);
  expectStopped(w);
  // Nothing of the folders is held: the next run starts.
  faulty.failNever();
  stopWhen(w, [&] { return countPrefix(w.runLogLines(), "**** Searching") == 2; });
  w.main->StartButton_Click();
  expectStopped(w);
}

}  // namespace
}  // namespace np::test
