// Whole simulated days and nights through the observing loop itself, on the test world's
// services and shared simulated clock: status texts, log lines, the plan, the list and the
// host's state. The user hook stands for the window: it sets the stop flag.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "host/UtcTime.h"
#include "night/ObservingLoop.h"
#include "settings/ConfigFile.h"
#include "support/FaultyFileSystem.h"
#include "support/TestText.h"
#include "support/TestWorld.h"

namespace np::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

double utc(const char* iso) {
  double t = 0;
  EXPECT_TRUE(parseUtcInstant(iso, t));
  return t;
}

// Sets the stop flag once `when` holds (checked at every event processing of the loop).
void stopWhen(TestWorld& w, std::function<bool()> when) {
  w.user = [&w, when, pressed = false]() mutable {
    if (!pressed && w.nightRunning() && when()) {
      pressed = true;
      w.units.stopFlag = true;
    }
  };
}

// The run is over and its log closed.
void expectRunEnded(TestWorld& w) {
  EXPECT_FALSE(w.nightRunning());
  EXPECT_EQ(w.units.log, nullptr);
}

TEST(ObservingLoop, RunsAChosenTargetToItsEndAndLogsEveryStep) {
  TestWorld w("", kNight);
  w.writeListText(kOneTarget);
  bool runningSeen = false;
  w.user = [&] {
    if (!w.nightRunning()) return;
    if (w.host->scriptActive()) runningSeen = true;
    if (runningSeen && !w.host->scriptRunning()) w.units.stopFlag = true;
  };
  w.runNight();
  expectRunEnded(w);
  EXPECT_TRUE(runningSeen);

  auto log = w.runLogLines();
  ASSERT_GE(log.size(), 9u);
  EXPECT_EQ(log[0], std::string(64, '*'));
  EXPECT_EQ(log[1], "**** Searching for new target 2026-12-07 05:00:00");
  EXPECT_EQ(log[2], std::string(64, '*'));
  EXPECT_THAT(log[3], StartsWith("Target: Near Meridian RA=10, DEC=30"));
  EXPECT_THAT(log[4], StartsWith("  Score="));
  EXPECT_THAT(log[5], StartsWith("  >>> New bestscore = "));
  EXPECT_EQ(log[6], "Updating targets file");
  EXPECT_EQ(log[7], "Performing autofocus on this target");
  EXPECT_EQ(log[8], "Remaining count for best target = 0");
  EXPECT_EQ(log[9], "Running ACP plan for selected target:Near Meridian");
  EXPECT_EQ(log.size(), 10u);

  EXPECT_THAT(w.units.statuses, ElementsAre("Selecting best target", "Updating targets file",
                                            "Running ACP plan for selected target: Near Meridian"));
  EXPECT_EQ(w.listText(), "Near Meridian\t10:00:00\t+30:00:00\r\n**** remaining=0\r\n");
  // The host ran the plan named in runplanonce.txt: quit time at the coming dawn (UTC),
  // the autofocus, the group's line.
  std::string plan = readFileBytes(w.planPath());
  EXPECT_THAT(plan, StartsWith("#QUITAT 2026-12-07 12:"));
  EXPECT_THAT(plan, HasSubstr("\r\n#autofocus\r\nNear Meridian\t10:00:00\t+30:00:00\r\n"));
  EXPECT_THAT(w.acquisitionLog(), HasSubstr("\tSTART\t" + w.planPath()));
  EXPECT_THAT(w.acquisitionLog(), HasSubstr("\tEND\tdone"));
  EXPECT_FALSE(std::filesystem::exists(w.hostDir() + "/Plans/runplanonce.txt"));  // taken by the host
}

