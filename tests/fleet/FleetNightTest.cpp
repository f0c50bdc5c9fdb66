// A site whose list is kept in the fleet's database, over whole simulated nights against a
// real PostgreSQL server: the same plans and run log as from targets.txt, each run counted
// once in the database.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <atomic>
#include <chrono>
#include <sstream>
#include <functional>
#include <filesystem>
#include <pqxx/pqxx>
#include <string>
#include <thread>
#include <vector>

#include "app/runner/ServiceRun.h"
#include "app/runner/StatusBoard.h"
#include "app/runner/WatchConfig.h"
#include "base/Paths.h"
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

// A fresh database holding `list`, on the test program's server unless another is given.
std::string databaseWith(const std::string& list, np::test::PostgresServer& server = sharedPostgresServer()) {
  const std::string connection = server.createDatabase();
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

namespace np::fleet {
namespace {

// Every group's fall equals its runs in the database, and each run is one plan the host
// was handed, in order.
void expectEachRunCountedOnce(const std::string& connection, const std::vector<std::string>& plans) {
  pqxx::connection conn(connection);
  pqxx::read_transaction tx(conn);
  EXPECT_EQ(tx.exec1("SELECT count(*) FROM groups g WHERE g.imported_remaining - g.remaining <>"
                     " (SELECT count(*) FROM runs r WHERE r.group_id = g.id)")[0]
                .as<int>(),
            0);
  std::vector<std::string> runs;
  for (const auto& row : tx.exec("SELECT plan FROM runs ORDER BY id")) runs.push_back(pqxx::binarystring(row[0]).str());
  EXPECT_EQ(runs, plans);
}

struct Outage {
  bool sawWaiting = false, parkedWhileWaiting = false, restarted = false;
};

// Runs a night on a server of the test's own that `stopWhen` stops (from the loop's own
// thread); once the site has waited for it for `waitSeconds` of the night, it is started
// again.
Night observeThroughOutage(TestWorld& w, np::test::PostgresServer& server, Outage& outage,
                           const std::function<bool(long runs)>& stopWhen, long waitSeconds = 95) {
  Night night;
  long runs = 0, waited = 0;
  w.user = [&] {
    if (!w.nightRunning()) return;
    if (w.host->runCount() != runs) {
      runs = w.host->runCount();
      night.plans.push_back(np::test::readFileBytes(w.planPath()));
    }
    if (server.running() && !outage.restarted && stopWhen(runs)) server.stop();
    if (w.status().rfind(std::string(kWaitingForList), 0) == 0) {
      outage.sawWaiting = true;
      if (++waited == waitSeconds && !server.running()) {
        outage.parkedWhileWaiting = w.host->parked();  // the telescope has had time to reach its park
        server.start();
        outage.restarted = true;
      }
    }
    if (w.status().rfind(std::string(kWaitingForDusk), 0) == 0) w.units.stopFlag = true;
  };
  w.runNight();
  night.runLog = w.runLogLines();
  return night;
}

TEST(FleetNight, ADatabaseAwayDuringTheNightIsWaitedForAndNothingIsLostOrCountedTwice) {
  np::test::PostgresServer server;
  const std::string connection = databaseWith(test::sampleList(), server);
  TestWorld w;
  w.writeListText(test::sampleList());
  DatabaseList shared(connection, "north");
  w.listStore = &shared;
  Outage outage;
  // Stopped while the host runs the second plan: the next pass finds it away.
  const Night night = observeThroughOutage(w, server, outage, [](long runs) { return runs == 2; });

  ASSERT_TRUE(outage.restarted);
  EXPECT_TRUE(outage.sawWaiting);
  EXPECT_TRUE(outage.parkedWhileWaiting);
  EXPECT_FALSE(w.host->parked());  // unparked for the rest of the night
  EXPECT_GT(night.plans.size(), 3u);  // the night went on once the database was back
  const auto waiting = std::find_if(night.runLog.begin(), night.runLog.end(), [](const std::string& line) {
    return line.rfind(std::string(kWaitingForList) + "cannot connect to the list's database", 0) == 0 ||
           line.rfind(std::string(kWaitingForList) + "lost the connection", 0) == 0;
  });
  ASSERT_NE(waiting, night.runLog.end());
  EXPECT_EQ(std::count(night.runLog.begin(), night.runLog.end(), *waiting), 1);
  EXPECT_EQ(std::count(night.runLog.begin(), night.runLog.end(), "The list's database can be reached again"), 1);
  expectEachRunCountedOnce(connection, night.plans);
}

// The database goes away between the pass's reading of the list and its take: the take is
// tried again once it is back, and counted once.
TEST(FleetNight, ATakeThatMetTheDatabaseAwayIsCountedOnceWhenItIsBack) {
  np::test::PostgresServer server;
  const std::string connection = databaseWith(test::sampleList(), server);
  // Stops the server right after the second pass has read the list.
  struct StoppingAfterRead : ListStore {
    DatabaseList inner;
    np::test::PostgresServer& server;
    int reads = 0;
    StoppingAfterRead(const std::string& c, np::test::PostgresServer& s) : inner(c, "north"), server(s) {}
    std::string listText() override {
      std::string text = inner.listText();
      if (++reads == 2) server.stop();
      return text;
    }
    std::optional<std::int16_t> takeRun(std::int64_t line, std::int64_t time, const std::string& plan) override {
      return inner.takeRun(line, time, plan);
    }
  } store(connection, server);
  TestWorld w;
  w.writeListText(test::sampleList());
  w.listStore = &store;
  Outage outage;
  const Night night = observeThroughOutage(w, server, outage, [](long) { return false; });

  ASSERT_TRUE(outage.restarted);
  EXPECT_TRUE(outage.parkedWhileWaiting);
  ASSERT_GE(night.plans.size(), 3u);
  expectEachRunCountedOnce(connection, night.plans);
  // The pass that met the database away ran the plan it had written before.
  EXPECT_EQ(std::count(night.runLog.begin(), night.runLog.end(), "Updating targets file"),
            static_cast<long>(night.plans.size()));
}

}  // namespace
}  // namespace np::fleet

namespace np::fleet {
namespace {

// A database that is never there: the site waits, retrying, until Stop, which ends the
// run at the next pause.
TEST(FleetNight, StopEndsTheWaitForADatabaseThatNeverAnswers) {
  np::test::TempDir nowhere;
  DatabaseList absent("host=" + nowhere.path() + " dbname=fleet connect_timeout=2", "north");
  TestWorld w("", np::test::kNight);
  w.listStore = &absent;
  long waited = 0, afterStop = 0;
  w.user = [&] {
    if (!w.nightRunning()) return;
    if (w.units.stopFlag) ++afterStop;
    if (w.status().rfind(std::string(kWaitingForList), 0) == 0 && ++waited == 100) w.units.stopFlag = true;
  };
  w.runNight();
  EXPECT_EQ(waited, 100);  // retried past several tries, never giving up by itself
  EXPECT_LE(afterStop, 2);
  const std::vector<std::string> log = w.runLogLines();
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& line) { return line.rfind(std::string(kWaitingForList), 0) == 0; }),
            1);
  EXPECT_EQ(w.host->runCount(), 0);
  EXPECT_TRUE(w.host->parked());
}

