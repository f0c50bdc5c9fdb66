// The windowed program as a fleet member, on a real X server: Start takes the runs from the
// database its observatory.ini names, never from the targets.txt beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/PostgresServer.h"
#include "support/ProgramProcess.h"
#include "support/TempDir.h"
#include "support/TestText.h"
#include "targets/fleet/FleetStore.h"

namespace np::fleet {
namespace {

TEST(FleetWindow, StartObservesFromTheDatabaseItsIniNames) {
#if !defined(NIGHTPICK_EXE) || !defined(NIGHTPICK_WINDOWED_UNTIL)
  GTEST_SKIP() << "the windowed program is not built";
#else
  const std::string connection = np::test::sharedPostgresServer().createDatabase();
  {
    FleetStore store(connection);
    store.init();
    store.importList(parseListFile("#COUNT 1\r\n#INTERVAL 60\r\nM45 Pleiades\t03:47:24\t+24:07:00\r\n"
                                   "**** remaining=2\r\n"),
                     "targets.txt");
  }
  np::test::TempDir program;
  const std::string exe = program.file("nightpick");
  std::filesystem::copy_file(NIGHTPICK_EXE, exe);
  const std::string local = "Elsewhere\t03:47:24\t+24:07:00\r\n**** remaining=5\r\n";
  np::test::writeFileBytes(program.file("targets.txt"), local);
  std::filesystem::create_directories(program.file("observatory"));
  np::test::writeFileBytes(program.file("observatory") + "/observatory.ini",
                           "[clock]\nspeed = 6000\nstart = 2026-12-08T01:40:00Z\n[list]\ndatabase = " + connection +
                               "\nsite = window pier\n");
  const std::string runLog = program.file("observatory") + "/Logs/Nightpick.log";
  np::test::ProgramProcess window("/bin/bash",
                                  {NIGHTPICK_WINDOWED_UNTIL, exe, runLog, "Remaining count for best target = 0"},
                                  program.file("script.txt"));
  const int status = window.wait(std::chrono::seconds(300));
  auto text = [](const std::string& path) {
    return std::filesystem::exists(path) ? np::test::readFileBytes(path) : std::string();
  };
  ASSERT_EQ(status, 0) << text(program.file("script.txt.err")) << text(exe + ".stderr.txt") << text(runLog);
  EXPECT_EQ(text(program.file("targets.txt")), local);
  const auto groups = FleetStore(connection).status();
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].remaining, 0);
  EXPECT_EQ(groups[0].lastSite, "window pier");
  EXPECT_EQ(text(runLog).find("Elsewhere"), std::string::npos);
#endif
}

}  // namespace
}  // namespace np::fleet