TEST(ObservingLoop, WaitsForTheHostToBeIdleBeforeAnythingElse) {
  TestWorld w("", kNight);
  w.writeListText(kOneTarget);
  writeFileBytes(w.hostDir() + "/Plans/other.txt", "Other\t10:00:00\t+30:00:00\r\n");
  writeFileBytes(w.hostDir() + "/Plans/runplanonce.txt", w.hostDir() + "/Plans/other.txt\r\n");
  w.util->LoadScript(w.hostDir() + "/Scripts/AcquireImages.js");
  w.util->RunScript();
  w.clock.advance(5);
  ASSERT_TRUE(w.util->ScriptActive());
  bool idleSeen = false;
  w.user = [&] {
    if (!w.nightRunning()) return;
    if (w.host->scriptActive()) {
      EXPECT_EQ(w.status(), "Waiting for ACP");
      EXPECT_FALSE(std::filesystem::exists(w.runLogPath()));
    } else if (!idleSeen) {
      idleSeen = true;
    }
    if (w.status() == "Selecting best target") w.units.stopFlag = true;
  };
  w.runNight();
  EXPECT_TRUE(idleSeen);
  EXPECT_EQ(w.units.statuses.front(), "Waiting for ACP");
  EXPECT_EQ(w.host->runCount(), 1);  // only the other program's run
  expectRunEnded(w);
}

TEST(ObservingLoop, ByDayParksWaitsForDuskUnparksAndSearches) {
  TestWorld w("", kDay);
  w.writeListText(kOneTarget);
  bool parkedDuringWait = true;
  long waitSets = 0;
  w.user = [&] {
    if (!w.nightRunning()) return;
    if (w.status() == "Waiting for Sun to reach an elevation of -18 degrees") {
      ++waitSets;
      parkedDuringWait = parkedDuringWait && w.host->parked();
    }
    if (w.status() == "Selecting best target") w.units.stopFlag = true;
  };
  w.runNight();
  auto log = w.runLogLines();
  ASSERT_GE(log.size(), 2u);
  EXPECT_THAT(log[0], StartsWith("Currently daytime (2026-12-07 13:00:00) - waiting for dusk at 2026-12-07 18:4"));
  EXPECT_EQ(log[1], std::string(64, '*'));
  EXPECT_THAT(log[2], StartsWith("**** Searching for new target 2026-12-07 18:4"));
  EXPECT_TRUE(parkedDuringWait);
  EXPECT_GT(waitSets, 5 * 3600);  // set anew every second for more than five hours
  EXPECT_FALSE(w.host->parked());
  EXPECT_THAT(w.acquisitionLog(), HasSubstr("\tPARK"));
  EXPECT_THAT(w.acquisitionLog(), HasSubstr("\tUNPARK"));
}

TEST(ObservingLoop, StopDuringTheDayWaitUnparksAndEndsTheRun) {
  TestWorld w("", kDay);
  w.writeListText(kOneTarget);
  const double start = w.clock.unixSeconds();
  stopWhen(w, [&] { return w.clock.unixSeconds() >= start + 3600; });
  w.runNight();
  EXPECT_FALSE(w.host->parked());
  EXPECT_LE(w.clock.unixSeconds(), start + 3602);
  expectRunEnded(w);
  EXPECT_EQ(w.runLogLines().size(), 1u);
}

TEST(ObservingLoop, NeverParksAMountThatCannotUnpark) {
  TestWorld w("[mount]\ncan_unpark = false\n", kDay);
  w.writeListText(kOneTarget);
  const double start = w.clock.unixSeconds();
  stopWhen(w, [&] { return w.clock.unixSeconds() >= start + 60; });
  w.runNight();
  EXPECT_FALSE(std::filesystem::exists(w.acquisitionLogPath()) &&
               w.acquisitionLog().find("PARK") != std::string::npos);
}