// A take tried again after its connection broke in the commit finds the first one's run.
TEST(FleetStoreTake, RepeatedWithTheSameRunCountsItOnce) {
  const std::string connection = databaseWith("A\t10:00:00\t+30:00:00\r\n**** remaining=3\r\n");
  FleetStore store(connection);
  EXPECT_EQ(store.takeRun("north", 2, 1'800'000'000, "#QUITAT x\r\nA\r\n"), 2);
  EXPECT_EQ(store.takeRun("north", 2, 1'800'000'000, "#QUITAT x\r\nA\r\n"), 2);
  // Another run of the group (another time, another site) is counted.
  EXPECT_EQ(store.takeRun("north", 2, 1'800'000'600, "#QUITAT x\r\nA\r\n"), 1);
  EXPECT_EQ(store.takeRun("south", 2, 1'800'000'000, "#QUITAT x\r\nA\r\n"), 0);
  pqxx::connection conn(connection);
  pqxx::read_transaction tx(conn);
  EXPECT_EQ(tx.exec1("SELECT count(*) FROM runs")[0].as<int>(), 3);
}

}  // namespace
}  // namespace np::fleet

namespace np::fleet {
namespace {

// Two sites taking the same last runs at the same instant, each on its own connection:
// every group's last run goes to exactly one of them, the other hears it has none left.
TEST(FleetStoreTake, TwoSitesTakingTheSameLastRunsAtOnceGetEachOnce) {
  constexpr int kGroups = 40;
  std::string list;
  for (int i = 0; i < kGroups; ++i) list += "G" + std::to_string(i) + "\t10:00:00\t+30:00:00\r\n**** remaining=1\r\n";
  const std::string connection = databaseWith(list);

  std::vector<std::vector<bool>> got(2, std::vector<bool>(kGroups, false));
  std::atomic<int> ready{0};
  auto site = [&](int which) {
    DatabaseList store(connection, which == 0 ? "north" : "south");
    store.listText();  // connected before the race begins
    ++ready;
    while (ready.load() < 2) std::this_thread::yield();
    for (int i = 0; i < kGroups; ++i)
      got[which][i] = store.takeRun(2 * i + 2, 1'800'000'000, "plan").has_value();
  };
  std::string failures[2];
  auto guarded = [&](int which) {
    try {
      site(which);
    } catch (const std::exception& e) {
      failures[which] = e.what();
      ++ready;  // the other site does not wait for this one
    }
  };
  std::thread first(guarded, 0), second(guarded, 1);
  first.join();
  second.join();
  ASSERT_EQ(failures[0] + failures[1], "");

  int north = 0;
  for (int i = 0; i < kGroups; ++i) {
    EXPECT_NE(got[0][i], got[1][i]) << "group " << i;
    north += got[0][i] ? 1 : 0;
  }
  pqxx::connection conn(connection);
  pqxx::read_transaction tx(conn);
  EXPECT_EQ(tx.exec1("SELECT count(*) FROM runs")[0].as<int>(), kGroups);
  EXPECT_EQ(tx.exec1("SELECT count(*) FROM groups WHERE remaining <> 0")[0].as<int>(), 0);
  EXPECT_EQ(tx.exec1("SELECT count(*) FROM runs WHERE site = 'north'")[0].as<int>(), north);
}

}  // namespace
}  // namespace np::fleet

namespace np::fleet {
namespace {

// The unattended service with [list] in observatory.ini observes from the database: its
// runs are taken there, and targets.txt is left as it was.
TEST(FleetService, TheServiceTakesItsRunsFromTheDatabaseItsIniNames) {
  const std::string list = "M45 Pleiades\t03:47:24\t+24:07:00\r\n**** remaining=2\r\n";
  const std::string connection = databaseWith(list);
  TestWorld w;
  w.writeListText("Elsewhere\t03:47:24\t+24:07:00\r\n**** remaining=5\r\n");
  np::test::writeFileBytes(joinPath(w.hostDir(), "observatory.ini"),
                           "[clock]\nspeed = 6000\nstart = 2026-12-08T01:40:00Z\n"
                           "[list]\ndatabase = " + connection + "\nsite = north pier\n[status]\nlisten = 127.0.0.1:1\n");
  // The status page's board, without a server: the list it shows is the database's.
  const StatusBoard* board = nullptr;
  std::set<std::string> listsShown;
  ServiceOptions options;
  options.programDir = w.programDir();
  options.serveStatus = [&](const StatusBoard& served, const StatusConfig&) -> std::shared_ptr<void> {
    board = &served;
    return std::make_shared<int>(0);
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  long calls = 0;
  bool done = false;
  std::ostringstream out, err;
  const int status = runService(
      options,
      [&] {
        if (++calls % 200 == 0 && !done)
          done = np::test::readFileBytes(w.runLogPath()).find("Remaining count for best target = 0") != std::string::npos;
        if (board && board->snapshot()) {
          std::string shown;
          for (const auto& group : board->snapshot()->list) shown += group.name + "=" + std::to_string(group.remaining) + ";";
          listsShown.insert(shown);
        }
        return done || std::chrono::steady_clock::now() > deadline;
      },
      out, err);
  EXPECT_EQ(status, kServiceStopped) << err.str();
  EXPECT_TRUE(done) << out.str() << err.str();
  EXPECT_EQ(w.listText(), "Elsewhere\t03:47:24\t+24:07:00\r\n**** remaining=5\r\n");
  const auto groups = FleetStore(connection).status();
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].remaining, 0);
  EXPECT_EQ(groups[0].lastSite, "north pier");
  // The page showed the list as the run read it from the database, never targets.txt.
  EXPECT_THAT(listsShown, ::testing::IsSupersetOf({"M45 Pleiades=2;", "M45 Pleiades=1;"}));
  for (const std::string& shown : listsShown) EXPECT_EQ(shown.find("Elsewhere"), std::string::npos) << shown;
}

}  // namespace
}  // namespace np::fleet
