// The programs the observatory runs (the autofocus command): their exit status, a program
// that cannot be started, a signal that ends one, and one that overruns its time, which
// goes with everything it started.
#include "base/Process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "base/TempName.h"
#include "support/TempDir.h"

namespace np {
namespace {

using std::chrono::steady_clock;
using test::readFileBytes;
using test::TempDir;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// True when no process of that id runs (one that has ended but not been reaped counts as
// ended).
bool hasEnded(unsigned long pid);

// A command that starts a child that would run a minute, writes the child's id to
// `pidFile` (whole, by a rename) and waits for it.
std::vector<std::string> overrunningCommand(const std::string& pidFile);

// True once the process has ended, waiting at most `bound`.
bool endsWithin(unsigned long pid, std::chrono::seconds bound) {
  const auto deadline = steady_clock::now() + bound;
  while (!hasEnded(pid)) {
    if (steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

#ifdef _WIN32

// This test program, started again by the tests below as the command they run:
//   --np-child args A B...  exits with the number of arguments, 100 when they are not
//                           kArgs as given;
//   --np-child sleep        sleeps a minute;
//   --np-child parent FILE  starts a sleeping child of its own, writes its id to FILE
//                           and sleeps a minute.
const std::vector<std::string> kArgs = {"a b", "", "\"q\"", "back\\slash\\", "tab\there", "end\\"};

std::string selfPath() {
  char path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n);
}

const int childRun = [] {
  if (__argc < 3 || std::string(__argv[1]) != "--np-child") return 0;
  const std::string mode = __argv[2];
  if (mode == "args") {
    std::vector<std::string> given(__argv + 3, __argv + __argc);
    ::ExitProcess(given == kArgs ? static_cast<UINT>(given.size()) : 100);
  }
  if (mode == "parent" && __argc == 4) {
    std::string line = "\"";
    line += selfPath();  // (a string added to a literal's end trips GCC 12's -Wrestrict)
    line += "\" --np-child sleep";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
      ::ExitProcess(101);
    std::ofstream(std::string(__argv[3]) + ".tmp") << started.dwProcessId;
    std::filesystem::rename(std::string(__argv[3]) + ".tmp", __argv[3]);
  }
  if (mode == "sleep" || mode == "parent") ::Sleep(60000);
  ::ExitProcess(0);
}();

TEST(RunCommand, AnExitStatusComesBackAndArgumentsArriveAsGiven) {
  std::string why;
  EXPECT_EQ(runCommand({"cmd", "/c", "exit 3"}, 30, why), 3);
  EXPECT_EQ(why, "");
  std::vector<std::string> args = {selfPath(), "--np-child", "args"};
  args.insert(args.end(), kArgs.begin(), kArgs.end());
  EXPECT_EQ(runCommand(args, 30, why), static_cast<int>(kArgs.size()));
  EXPECT_EQ(why, "");
}

std::vector<std::string> overrunningCommand(const std::string& pidFile) {
  return {selfPath(), "--np-child", "parent", pidFile};
}

bool hasEnded(unsigned long pid) { return !processIsRunning(pid); }

#else

// The state letter of /proc/<pid>/stat; 0 when there is no such process.
char processState(unsigned long pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return 0;
  const std::size_t close = line.rfind(')');
  return close == std::string::npos || close + 2 >= line.size() ? 0 : line[close + 2];
}

bool hasEnded(unsigned long pid) {
  const char state = processState(pid);
  return state == 0 || state == 'Z' || state == 'X';
}

TEST(RunCommand, AnExitStatusComesBackAndArgumentsArriveAsGiven) {
  std::string why = "left over";
  EXPECT_EQ(runCommand({"sh", "-c", "exit 3"}, 30, why), 3);
  EXPECT_EQ(why, "");
  EXPECT_EQ(runCommand({"true"}, 30, why), 0);
  // Each argument arrives whole: blanks, an empty one and quotes are no shell's business.
  EXPECT_EQ(runCommand({"sh", "-c", R"(test "$1" = 'a b' && test -z "$2" && test "$3" = '"q"' && exit $#)", "sh",
                        "a b", "", "\"q\""},
                       30, why),
            3);
  // A program that exits 127 of itself is no program that could not be started.
  EXPECT_EQ(runCommand({"sh", "-c", "exit 127"}, 30, why), 127);
  EXPECT_EQ(why, "");
}

TEST(RunCommand, ASignalThatEndsTheCommandIsNamed) {
  std::string why;
  EXPECT_EQ(runCommand({"sh", "-c", "kill -KILL $$"}, 30, why), -1);
  EXPECT_EQ(why, "ended by signal 9");
}

std::vector<std::string> overrunningCommand(const std::string& pidFile) {
  return {"sh", "-c", "trap '' TERM; sleep 60 & echo $! > \"$1.tmp\"; mv \"$1.tmp\" \"$1\"; wait", "sh", pidFile};
}

#endif

// The command has started a child of its own (and ignores SIGTERM on POSIX): both go at
// its time.
TEST(RunCommand, ACommandThatOverrunsGoesWithTheProcessesItStarted) {
  TempDir dir;
  const std::string pidFile = dir.file("grandchild.pid");
  std::string why;
  const auto began = steady_clock::now();
  EXPECT_EQ(runCommand(overrunningCommand(pidFile), 2.5, why), -1);
  const auto spent = steady_clock::now() - began;
  EXPECT_EQ(why, "ended after 2.5 s");
  EXPECT_GE(spent, std::chrono::milliseconds(2400));
  EXPECT_LT(spent, std::chrono::seconds(15));
  ASSERT_TRUE(std::filesystem::exists(pidFile)) << "the command did not start its child in time";
  const unsigned long grandchild = std::stoul(readFileBytes(pidFile));
  EXPECT_TRUE(endsWithin(grandchild, std::chrono::seconds(10))) << "the command's child still runs";
}

TEST(RunCommand, AProgramThatCannotBeStartedSaysSoWithTheCause) {
  TempDir dir;
  std::string why;
  EXPECT_EQ(runCommand({dir.file("no-such-program")}, 30, why), -1);
  EXPECT_EQ(why, "cannot start it: No such file or directory");
  EXPECT_EQ(runCommand({"nightpick-no-such-program-anywhere"}, 30, why), -1);
  EXPECT_EQ(why, "cannot start it: No such file or directory");
  EXPECT_EQ(runCommand({}, 30, why), -1);
  EXPECT_THAT(why, StartsWith("cannot start it: "));
}

}  // namespace
}  // namespace np