TEST(ObservingLoop, SleepsFiveMinutesWhenNothingIsViable) {
  TestWorld w("", kNight);
  w.writeListText("Done\t10:00:00\t+30:00:00\r\n**** remaining=0\r\n");
  bool runOnceSeen = false, slept = false;
  w.user = [&] {
    if (!w.nightRunning()) return;
    if (w.status() == "No viable target - sleeping for 5 minutes") {
      slept = true;
      runOnceSeen = runOnceSeen || std::filesystem::exists(w.hostDir() + "/Plans/runplanonce.txt");
    }
    // Stop within the second pass (the run log shows a pass once the pass is over).
    if (slept && w.status() == "Selecting best target") w.units.stopFlag = true;
  };
  w.runNight();
  auto log = w.runLogLines();
  EXPECT_THAT(log, ElementsAre(std::string(64, '*'), "**** Searching for new target 2026-12-07 05:00:00",
                               std::string(64, '*'), "No viable target - sleeping for 5 minutes",
                               std::string(64, '*'), "**** Searching for new target 2026-12-07 05:05:01",
                               std::string(64, '*')));
  EXPECT_FALSE(runOnceSeen);
  EXPECT_EQ(w.host->runCount(), 0);
}

TEST(ObservingLoop, AStopDuringTheSleepEndsTheRunWithinASecond) {
  TestWorld w("", kNight);
  w.writeListText("Done\t10:00:00\t+30:00:00\r\n**** remaining=0\r\n");
  double pressedAt = 0;
  w.user = [&] {
    if (!w.nightRunning() || pressedAt) return;
    if (w.clock.unixSeconds() >= utc(kNight) + 100) {
      pressedAt = w.clock.unixSeconds();
      w.units.stopFlag = true;
    }
  };
  w.runNight();
  EXPECT_LE(w.clock.unixSeconds() - pressedAt, 1.0);
  expectRunEnded(w);
}

TEST(ObservingLoop, WaitsOutUnsafeWeatherThenSearches) {
  TestWorld w("[weather]\nconnected = true\nunsafe = 2026-12-07T11:00:00Z/2026-12-07T12:20:00Z\n", kNight);
  w.writeListText(kOneTarget);
  stopWhen(w, [&] { return w.status() == "Selecting best target"; });
  w.runNight();
  EXPECT_EQ(w.units.statuses.front(), "Waiting for weather to be safe");
  EXPECT_GE(w.units.statusSets, 20 * 60);
  auto log = w.runLogLines();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[1], "**** Searching for new target 2026-12-07 05:20:00");
}

TEST(ObservingLoop, RunsAcrossTwoNightsWithTheCountsGoingDown) {
  TestWorld w("", kNight);
  w.writeListText(
      "Winter Field\t05:30:00\t+20:00:00\r\n**** remaining=100\r\n"
      "Spring Field\t10:00:00\t+30:00:00\r\n**** remaining=100\r\n");
  const double start = w.clock.unixSeconds();
  stopWhen(w, [&] { return w.clock.unixSeconds() >= start + 48 * 3600; });
  w.runNight();
  auto log = w.runLogLines();
  EXPECT_EQ(countPrefix(log, "Currently daytime ("), 2);
  // Plans before the first dawn, during both nights, none by day.
  std::string acq = w.acquisitionLog();
  EXPECT_THAT(acq, HasSubstr("2026-12-07 12:0"));
  EXPECT_THAT(acq, HasSubstr("2026-12-08 05:"));
  EXPECT_THAT(acq, HasSubstr("2026-12-09 05:"));
  long plans = countPrefix(log, "Running ACP plan for selected target:");
  EXPECT_GT(plans, 40);
  EXPECT_EQ(w.host->runCount(), plans);
  std::string t = w.listText();
  // Every plan lowered one of the two counts.
  int a = 0, b = 0;
  ASSERT_EQ(std::sscanf(t.c_str(), "Winter Field\t05:30:00\t+20:00:00\r\n**** remaining=%d\r\n", &a), 1);
  ASSERT_NE(t.find("Spring Field"), std::string::npos);
  ASSERT_EQ(std::sscanf(t.c_str() + t.find("Spring Field"), "Spring Field\t10:00:00\t+30:00:00\r\n**** remaining=%d", &b),
            1);
  EXPECT_EQ((100 - a) + (100 - b), plans);
  EXPECT_LT(a, 100);
  EXPECT_LT(b, 100);
}

