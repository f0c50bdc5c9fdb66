// The main window's logic without a window: load, the stopped state, the stop buttons
// against the simulated observatory, About, the preferences exchange and the close.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "support/TestText.h"
#include "support/TestWorld.h"
#include "base/TempName.h"
#include "host/UtcTime.h"

namespace np::test {
namespace {

using ::testing::HasSubstr;

const std::string& kDefaultConfig = kDefaultConfigText;

// 05:00 local at the default site.
const char kStart[] = "2026-12-07T12:00:00Z";

TEST(MainWindow, StartsStoppedWithDefaultsAndWritesNothingAtLoad) {
  TestWorld w("", kStart);
  w.main->Form_Load();
  EXPECT_EQ(w.main->statusText(), "Nightpick stopped");
  EXPECT_TRUE(w.main->startEnabled());
  EXPECT_FALSE(w.main->stopEnabled());
  EXPECT_FALSE(w.main->stopAndAbortEnabled());
  EXPECT_FALSE(w.main->stopFlag);
  EXPECT_EQ(w.main->settings, Settings{});
  EXPECT_TRUE(w.main->util && w.main->telescope && w.main->acpApp && w.main->fPrefsForm && w.main->fso);
  EXPECT_FALSE(std::filesystem::exists(w.configPath()));
}

TEST(MainWindow, LoadReadsTheProgramFoldersConfig) {
  TestWorld w("", kStart);
  writeFileBytes(w.configPath(),
                 "lastFocusJD,2459000.5\r\nfocusInterval,45\r\nbaseDir,D:\\x\\\r\nmaxElevation,75.5\r\n"
                 "minAzimuth,10\r\nmaxAzimuth,350\r\nsunElev,-12.5\r\n");
  w.main->Form_Load();
  EXPECT_EQ(w.main->settings.lastFocusJD, 2459000.5);
  EXPECT_EQ(w.main->settings.focusInterval, 45);
  EXPECT_EQ(w.main->settings.baseDir, "D:\\x\\");
  EXPECT_EQ(w.main->settings.maxElevation, 75.5f);
  EXPECT_EQ(w.main->settings.sunElev, -12.5f);
}

TEST(MainWindow, StopButtonOnlySetsTheFlagAndTheStatus) {
  TestWorld w("", kStart);
  w.main->Form_Load();
  int changes = w.view.buttonChanges;
  w.main->StopButton_Click();
  EXPECT_TRUE(w.main->stopFlag);
  EXPECT_EQ(w.main->statusText(), "Nightpick stopping");
  EXPECT_EQ(w.view.buttonChanges, changes);
  EXPECT_TRUE(w.main->startEnabled());
  EXPECT_FALSE(w.main->stopEnabled());
  EXPECT_EQ(w.host->runCount(), 0);
}

TEST(MainWindow, StopAndAbortWithoutAScriptTouchesNothingElse) {
  TestWorld w("", kStart);
  w.main->Form_Load();
  w.main->StopAndAbortButton_Click();
  EXPECT_TRUE(w.main->stopFlag);
  EXPECT_EQ(w.main->statusText(), "Nightpick and ACP stopping");
  EXPECT_TRUE(w.main->startEnabled());
  EXPECT_FALSE(std::filesystem::exists(w.acquisitionLogPath()));
}

TEST(MainWindow, StopAndAbortAbortsARunningScript) {
  TestWorld w("", kStart);
  w.main->Form_Load();
  ASSERT_TRUE(w.startHostScript("Far\t10:00:00\t+30:00:00\r\n"));
  w.main->StopAndAbortButton_Click();
  EXPECT_EQ(w.main->statusText(), "Nightpick and ACP stopping");
  EXPECT_FALSE(w.main->util->ScriptActive());
  EXPECT_THAT(w.acquisitionLog(), HasSubstr("\tEND\taborted"));
}

TEST(MainWindow, StopWithAScriptRunningLeavesItRunning) {
  TestWorld w("", kStart);
  w.main->Form_Load();
  ASSERT_TRUE(w.startHostScript("Far\t10:00:00\t+30:00:00\r\n"));
  w.main->StopButton_Click();
  EXPECT_TRUE(w.main->util->ScriptActive());
}

TEST(MainWindow, AboutShowsNameCreditAndTheBuildsVersion) {
  TestWorld w("", kStart);
  w.main->Form_Load();
  w.main->About_Click();
  ASSERT_EQ(w.messages.messages.size(), 1u);
  const std::string& text = w.messages.messages[0];
  EXPECT_EQ(text, w.main->aboutText());
  EXPECT_EQ(text.rfind("Nightpick", 0), 0u);
  EXPECT_THAT(text, ::testing::EndsWith(" - Version 1.3.0"));
  EXPECT_GT(text.size(), std::string("Nightpick - Version 1.3.0").size());  // a credit line
}

TEST(MainWindow, CloseSavesTheSettingsRaisesStopAndUnloadsTheOtherWindows) {
  TestWorld w("", kStart);
  w.main->Form_Load();
  w.main->Form_Unload();
  EXPECT_EQ(readFileBytes(w.configPath()), kDefaultConfig);
  EXPECT_TRUE(w.main->stopFlag);
  EXPECT_EQ(w.view.unloads, 1);
}

// A settings save killed half-way leaves its temporary file; the next run, once it holds
// the folder, removes it. A start refused by the lock touches nothing, and the temporary
// file of a process that still runs is never removed.
TEST(MainWindow, StartRemovesTheFilesOfKilledSettingsSavesOnceItHoldsTheFolder) {
  TestWorld w("", kStart);
  w.writeList({"Near Meridian\t10:00:00\t+30:00:00", "**** remaining=1"});
  const std::string stray = w.configPath() + ".4000000000-1.tmp";  // no process has that id
  const std::string live = w.configPath() + "." + std::to_string(currentProcessId()) + "-99.tmp";
  writeFileBytes(stray, "lastFocusJD,2459000.5\r\n");
  writeFileBytes(live, "lastFocusJD,1\r\n");
  w.main->Form_Load();
  w.user = [&] {
    if (w.main->running()) w.main->StopButton_Click();
  };
  {
    auto other = w.files.LockFolder(w.programDir());  // another copy runs on the folder
    ASSERT_NE(other, nullptr);
    w.main->StartButton_Click();
    EXPECT_TRUE(w.main->startRefused());
    ASSERT_EQ(w.messages.messages.size(), 1u);
    EXPECT_THAT(w.messages.messages[0], HasSubstr("is already running on this folder"));
    EXPECT_TRUE(std::filesystem::exists(stray));
  }
  w.main->StartButton_Click();
  EXPECT_FALSE(w.main->startRefused());
  EXPECT_FALSE(std::filesystem::exists(stray));
  EXPECT_TRUE(std::filesystem::exists(live));
  EXPECT_EQ(w.messages.messages.size(), 1u);
}

TEST(MainWindow, PreferencesTakeBackTheDialogsValuesAndSaveHoweverItCloses) {
  TestWorld w("", kStart);
  w.main->Form_Load();
  // Cancelled: the values passed in come back; the file is written all the same.
  w.view.onPrefs = [](frmPrefs& p) { EXPECT_EQ(p.getFocusInterval(), 30); };
  w.main->PrefsButton_Click();
  EXPECT_EQ(w.main->settings, Settings{});
  EXPECT_EQ(readFileBytes(w.configPath()), kDefaultConfig);
  // Confirmed: the five editable settings change, the other two stay.
  w.view.onPrefs = [](frmPrefs& p) {
    EXPECT_EQ(p.getSunElev(), -18.0f);
    p.setFocusInterval(45);
    p.setMaxElevation(75.5f);
    p.setMinAzimuth(300);
    p.setMaxAzimuth(60);
    p.setSunElev(-12);
  };
  w.main->PrefsButton_Click();
  EXPECT_EQ(w.main->settings.focusInterval, 45);
  EXPECT_EQ(w.main->settings.minAzimuth, 300.0f);
  EXPECT_EQ(readFileBytes(w.configPath()),
            "lastFocusJD,0\r\nfocusInterval,45\r\nbaseDir,C:\\Astronomy\\Nightpick\\\r\nmaxElevation,75.5\r\n"
            "minAzimuth,300\r\nmaxAzimuth,60\r\nsunElev,-12\r\n");
}

class FailingHost : public IHostFactory {
 public:
  std::unique_ptr<IUtil> createUtil() override { throw RunTimeError("createUtil: the host is not installed"); }
  std::unique_ptr<ITelescope> createTelescope() override { return nullptr; }
  std::unique_ptr<IApplication> createApplication() override { return nullptr; }
};

TEST(MainWindow, LoadFailsWhenTheHostObjectsCannotBeCreated) {
  TestWorld w("", kStart);
  FailingHost host;
  w.wireMain(host, w.files);
  EXPECT_THROW(w.main->Form_Load(), RunTimeError);
}

TEST(ProgramFolder, EndsInExactlyOneSeparator) {
  struct Case {
    const char* exe;
    const char* folder;
  } const cases[] = {
#ifdef _WIN32
      {"C:\\Program Files\\Nightpick\\nightpick.exe", "C:\\Program Files\\Nightpick\\"},
      {"C:/Nightpick/nightpick.exe", "C:/Nightpick\\"},
      {"C:\\nightpick.exe", "C:\\"},
      {"\\\\server\\share\\nightpick.exe", "\\\\server\\share\\"},
      {"nightpick.exe", ".\\"},
      {"bin\\nightpick.exe", "bin\\"},
#else
      {"/opt/nightpick/bin/nightpick", "/opt/nightpick/bin/"},
      {"/nightpick", "/"},
      {"nightpick", "./"},
      {"bin/nightpick", "bin/"},
#endif
  };
  for (const auto& c : cases) EXPECT_EQ(programFolderOf(c.exe), c.folder) << c.exe;
}

TEST(ProgramFolder, GetEXEPathIsTheExecutablesFolder) {
  TestWorld w("", kStart);
  EXPECT_EQ(w.main->GetEXEPath(), w.dir.path() + kPathSeparator);
}

TEST(ProgramFolder, FileExistsOnlyForFilesAndNeverThrows) {
  TempDir d;
  writeFileBytes(d.file("a.txt"), "x");
  std::filesystem::create_directory(d.file("sub"));
  EXPECT_TRUE(fileExistsAt(d.file("a.txt")));
  EXPECT_FALSE(fileExistsAt(d.file("sub")));
  EXPECT_FALSE(fileExistsAt(d.file("missing")));
  EXPECT_FALSE(fileExistsAt(""));
  EXPECT_FALSE(fileExistsAt(d.file("a.txt/inner")));
  EXPECT_FALSE(fileExistsAt(std::string(5000, 'x')));
}

}  // namespace
}  // namespace np::test
