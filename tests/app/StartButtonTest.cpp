// The start button's handler around the observing loop: the window's buttons and status
// during a run and after it, the stop buttons and the window's close during a run, and
// what the window reports once the run has ended. The loop itself: tests/night.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "host/HostMembers.h"
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

// A folder that a run writes in but cannot (a program under Program Files, a folder of
// another user) is named when Start is pressed, in daylight, and the run does not start:
// no plan, no count, no run log. The window says so already when it loads, for the
// program folder (config.ini). The check leaves no file behind.
TEST(StartButton, AFolderThatCannotBeWrittenIsNamedAtStartAndTheRunDoesNotStart) {
  struct Case {
    const char* what;
    std::function<std::string(TestWorld&)> folder;
  };
  const Case cases[] = {
      {"its program folder (config.ini and the target list)", [](TestWorld& w) { return w.programDir(); }},
      {"the host's plan folder", [](TestWorld& w) { return w.host->planDir(); }},
      {"the host's log folder", [](TestWorld& w) { return w.host->logDir(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestWorld w("", kNight);
    w.writeListText(kOneTarget);
    const std::string before = w.listText();
    FaultyFileSystem faulty(w.files);
    faulty.failWhere("CreateTextFile " + joinPath(c.folder(w), "nightpick-write-check."));
    w.wireMain(*w.host, faulty);
    w.main->Form_Load();
    const bool programFolder = std::string(c.what).find("program") != std::string::npos;
    ASSERT_EQ(w.messages.messages.size(), programFolder ? 1u : 0u);
    if (programFolder) {
      EXPECT_THAT(w.messages.messages[0], HasSubstr("Nightpick cannot write in its program folder"));
    }
    w.main->StartButton_Click();
    ASSERT_FALSE(w.messages.messages.empty());
    EXPECT_THAT(w.messages.messages.back(), StartsWith("Nightpick cannot start: it cannot write in " + std::string(c.what) + " " +
                                              c.folder(w) + ". "));
    expectStopped(w);
    EXPECT_FALSE(w.main->startRefused());
    EXPECT_EQ(w.listText(), before);
    EXPECT_FALSE(std::filesystem::exists(w.runLogPath()));
    EXPECT_EQ(w.host->runCount(), 0);
    // Once the folder takes files again, Start runs, and no probe is left anywhere.
    faulty.failNever();
    stopWhen(w, [&] { return countPrefix(w.runLogLines(), "**** Searching") == 1; });
    w.main->StartButton_Click();
    EXPECT_TRUE(std::filesystem::exists(w.runLogPath()));
    for (const std::string& folder : {w.programDir(), w.host->planDir(), w.host->logDir()})
      for (const auto& entry : std::filesystem::directory_iterator(folder))
        EXPECT_THAT(entry.path().filename().string(), ::testing::Not(HasSubstr("nightpick-write-check")));
  }
}

// A host's plan folder that is no folder (gone, or a file in its place) is named at Start
// like one that cannot be written: the window stays, stopped, instead of the folder's lock
// ending the program with a run-time error.
TEST(StartButton, APlanFolderThatIsNoFolderIsNamedAtStartAndTheWindowStays) {
  TestWorld w("", kNight);
  w.writeListText(kOneTarget);
  const std::string before = w.listText();
  const std::string plans = w.host->planDir();
  std::filesystem::remove_all(plans);
  test::writeFileBytes(plans, "not a folder");
  w.main->Form_Load();
  EXPECT_NO_THROW(w.main->StartButton_Click());
  ASSERT_FALSE(w.messages.messages.empty());
  EXPECT_THAT(w.messages.messages.back(), StartsWith("Nightpick cannot start: it cannot write in the host's plan folder " +
                                                     withoutSeparator(plans) + ". "));
  expectStopped(w);
  EXPECT_FALSE(w.main->startRefused());
  EXPECT_EQ(w.listText(), before);
  EXPECT_FALSE(std::filesystem::exists(w.runLogPath()));
  EXPECT_EQ(test::readFileBytes(plans), "not a folder");
}

// A run-time failure in the middle of a run (here the plan cannot be written; a host that
// went away fails alike) is reported over a window that is back in its stopped state, and
// the list is whole.
TEST(StartButton, ARunTimeFailureIsReportedOverTheStoppedWindow) {
  TestWorld w("", kNight);
  w.writeListText(kOneTarget);
  const std::string before = w.listText();
  FaultyFileSystem faulty(w.files);
  faulty.failWhere("CreateTextFile " + w.planPath());
  w.wireMain(*w.host, faulty);
  w.main->Form_Load();
  EXPECT_THROW(w.main->StartButton_Click(), RunTimeError);
  expectStopped(w);
  EXPECT_EQ(w.listText(), before);
}

// A host that keeps its observatory, over the world's simulated one: it records every
// securing it is asked for, and says that a plan could not run as written when the plan
// asks for the filter Z.
class KeeperHost : public IHostFactory {
 public:
  explicit KeeperHost(TestWorld& w) : w_(w) {}
  std::unique_ptr<IUtil> createUtil() override { return std::make_unique<Util>(w_.host->createUtil(), w_); }
  std::unique_ptr<ITelescope> createTelescope() override { return w_.host->createTelescope(); }
  std::unique_ptr<IApplication> createApplication() override { return w_.host->createApplication(); }
  SecuringOutcome secureObservatory(const std::string& why) override {
    secured.push_back(why);
    EXPECT_TRUE(w_.main->running());  // before the window shows the run ended
    return {};
  }
  std::vector<std::string> secured;

 private:
  class Util : public IUtil {
   public:
    Util(std::unique_ptr<IUtil> inner, TestWorld& w) : inner_(std::move(inner)), w_(w) {}
#define NP_FORWARD(object, key, member, automation, kind, result, parameters, arguments) \
  result member parameters override { return inner_->member arguments; }
    NP_HOST_UTIL(NP_FORWARD)
#undef NP_FORWARD
    std::string LastPlanError() override {
      const std::string plan = readFileBytes(w_.planPath());
      return plan.find("#FILTER Z") == std::string::npos ? "" : "plan line 2: the wheel has no filter named 'Z'";
    }

   private:
    std::unique_ptr<IUtil> inner_;
    TestWorld& w_;
  };
  TestWorld& w_;
};

// The observatory is secured at every end of a run, before the window shows it stopped; a
// plan the host cannot run as written passes its group over for the rest of the run after
// one count, and the night goes on with the others.
TEST(StartButton, EveryEndSecuresAndAPlanThatCannotRunPassesItsGroupOver) {
  TestWorld w("", kNight);
  w.writeListText("#FILTER Z\r\nNear Meridian\t10:00:00\t+30:00:00\r\n**** remaining=5\r\n"
                  "Also Near\t10:10:00\t+30:00:00\r\n**** remaining=1\r\n");
  KeeperHost keeper(w);
  w.wireMain(keeper, w.files);
  w.main->Form_Load();
  stopWhen(w, [&] { return w.main->statusText() == "No viable target - sleeping for 5 minutes"; });
  w.main->StartButton_Click();
  expectStopped(w);
  EXPECT_THAT(keeper.secured, ElementsAre("the run was stopped"));
  EXPECT_EQ(w.listText(), "#FILTER Z\r\nNear Meridian\t10:00:00\t+30:00:00\r\n**** remaining=4\r\n"
                          "Also Near\t10:10:00\t+30:00:00\r\n**** remaining=0\r\n");
  const std::string passedOver = "Passed over for the rest of this run: Near Meridian (the group on line 1 of "
                                 "targets.txt): its plan cannot run as written: plan line 2: the wheel has no filter "
                                 "named 'Z'";
  EXPECT_THAT(w.messages.messages, ElementsAre(passedOver));
  const auto log = w.runLogLines();
  EXPECT_EQ(std::count(log.begin(), log.end(), passedOver), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "Running ACP plan for selected target:Near Meridian"), 1);

  // A run-time failure secures too.
  w.writeListText(kOneTarget);
  FaultyFileSystem faulty(w.files);
  faulty.failWhere("CreateTextFile " + w.planPath());
  w.wireMain(keeper, faulty);
  w.main->Form_Load();
  EXPECT_THROW(w.main->StartButton_Click(), RunTimeError);
  ASSERT_EQ(keeper.secured.size(), 2u);
  EXPECT_THAT(keeper.secured[1], StartsWith("a run-time failure: "));
}

}  // namespace
}  // namespace np::test