TEST(ObservingLoop, GivesUpOnAScriptThatIsNeverSeenRunning) {
  // A plan line the host cannot read: its run ends at once, before it ever shows active.
  TestWorld w("", kNight);
  w.writeListText("not a plan line\r\n" + std::string(kOneTarget));
  stopWhen(w, [&] { return countPrefix(w.runLogLines(), "**** Searching") == 2; });
  w.runNight();
  auto log = w.runLogLines();
  auto it = std::find(log.begin(), log.end(), "Running ACP plan for selected target:Near Meridian");
  ASSERT_NE(it, log.end());
  ASSERT_NE(it + 1, log.end());
  EXPECT_EQ(*(it + 1), "ACP script was not seen running - going on with the next pass");
  EXPECT_EQ(countPrefix(log, "**** Searching"), 2);
}

// The run log is buffered, so a disk that fills up shows at a flush: at the first one of
// the run, or at one hours later. The run ends naming the log; the list has lost exactly
// the counts of the plans the host was given, and config.ini is whole.
TEST(ObservingLoop, ADiskThatFillsUpAtAFlushOfTheRunLogEndsTheRunWithNothingLost) {
  struct Row {
    const char* when;
    int fromFlush;
    int minPlans;
  } const rows[] = {{"the first flush", 1, 1}, {"a flush after some plans", 4000, 2}, {"the second flush", 2, 1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.when);
    TestWorld w("", "2026-12-07T08:00:00Z");  // 01:00 local: hours of night ahead
    w.writeListText("Near Meridian\t06:00:00\t+30:00:00\r\n**** remaining=500\r\n");
    FaultyFileSystem faulty(w.files);
    faulty.failWhere("Flush " + w.runLogPath(), row.fromFlush);
    w.units.files = &faulty;
      stopWhen(w, [&] { return w.clock.unixSeconds() >= utc("2026-12-07T12:40:00Z"); });
    try {
      w.runNight();
      ADD_FAILURE() << "the run ended without the failure";
    } catch (const RunTimeError& e) {
      EXPECT_THAT(e.what(), HasSubstr(w.runLogPath()));
    }
    // A run-time failure: the program ends once it has been reported, with the log closed.
    EXPECT_FALSE(w.nightRunning());
    EXPECT_EQ(w.units.log, nullptr);
    const int plans = w.host->runCount();
    EXPECT_GE(plans, row.minPlans);
    EXPECT_EQ(w.listText(), "Near Meridian\t06:00:00\t+30:00:00\r\n**** remaining=" + std::to_string(500 - plans) + "\r\n");
    EXPECT_FALSE(std::filesystem::exists(w.newListPath()));
    Settings saved;
    loadConfigFile(w.files, w.configPath(), saved);
    EXPECT_EQ(formatConfig(saved), readFileBytes(w.configPath()));
    EXPECT_GT(saved.lastFocusJD, 2461000.0);  // the autofocus of the first plan is kept
    // The log holds what was written before the disk filled, in whole lines.
    const std::string log = w.runLog();
    EXPECT_THAT(log, HasSubstr("Running ACP plan for selected target:Near Meridian"));
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
  }
}

TEST(ObservingLoop, AMissingTargetListEndsTheRunWithTheLogClosedAndNamed) {
  TestWorld w("", kNight);
  try {
    w.runNight();
    FAIL() << "expected a run-time failure";
  } catch (const RunTimeError& e) {
    EXPECT_THAT(e.what(), HasSubstr("targets.txt"));
  }
  EXPECT_EQ(w.units.log, nullptr);
  EXPECT_FALSE(w.nightRunning());
  auto log = w.runLogLines();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_THAT(log[1], StartsWith("**** Searching for new target"));
  EXPECT_FALSE(std::filesystem::exists(w.listPath()));
  EXPECT_FALSE(std::filesystem::exists(w.newListPath()));
}

// The file system of the world with every line written to the run log kept as well.
class RunLogRecorder : public FileSystem {
 public:
  explicit RunLogRecorder(FileSystem& inner) : inner_(inner) {}
  std::vector<std::string> written;  // every line handed to a run-log writer, in order

