#include "base/TempName.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "base/Errors.h"
#include "support/TempDir.h"

namespace np {
namespace {

using ::testing::UnorderedElementsAre;

// The id of a process that has ended: a child started and waited for.
unsigned long endedProcessId() {
#ifdef _WIN32
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  wchar_t command[] = L"cmd.exe /c exit 0";
  if (!::CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
    return 0;
  ::WaitForSingleObject(pi.hProcess, 30000);
  const unsigned long id = pi.dwProcessId;
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);  // the last handle: the id is free from here on
  return id;
#else
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return static_cast<unsigned long>(child);
#endif
}

TEST(TempName, TheOwnerIsReadBackFromTheNameAndFromNoOtherName) {
  const std::string name = std::filesystem::path(tempNameBeside("/x/config.ini")).filename().string();
  EXPECT_EQ(tempNameOwner(name, "config.ini"), currentProcessId());
  EXPECT_EQ(tempNameOwner("config.ini.123-4.tmp", "config.ini"), 123u);
  for (const char* other : {"config.ini", "config.ini.tmp", "config.ini.123.tmp", "config.ini.-4.tmp",
                            "config.ini.123-.tmp", "config.ini.12a-4.tmp", "config.ini.123-4.tmp.bak",
                            "config.ini.123-4-5.tmp", "newtargets.txt.123-4.tmp", "config.inix123-4.tmp",
                            "config.ini.99999999999999999999999-1.tmp"})
    EXPECT_EQ(tempNameOwner(other, "config.ini"), std::nullopt) << other;
}

TEST(TempName, AProcessIsRunningUntilItHasEnded) {
  EXPECT_TRUE(processIsRunning(currentProcessId()));
  const unsigned long ended = endedProcessId();
  ASSERT_NE(ended, 0u);
  EXPECT_FALSE(processIsRunning(ended));
  EXPECT_FALSE(processIsRunning(0));
}

// Only the files of processes that have gone are removed: never a running copy's (here this
// process's own, and on Linux its parent's), nor anything else in the folder.
TEST(TempName, OnlyTheTemporaryFilesOfEndedProcessesAreRemoved) {
  test::TempDir dir;
  const unsigned long ended = endedProcessId();
  ASSERT_NE(ended, 0u);
  const std::string endedName = "config.ini." + std::to_string(ended) + "-3.tmp";
  const std::string ownName = "config.ini." + std::to_string(currentProcessId()) + "-1.tmp";
  std::vector<std::string> kept = {"config.ini", ownName, "targets.txt." + std::to_string(ended) + "-1.tmp",
                                   "config.ini." + std::to_string(ended) + ".tmp"};
#ifndef _WIN32
  kept.push_back("config.ini." + std::to_string(::getppid()) + "-7.tmp");
#endif
  for (const std::string& name : kept) test::writeFileBytes(dir.file(name), "x");
  test::writeFileBytes(dir.file(endedName), "lastFocusJD,1\r\n");
  std::filesystem::create_directory(dir.file("config.ini.1-1.tmp"));  // a folder is no file of a save

  LocalFileSystem files;
  EXPECT_EQ(removeAbandonedTempFiles(files, dir.path(), "config.ini"), 1);
  EXPECT_FALSE(std::filesystem::exists(dir.file(endedName)));
  for (const std::string& name : kept) EXPECT_TRUE(std::filesystem::exists(dir.file(name))) << name;
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("config.ini.1-1.tmp")));
  // A folder that cannot be listed is left alone.
  EXPECT_EQ(removeAbandonedTempFiles(files, dir.file("missing"), "config.ini"), 0);
}

TEST(TempName, AFolderListsItsFilesButNotItsFolders) {
  test::TempDir dir;
  test::writeFileBytes(dir.file("a.txt"), "");
  test::writeFileBytes(dir.file("b c.ini"), "x");
  std::filesystem::create_directory(dir.file("sub"));
  LocalFileSystem files;
  EXPECT_THAT(files.FileNames(dir.path()), UnorderedElementsAre("a.txt", "b c.ini"));
  EXPECT_THAT(files.FileNames(withSeparator(dir.path())), UnorderedElementsAre("a.txt", "b c.ini"));
  EXPECT_THROW(files.FileNames(dir.file("a.txt")), RunTimeError);
  EXPECT_THROW(files.FileNames(dir.file("missing")), RunTimeError);
}

}  // namespace
}  // namespace np
