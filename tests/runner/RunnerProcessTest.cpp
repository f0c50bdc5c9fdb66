// nightpick-sim as separate processes on one program folder: a second copy must not start
// while a first one runs there, and a copy killed at any instant leaves the target list
// whole (the old list or the new one) and no lock behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "support/ProgramProcess.h"
#include "RunnerPath.h"
#include "support/TestWorld.h"
#include "support/TestText.h"

namespace np {
namespace {

using test::TestWorld;
using ::testing::HasSubstr;

using test::runnerPath;
using test::waitForText;

// nightpick-sim started in the background, its output in files of the folder.
class RunnerProcess : public test::ProgramProcess {
 public:
  RunnerProcess(const std::vector<std::string>& arguments, const std::string& outPath)
      : ProgramProcess(runnerPath(), arguments, outPath) {}
};

class RunnerProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    if (runnerPath().empty() || !std::filesystem::exists(runnerPath())) GTEST_SKIP() << "nightpick-sim is not built (GUI build off)";
  }
  TestWorld f;
};

std::uintmax_t sizeOf(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  return ec ? 0 : size;
}

// Waits until the file has grown past `size` (at most about ten seconds).
bool waitForGrowth(const std::string& path, std::uintmax_t size) {
  for (int i = 0; i < 2000 && sizeOf(path) <= size; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return sizeOf(path) > size;
}

TEST_F(RunnerProcesses, ASecondCopyOnTheSameFolderDoesNotStart) {
  f.writeList({"Field\t06:00:00\t+20:00:00", "**** remaining=30000"});
  const std::string firstOut = f.dir.file("first.txt");
  RunnerProcess first({"--program-dir", f.programDir(), "--start", "2026-12-08T08:00:00Z", "--hours", "1000000"},
                      firstOut);
  ASSERT_TRUE(waitForText(f.runLogPath(), "Running ACP plan")) << test::readFileBytes(firstOut + ".err");

  // The same program folder, and another program folder on the same host.
  TestWorld other;
  other.writeList({"Field\t06:00:00\t+20:00:00", "**** remaining=5"});
  const std::vector<std::string> programDirs = {f.programDir(), other.programDir()};
  for (const std::string& dir : programDirs) {
    SCOPED_TRACE(dir);
    const std::string out = other.dir.file("second.txt");
    RunnerProcess second({"--program-dir", dir, "--host-dir", f.hostDir(), "--hours", "1"}, out);
    EXPECT_NE(second.wait(), 0) << "the first copy: " << test::readFileBytes(firstOut + ".err");
    EXPECT_THAT(test::readFileBytes(out + ".err"), HasSubstr("is already running on this folder"));
  }
  EXPECT_EQ(test::readFileBytes(other.listPath()), test::crlf({"Field\t06:00:00\t+20:00:00", "**** remaining=5"}));

  // Once the first copy has gone, however it went, the folder is free again.
  first.kill();
  RunnerProcess again({"--program-dir", f.programDir(), "--start", "2026-12-08T08:00:00Z", "--hours", "1"},
                      f.dir.file("again.txt"));
  EXPECT_EQ(again.wait(), 0) << test::readFileBytes(f.dir.file("again.txt.err"));
}

// Kills the runner at random instants of a night of many short plans over a long list:
// targets.txt is always a complete list, the original with some counts lowered. The
// instants spread over a few plans' time, as measured on this machine and build. The run
// log loses at most the pass under way to each kill.
TEST_F(RunnerProcesses, AKillAtAnyInstantLeavesTheListWhole) {
  std::vector<std::string> original;
  for (int i = 0; i < 500; ++i) {
    original.push_back("#COUNT 1");
    original.push_back("Field " + std::to_string(i) + "\t" + std::to_string(i % 24) + ":30:00\t+" +
                       std::to_string(10 + i % 60) + ":00:00");
    original.push_back("**** remaining=1000");
  }
  f.writeList(original);
  f.writeIni("[acquisition]\nstart_delay = 1\noverhead = 1\ninterval = 1\n");
  const std::vector<std::string> night = {"--program-dir", f.programDir(), "--start", "2026-12-08T08:00:00Z",
                                          "--hours", "8"};
  std::vector<std::string> fivePlans = night;
  fivePlans.insert(fivePlans.end(), {"--stop-after-plans", "5"});
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(RunnerProcess(fivePlans, f.dir.file("out.txt")).wait(), 0);
  const auto planMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0) / 5;
  int lowered = 1000 * 500;
  for (const std::string& l : test::splitLines(test::readFileBytes(f.listPath())))
    if (l.rfind("**** remaining=", 0) == 0) lowered -= std::stoi(l.substr(15));
  ASSERT_GE(lowered, 5);
  const int first = lowered;
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> delayMs(0, static_cast<int>(4 * planMs.count()) + 1);
  for (int kill = 0; kill < 20; ++kill) {
    const std::string out = f.dir.file("out.txt");
    std::filesystem::remove(out);
    const std::uintmax_t logSize = sizeOf(f.runLogPath());
    RunnerProcess runner(night, out);
    ASSERT_TRUE(waitForGrowth(f.runLogPath(), logSize)) << test::readFileBytes(out + ".err");
    // Into the night's passes (however loaded the machine is), then a random instant.
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
    runner.kill();

    const std::vector<std::string> now = test::splitLines(test::readFileBytes(f.listPath()));
    ASSERT_EQ(now.size(), original.size()) << "after kill " << kill;
    int spent = 0;
    for (std::size_t i = 0; i < now.size(); ++i) {
      if (i % 3 != 2) {
        ASSERT_EQ(now[i], original[i]) << "after kill " << kill << ", line " << i + 1;
        continue;
      }
      ASSERT_EQ(now[i].rfind("**** remaining=", 0), 0u) << "after kill " << kill << ", line " << i + 1;
      const int c = std::stoi(now[i].substr(15));
      ASSERT_LE(c, 1000);
      spent += 1000 - c;
    }
    EXPECT_GE(spent, lowered) << "a count came back after kill " << kill;
    lowered = spent;
    // The run log is buffered but flushed at every pause: each kill loses at most the
    // plan of the pass under way (its count spent, its line not yet on disk), and no
    // plan is logged whose count was not spent.
    long logged = 0;
    for (const std::string& l : test::splitLines(test::readFileBytes(f.runLogPath())))
      if (l.rfind("Running ACP plan for selected target:", 0) == 0) ++logged;
    EXPECT_LE(logged, spent) << "after kill " << kill;
    EXPECT_GE(logged, spent - (kill + 1)) << "after kill " << kill;
  }
  EXPECT_GT(lowered, first) << "no rewrite happened after the first run: the kills came too early";
}

}  // namespace
}  // namespace np
