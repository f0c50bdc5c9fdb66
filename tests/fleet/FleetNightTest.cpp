// A site whose list is kept in the fleet's database, over whole simulated nights against a
// real PostgreSQL server: the same plans and run log as from targets.txt, each run counted
// once in the database.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <pqxx/pqxx>
#include <string>
#include <vector>

#include "fleet/FleetTestLists.h"
#include "night/ObservingLoop.h"
#include "support/PostgresServer.h"
#include "support/TempDir.h"
#include "support/TestWorld.h"
#include "targets/fleet/DatabaseList.h"

namespace np::fleet {
namespace {

using np::test::sharedPostgresServer;
using np::test::TestWorld;

// A fresh database holding `list`.
std::string databaseWith(const std::string& list) {
  const std::string connection = sharedPostgresServer().createDatabase();
  FleetStore store(connection);
  store.init();
  store.importList(parseListFile(list), "targets.txt");
  return connection;
}

struct Night {
  std::vector<std::string> plans;  // each plan the host was handed, as it was then
  std::vector<std::string> runLog;
  std::string list;  // targets.txt afterwards
};

// Runs `w` from its clock's start until the first day pass, keeping every plan handed over.
Night observe(TestWorld& w) {
  Night night;
  long runs = 0;
  w.user = [&] {
    if (!w.nightRunning()) return;
    if (w.host->runCount() != runs) {
      runs = w.host->runCount();
      night.plans.push_back(np::test::readFileBytes(w.planPath()));
    }
    if (w.status().rfind(std::string(kWaitingForDusk), 0) == 0) w.units.stopFlag = true;
  };
  w.runNight();
  night.runLog = w.runLogLines();
  night.list = w.listText();
  return night;
}

// Each run in the database, in the order taken: the group's delimiter line and the plan.
std::vector<std::pair<std::int64_t, std::string>> runsIn(const std::string& connection) {
  pqxx::connection conn(connection);
  pqxx::read_transaction tx(conn);
  std::vector<std::pair<std::int64_t, std::string>> runs;
  for (const auto& row : tx.exec("SELECT g.delimiter_line, r.plan, r.site FROM runs r JOIN groups g ON g.id = r.group_id"
                                 " ORDER BY r.id")) {
    EXPECT_EQ(row[2].as<std::string>(), "north");
    runs.emplace_back(row[0].as<std::int64_t>(), pqxx::binarystring(row[1]).str());
  }
  return runs;
}

TEST(FleetNight, ASiteOnTheDatabaseObservesTheNightTheFileWouldGive) {
  const std::string list = test::sampleList();
  TestWorld fromFile;
  fromFile.writeListText(list);
  const Night expected = observe(fromFile);
  ASSERT_GE(expected.plans.size(), 3u) << "the night must run several plans to compare";

  const std::string connection = databaseWith(list);
  TestWorld fromDatabase;
  fromDatabase.writeListText(list);  // there, but never read nor written
  DatabaseList shared(connection, "north");
  fromDatabase.listStore = &shared;
  const Night got = observe(fromDatabase);

  EXPECT_EQ(got.plans, expected.plans);
  EXPECT_EQ(got.runLog, expected.runLog);
  EXPECT_EQ(got.list, list);
  EXPECT_FALSE(std::filesystem::exists(fromDatabase.newListPath()));

  // The counts fell as the file's did, and each plan is one run row with its text.
  EXPECT_EQ(FleetStore(connection).exportList(), expected.list);
  const auto runs = runsIn(connection);
  ASSERT_EQ(runs.size(), expected.plans.size());
  for (std::size_t i = 0; i < runs.size(); ++i) EXPECT_EQ(runs[i].second, expected.plans[i]) << "run " << i;
}

// A list with delimiter items past the count, a negative count and lines after the last
// group: the database's rewrite keeps what the file's keeps.
TEST(FleetNight, ConditionItemsAndNegativeCountsFallAsInTheFile) {
  const std::string list =
      "; shared\r\n"
      "Near Meridian\t10:00:00\t+30:00:00\r\n"
      "**** remaining=2 priority=1\r\n"
      "Second\t10:20:00\t+35:00:00\r\n"
      "**** remaining=-1\r\n"
      "; the end\r\n";
  TestWorld fromFile("", np::test::kNight);
  fromFile.writeListText(list);
  const Night expected = observe(fromFile);
  ASSERT_GE(expected.plans.size(), 2u);

  const std::string connection = databaseWith(list);
  TestWorld fromDatabase("", np::test::kNight);
  fromDatabase.writeListText(list);
  DatabaseList shared(connection, "north");
  fromDatabase.listStore = &shared;
  const Night got = observe(fromDatabase);
  EXPECT_EQ(got.plans, expected.plans);
  EXPECT_EQ(got.runLog, expected.runLog);
  EXPECT_EQ(FleetStore(connection).exportList(), expected.list);
  EXPECT_EQ(runsIn(connection).size(), expected.plans.size());
}

// Another site took the group's last run after this site read the list: the take is
// refused, nothing is counted or logged for it, and the pass selects again.
TEST(FleetNight, ARunTakenElsewhereMeanwhileMakesThePassSelectAgain) {
  const std::string list =
      "First\t10:00:00\t+30:00:00\r\n"
      "**** remaining=1 priority=1\r\n"
      "Second\t10:20:00\t+35:00:00\r\n"
      "**** remaining=1\r\n";
  const std::string connection = databaseWith(list);

  // Takes First's last run for "south" as soon as "north" has read the list.
  struct Racing : ListStore {
    DatabaseList north, south;
    bool raced = false;
    explicit Racing(const std::string& c) : north(c, "north"), south(c, "south") {}
    std::string listText() override {
      std::string text = north.listText();
      if (!raced) raced = south.takeRun(2, 1'700'000'000, "south's plan").has_value();
      return text;
    }
    std::optional<std::int16_t> takeRun(std::int64_t line, std::int64_t time, const std::string& plan) override {
      return north.takeRun(line, time, plan);
    }
  } racing(connection);

  TestWorld w("", np::test::kNight);
  w.writeListText(list);
  w.listStore = &racing;
  const Night got = observe(w);
  ASSERT_TRUE(racing.raced);
  ASSERT_EQ(got.plans.size(), 1u);
  EXPECT_THAT(got.plans[0], ::testing::HasSubstr("Second\t10:20:00\t+35:00:00\r\n"));
  EXPECT_THAT(got.plans[0], ::testing::Not(::testing::HasSubstr("First")));
  const std::string log = w.runLog();
  EXPECT_THAT(log, ::testing::HasSubstr("Another observatory took the last run of the group at line 1 - selecting again"));
  EXPECT_EQ(std::count(got.runLog.begin(), got.runLog.end(), "Updating targets file"), 1);
  EXPECT_EQ(std::count(got.runLog.begin(), got.runLog.end(), "Remaining count for best target = 0"), 1);

  const auto status = FleetStore(connection).status();
  ASSERT_EQ(status.size(), 2u);
  EXPECT_EQ(status[0].remaining, 0);
  EXPECT_EQ(status[0].lastSite, "south");
  EXPECT_EQ(status[1].remaining, 0);
  EXPECT_EQ(status[1].lastSite, "north");
}

}  // namespace
}  // namespace np::fleet
