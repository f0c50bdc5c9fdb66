// nightpick-fleet's commands as an operator types them, against a real PostgreSQL server.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/fleet/FleetCommands.h"
#include "fleet/FleetTestLists.h"
#include "support/PostgresServer.h"
#include "support/ProgramProcess.h"
#include "support/TempDir.h"
#include "targets/fleet/FleetStore.h"

namespace np::fleet {
namespace {

using np::test::sharedPostgresServer;

struct Outcome {
  int exit = -1;
  std::string out, err;
};

Outcome fleet(const std::string& connection, const std::vector<std::string>& command) {
  std::vector<std::string> args = {"nightpick-fleet", "--database", connection};
  args.insert(args.end(), command.begin(), command.end());
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  Outcome outcome;
  outcome.exit = runFleetCommand(static_cast<int>(argv.size()), argv.data(), out, err);
  outcome.out = out.str();
  outcome.err = err.str();
  return outcome;
}

// The program itself, as a user starts it.
Outcome fleetProgram(const std::vector<std::string>& arguments) {
  np::test::TempDir dir;
  const std::string out = dir.file("out.txt");
  np::test::ProgramProcess program(NIGHTPICK_FLEET_EXE, arguments, out);
  Outcome outcome;
  outcome.exit = program.wait(std::chrono::seconds(60));
  outcome.out = np::test::readFileBytes(out);
  outcome.err = np::test::readFileBytes(out + ".err");
  return outcome;
}

TEST(FleetCommand, SetsUpImportsAndExportsTheList) {
  const std::string connection = sharedPostgresServer().createDatabase();
  Outcome init = fleet(connection, {"init"});
  EXPECT_EQ(init.exit, 0) << init.err;
  EXPECT_EQ(init.out, "Created the fleet's tables (schema version 1)\n");
  init = fleet(connection, {"init"});
  EXPECT_EQ(init.exit, 0) << init.err;
  EXPECT_EQ(init.out, "The fleet's tables are up to date (schema version 1)\n");

  np::test::TempDir dir;
  const std::string file = dir.file("targets.txt");
  np::test::writeFileBytes(file, test::kEdgeList);
  const Outcome imported = fleet(connection, {"import", file});
  EXPECT_EQ(imported.exit, 0) << imported.err;
  EXPECT_EQ(imported.out, "Imported " + file + ": 13 lines, 4 groups\n");

  // Through the program's own standard output, not only the function's stream.
  const Outcome exported = fleetProgram({"--database", connection, "export"});
  EXPECT_EQ(exported.exit, 0) << exported.err;
  EXPECT_EQ(exported.out, test::kEdgeList);

  np::test::writeFileBytes(file, test::sampleList());
  const Outcome again = fleet(connection, {"import", file});
  EXPECT_EQ(again.exit, 1);
  EXPECT_EQ(again.out, "");
  EXPECT_NE(again.err.find("nightpick-fleet: the fleet's list is not empty"), std::string::npos) << again.err;
  EXPECT_EQ(fleet(connection, {"export"}).out, test::kEdgeList);

  const Outcome missing = fleet(connection, {"import", dir.file("no-such.txt")});
  EXPECT_EQ(missing.exit, 1);
  EXPECT_NE(missing.err.find("cannot read " + dir.file("no-such.txt") + ": No such file or directory"), std::string::npos)
      << missing.err;
}

TEST(FleetCommand, StatusAndSitesOnAnEmptyAndAUsedList) {
  const std::string connection = sharedPostgresServer().createDatabase();
  const Outcome before = fleet(connection, {"status"});
  EXPECT_EQ(before.exit, 1);
  EXPECT_NE(before.err.find("run 'nightpick-fleet init' first"), std::string::npos) << before.err;

  ASSERT_EQ(fleet(connection, {"init"}).exit, 0);
  Outcome status = fleet(connection, {"status"});
  EXPECT_EQ(status.exit, 0) << status.err;
  EXPECT_EQ(status.out, "No list imported yet\n");
  Outcome sites = fleet(connection, {"sites"});
  EXPECT_EQ(sites.exit, 0) << sites.err;
  EXPECT_EQ(sites.out, "No site has reached the list yet\n");

  {
    FleetStore store(connection);
    store.importList(parseListFile(test::kEdgeList), "edge.txt");
    ASSERT_TRUE(store.takeRun("Mount Lemmon", 4, 1'800'000'000, "plan"));
    ASSERT_TRUE(store.takeRun("Siding Spring", 11, 1'800'003'600, "plan"));
  }
  status = fleet(connection, {"status"});
  EXPECT_EQ(status.exit, 0) << status.err;
  EXPECT_EQ(status.out,
            "M31 Andromeda Galaxy\t2\tlast run by Mount Lemmon at 2027-01-15 08:00:00 UTC\n"
            "M42 Orion Nebula\t1\tnot run yet\n"
            "M45 Pleiades\tunreadable count\tnot run yet\n"
            "M13 Hercules Cluster\t-3\tlast run by Siding Spring at 2027-01-15 09:00:00 UTC\n");
  sites = fleet(connection, {"sites"});
  EXPECT_EQ(sites.out,
            "Mount Lemmon\tlast contact 2027-01-15 08:00:00 UTC\n"
            "Siding Spring\tlast contact 2027-01-15 09:00:00 UTC\n");
}

TEST(FleetCommand, FailsWithTheCauseAndNoCrash) {
  np::test::TempDir nowhere;
  const Outcome absent = fleetProgram({"--database", "host=" + nowhere.path() + " dbname=fleet", "status"});
  EXPECT_EQ(absent.exit, 1);
  EXPECT_EQ(absent.out, "");
  EXPECT_NE(absent.err.find("nightpick-fleet: cannot connect to the list's database: "), std::string::npos) << absent.err;
  EXPECT_NE(absent.err.find(nowhere.path()), std::string::npos) << absent.err;

  const Outcome garbled = fleetProgram({"--database", "dbname", "init"});
  EXPECT_EQ(garbled.exit, 1);
  EXPECT_NE(garbled.err.find("cannot connect to the list's database: "), std::string::npos) << garbled.err;

  const Outcome noDatabase = fleetProgram({"status"});
  EXPECT_NE(noDatabase.exit, 0);
  EXPECT_NE(noDatabase.err.find("--database"), std::string::npos) << noDatabase.err;
  const Outcome noCommand = fleetProgram({"--database", "dbname=fleet"});
  EXPECT_NE(noCommand.exit, 0);
  EXPECT_NE(noCommand.err.find("subcommand"), std::string::npos) << noCommand.err;
}

}  // namespace
}  // namespace np::fleet