  std::unique_ptr<TextReader> OpenTextFile(const std::string& p) override { return inner_.OpenTextFile(p); }
  std::unique_ptr<TextWriter> OpenTextFileForAppending(const std::string& p) override {
    return std::make_unique<Writer>(inner_.OpenTextFileForAppending(p), written);
  }
  std::unique_ptr<TextWriter> CreateTextFile(const std::string& p) override { return inner_.CreateTextFile(p); }
  bool FileExists(const std::string& p) noexcept override { return inner_.FileExists(p); }
  bool FolderExists(const std::string& p) noexcept override { return inner_.FolderExists(p); }
  void Remove(const std::string& p) override { inner_.Remove(p); }
  void Move(const std::string& from, const std::string& to) override { inner_.Move(from, to); }
  void Replace(const std::string& from, const std::string& to) override { inner_.Replace(from, to); }
  std::string ResolvedPath(const std::string& p) override { return inner_.ResolvedPath(p); }
  std::unique_ptr<FileLock> LockFolder(const std::string& folder) override { return inner_.LockFolder(folder); }
  std::vector<std::string> FileNames(const std::string& folder) override { return inner_.FileNames(folder); }
  void CreateFolders(const std::string& p) override { inner_.CreateFolders(p); }
  void WriteBinaryFile(const std::string& p, std::string_view bytes) override { inner_.WriteBinaryFile(p, bytes); }
  bool Publish(const std::string& from, const std::string& to) override { return inner_.Publish(from, to); }

 private:
  class Writer : public TextWriter {
   public:
    Writer(std::unique_ptr<TextWriter> inner, std::vector<std::string>& lines)
        : inner_(std::move(inner)), lines_(lines) {}
    void WriteLine(std::string_view text) override {
      inner_->WriteLine(text);
      lines_.emplace_back(text);
    }
    void Flush() override { inner_->Flush(); }
    void Close() override { inner_->Close(); }

   private:
    std::unique_ptr<TextWriter> inner_;
    std::vector<std::string>& lines_;
  };
  FileSystem& inner_;
};

// The run log is buffered, but whenever the run waits (day, weather, no viable target, a
// plan under way) and whenever a message box holds it, the file on disk holds every line
// written so far.
TEST(ObservingLoop, TheRunLogOnDiskIsCompleteWheneverTheRunWaitsOrShowsAMessage) {
  TestWorld w("[weather]\nunsafe = 2026-12-08T03:00:00Z/2026-12-08T04:00:00Z\n", kDay);
  w.writeListText(std::string("Typo\tabc\t+10\r\n**** remaining=3\r\n") + kOneTarget +
                  "Never Up\t12:00:00\t-85:00:00\r\n**** remaining=3\r\n");
  RunLogRecorder recorder(w.files);
  w.units.files = &recorder;
  long long waitsSeen = 0;
  int checked = 0, mismatches = 0;
  const double end = utc("2026-12-08T20:00:00Z");
  auto complete = [&] {
    const std::vector<std::string> onDisk = w.runLogLines();
    return onDisk == recorder.written;
  };
  std::size_t messagesSeen = 0;
  w.user = [&, pressed = false]() mutable {
    if (!w.nightRunning()) return;
    if (w.pump.waits() != waitsSeen) {  // the processing that follows a wait
      waitsSeen = w.pump.waits();
      ++checked;
      if (!complete()) ++mismatches;
    }
    if (!pressed && w.clock.unixSeconds() >= end) {
      pressed = true;
      w.units.stopFlag = true;
    }
  };
  w.messages.onMessage = [&](const std::string&) {
    ++messagesSeen;
    if (!complete()) ++mismatches;
  };
  w.runNight();
  expectRunEnded(w);
  EXPECT_GT(checked, 1000);
  EXPECT_GT(messagesSeen, 0u);
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(w.runLogLines(), recorder.written);
  EXPECT_GT(countPrefix(recorder.written, "Running ACP plan"), 0);
  EXPECT_GT(countPrefix(recorder.written, "Currently daytime"), 0);
}

// A shared list whose store is away from `awayFrom` to `awayTo` (UTC seconds on the world's
// clock); its runs never run out, and every take is kept with its time.
class StoreAwayForAWhile : public ListStore {
 public:
  StoreAwayForAWhile(TestWorld& w, std::string list, double awayFrom, double awayTo)
      : w_(w), list_(std::move(list)), from_(awayFrom), to_(awayTo) {}
  std::string listText() override {
    check();
    return list_;
  }
  std::optional<std::int16_t> takeRun(std::int64_t, std::int64_t unixTime, const std::string&) override {
    check();
    takes.push_back(static_cast<double>(unixTime));
    return 50;
  }
  std::vector<double> takes;

 private:
  void check() {
    const double now = w_.clock.unixSeconds();
    if (now >= from_ && now < to_) throw ListStoreUnavailable("the server is away");
  }
  TestWorld& w_;
  std::string list_;
  double from_, to_;
};

// The list's store goes away at 06:10 and comes back at 07:00, in rain from 06:30 to 07:30:
// the telescope is parked for the wait, the rain's half hour of it is the weather's on the
// status line, and nothing is taken or opened until the rain has stopped.
TEST(ObservingLoop, AWaitForTheSharedListSecuresAndLeavesTheRainItsOwn) {
  TestWorld w("[weather]\nconnected = true\nunsafe = 2026-12-07T06:30:00Z/2026-12-07T07:30:00Z\n", "2026-12-07T06:00:00Z");
  const std::string list = "Winter Field\t05:30:00\t+20:00:00\r\n**** remaining=100\r\n";
  w.writeListText(list);
  StoreAwayForAWhile store(w, list, utc("2026-12-07T06:10:00Z"), utc("2026-12-07T07:00:00Z"));
  w.listStore = &store;
  std::vector<std::pair<double, std::string>> statuses;
  bool parkedAway = false, parkedInRainAfter = true, openAfterRain = false;
  w.user = [&] {
    if (!w.nightRunning()) return;
    const double now = w.clock.unixSeconds();
    if (statuses.empty() || statuses.back().second != w.status()) statuses.emplace_back(now, w.status());
    if (now >= utc("2026-12-07T06:25:00Z") && now < utc("2026-12-07T06:26:00Z")) parkedAway = w.host->parked();
    if (now >= utc("2026-12-07T07:20:00Z") && now < utc("2026-12-07T07:21:00Z"))
      parkedInRainAfter = w.host->parked();
    if (now >= utc("2026-12-07T07:45:00Z")) {
      openAfterRain = !w.host->parked();
      w.units.stopFlag = true;
    }
  };
  w.runNight();

  EXPECT_TRUE(parkedAway);
  EXPECT_TRUE(parkedInRainAfter);
  EXPECT_TRUE(openAfterRain);
  // Taken before the store went away and again after the rain, never in between.
  ASSERT_FALSE(store.takes.empty());
  EXPECT_LT(store.takes.front(), utc("2026-12-07T06:10:00Z"));
  for (double t : store.takes)
    EXPECT_TRUE(t < utc("2026-12-07T06:10:00Z") || t >= utc("2026-12-07T07:30:00Z")) << t;
  EXPECT_GE(store.takes.back(), utc("2026-12-07T07:30:00Z"));
  // The status line: the store's wait until the rain, the weather's from then on.
  auto statusAt = [&](const char* iso) {
    std::string text;
    for (const auto& [t, s] : statuses)
      if (t <= utc(iso)) text = s;
    return text;
  };
  EXPECT_EQ(statusAt("2026-12-07T06:20:00Z"), "Waiting for the list's database: the server is away");
  EXPECT_EQ(statusAt("2026-12-07T06:45:00Z"), "Waiting for weather to be safe");
  EXPECT_EQ(statusAt("2026-12-07T07:15:00Z"), "Waiting for weather to be safe");
  const std::vector<std::string> log = w.runLogLines();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Waiting for the list's database: the server is away"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "The list's database can be reached again"), 1);
}

}  // namespace
}  // namespace np::test
