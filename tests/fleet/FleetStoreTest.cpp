// The fleet's list in a real PostgreSQL server: its tables, a list in and out byte for
// byte, a site's run lowering a count, and the refusals.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include <functional>
#include <pqxx/pqxx>
#include <string>

#include "fleet/FleetTestLists.h"
#include "support/PostgresServer.h"
#include "support/TempDir.h"
#include "targets/fleet/FleetStore.h"

namespace np::fleet {
namespace {

using np::test::sharedPostgresServer;

// A fresh database with the fleet's tables.
std::string initialisedDatabase() {
  const std::string connection = sharedPostgresServer().createDatabase();
  FleetStore(connection).init();
  return connection;
}

std::string failureOf(const std::function<void()>& step) {
  try {
    step();
  } catch (const StoreError& e) {
    return e.what();
  }
  return "(no failure)";
}

TEST(FleetStore, ImportThenExportGivesBackTheListByteForByte) {
  for (const std::string& bytes : {test::sampleList(), test::kEdgeList}) {
    const std::string connection = initialisedDatabase();
    FleetStore(connection).importList(parseListFile(bytes), "targets.txt");
    // A connection of its own: what was committed, not what one session remembers.
    EXPECT_EQ(FleetStore(connection).exportList(), bytes);
  }
}

TEST(FleetStore, InitTwiceChangesNothing) {
  const std::string connection = sharedPostgresServer().createDatabase();
  FleetStore store(connection);
  EXPECT_EQ(store.schemaVersion(), 0);
  EXPECT_EQ(store.init(), 0);
  store.importList(parseListFile(test::kEdgeList), "edge.txt");
  ASSERT_TRUE(store.takeRun("north", 4, 1'800'000'000, "plan"));
  EXPECT_EQ(store.init(), kSchemaVersion);
  EXPECT_EQ(store.schemaVersion(), kSchemaVersion);
  ASSERT_EQ(store.status().size(), 4u);
  EXPECT_EQ(store.status()[0].remaining, 2);
  EXPECT_EQ(store.status()[0].lastSite, "north");
  EXPECT_EQ(store.sites().size(), 1u);
}

TEST(FleetStore, RefusesTablesItDoesNotKnow) {
  const std::string bare = sharedPostgresServer().createDatabase();
  EXPECT_NE(failureOf([&] { FleetStore(bare).status(); }).find("run 'nightpick-fleet init' first"), std::string::npos);
  EXPECT_NE(failureOf([&] { FleetStore(bare).importList(parseListFile("x"), "x"); }).find("init"), std::string::npos);

  const std::string newer = initialisedDatabase();
  {
    pqxx::connection conn(newer);
    pqxx::work tx(conn);
    tx.exec("UPDATE schema_version SET version = version + 1");
    tx.commit();
  }
  const std::string expected = "schema version " + std::to_string(kSchemaVersion + 1) + ", newer than this program's";
  EXPECT_NE(failureOf([&] { FleetStore(newer).init(); }).find(expected), std::string::npos);
  EXPECT_NE(failureOf([&] { FleetStore(newer).exportList(); }).find(expected), std::string::npos);
}

TEST(FleetStore, ImportsOnlyIntoAnEmptyList) {
  const std::string connection = initialisedDatabase();
  FleetStore store(connection);
  EXPECT_FALSE(store.hasList());
  EXPECT_NE(failureOf([&] { store.exportList(); }).find("nothing was imported"), std::string::npos);
  store.importList(parseListFile(test::kEdgeList), "first.txt");
  const std::string refusal = failureOf([&] { store.importList(parseListFile(test::sampleList()), "second.txt"); });
  EXPECT_NE(refusal.find("the fleet's list is not empty: it holds 13 lines imported from first.txt"), std::string::npos)
      << refusal;
  EXPECT_EQ(store.exportList(), test::kEdgeList);
  // An empty file is a list too: it is not imported over.
  const std::string other = initialisedDatabase();
  FleetStore(other).importList(parseListFile(""), "empty.txt");
  EXPECT_EQ(FleetStore(other).exportList(), "");
  EXPECT_NE(failureOf([&] { FleetStore(other).importList(parseListFile("a"), "a.txt"); }).find("not empty"),
            std::string::npos);
}

TEST(FleetStore, ARunLowersItsGroupsCountAndIsRecordedWithIt) {
  const std::string connection = initialisedDatabase();
  FleetStore store(connection);
  store.importList(parseListFile(test::kEdgeList), "edge.txt");
  const std::int64_t m31 = 4, m42 = 7, m45 = 9, m13 = 11;

  EXPECT_EQ(store.takeRun("north", m31, 1'800'000'000, "#QUITAT x\r\nM31\r\n"), 2);
  EXPECT_EQ(store.takeRun("south", m31, 1'800'003'600, "plan"), 1);
  EXPECT_EQ(store.takeRun("north", m42, 1'800'000'600, "plan"), 0);
  EXPECT_EQ(store.takeRun("south", m42, 1'800'007'200, "plan"), std::nullopt);  // none left: nothing written
  EXPECT_EQ(store.takeRun("south", m45, 1'800'007'200, "plan"), std::nullopt);  // its count cannot be read
  EXPECT_EQ(store.takeRun("south", m13, 1'800'007'200, "plan"), -3);            // never finished
  EXPECT_EQ(store.takeRun("south", 5, 1'800'007'200, "plan"), std::nullopt);    // no group ends at line 5

  const std::vector<GroupStatus> groups = store.status();
  ASSERT_EQ(groups.size(), 4u);
  EXPECT_EQ(groups[0].name, "M31 Andromeda Galaxy");
  EXPECT_EQ(groups[0].remaining, 1);
  EXPECT_EQ(groups[0].lastSite, "south");
  EXPECT_EQ(groups[0].lastRun, "2027-01-15 09:00:00");
  EXPECT_EQ(groups[1].lastSite, "north");
  EXPECT_EQ(groups[1].lastRun, "2027-01-15 08:10:00");
  EXPECT_EQ(groups[2].remaining, std::nullopt);
  EXPECT_EQ(groups[2].lastSite, "");
  EXPECT_EQ(groups[3].remaining, -3);

  const std::vector<SiteStatus> sites = store.sites();
  ASSERT_EQ(sites.size(), 2u);
  EXPECT_EQ(sites[0].name, "north");
  EXPECT_EQ(sites[0].lastContact, "2027-01-15 08:10:00");
  EXPECT_EQ(sites[1].name, "south");
  EXPECT_EQ(sites[1].lastContact, "2027-01-15 10:00:00");

  {
    pqxx::connection conn(connection);
    pqxx::read_transaction tx(conn);
    EXPECT_EQ(tx.exec1("SELECT count(*) FROM runs")[0].as<int>(), 4);
    EXPECT_EQ(pqxx::binarystring(tx.exec1("SELECT plan FROM runs WHERE site = 'north' ORDER BY run_at LIMIT 1")[0]).str(),
              "#QUITAT x\r\nM31\r\n");
  }

  // The changed counts' delimiter lines as the program's rewrite writes them (condition
  // items kept, the count's value replaced), each with its own line end; every other
  // byte as imported.
  std::string expected = test::kEdgeList;
  auto replace = [&](const std::string& from, const std::string& to) {
    const std::size_t at = expected.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    expected.replace(at, from.size(), to);
  };
  replace("**** remaining=3 moon=30 moonwidth=7\r\n", "**** remaining=1 moon=30 moonwidth=7\r\n");
  replace("**** remaining=1\n", "**** remaining=0\n");
  replace("**** remaining=-2 moon=10\r\n", "**** remaining=-3 moon=10\r\n");
  EXPECT_EQ(store.exportList(), expected);
}

TEST(FleetStore, NamesTheCauseWhenTheServerCannotBeReached) {
  np::test::TempDir nowhere;
  const std::string absent = failureOf([&] { FleetStore("host=" + nowhere.path() + " dbname=fleet connect_timeout=5"); });
  EXPECT_NE(absent.find("cannot connect to the list's database"), std::string::npos) << absent;
  EXPECT_NE(absent.find(nowhere.path()), std::string::npos) << absent;
  EXPECT_EQ(absent.find('\n'), std::string::npos) << absent;

  const std::string garbled = failureOf([&] { FleetStore("host=/tmp bogus_option=1"); });
  EXPECT_NE(garbled.find("bogus_option"), std::string::npos) << garbled;

  const std::string unknownDatabase =
      failureOf([&] { FleetStore(sharedPostgresServer().connectionString("no_such_database")); });
  EXPECT_NE(unknownDatabase.find("no_such_database"), std::string::npos) << unknownDatabase;
}

TEST(FleetStore, GivesUpOnAServerThatNeverAnswers) {
  // A loopback port that takes connections and never says a word.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &length), 0);
  const std::string connection = "host=127.0.0.1 port=" + std::to_string(ntohs(addr.sin_port)) + " dbname=fleet";

  const auto started = std::chrono::steady_clock::now();
  const std::string silent = failureOf([&] { FleetStore store(connection); });
  const auto waited = std::chrono::steady_clock::now() - started;
  ::close(listener);
  EXPECT_NE(silent.find("cannot connect to the list's database"), std::string::npos) << silent;
  EXPECT_NE(silent.find("timeout"), std::string::npos) << silent;
  EXPECT_LT(waited, std::chrono::seconds(20));
}

TEST(FleetStore, NamesTheLostConnectionWhenTheServerGoesAway) {
  np::test::PostgresServer server;
  const std::string connection = server.createDatabase();
  FleetStore store(connection);
  store.init();
  server.stop();
  EXPECT_NE(failureOf([&] { store.status(); }).find("while reading the groups"), std::string::npos);
  server.start();
  FleetStore again(connection);
  EXPECT_TRUE(again.status().empty());
}

// A take that waits past its lock's bound on a row another session holds is a database too
// busy to answer, not a failure of the list: nothing is taken, and the same take goes
// through once the row is free. The connection string's own bound is kept.
TEST(FleetStore, ATakeKeptWaitingPastItsLockBoundIsTriedAgainLater) {
  const std::string connection = sharedPostgresServer().createDatabase();
  FleetStore setup(connection);
  setup.init();
  setup.importList(parseListFile("Star\t00:00:00\t+10:00:00\r\n**** remaining=2\r\n"), "targets.txt");
  FleetStore store(connection + " options='-c lock_timeout=300'");
  pqxx::connection other(connection);
  {
    pqxx::work holding(other);
    holding.exec("SELECT remaining FROM groups FOR UPDATE");
    const auto started = std::chrono::steady_clock::now();
    try {
      store.takeRun("north", 2, 1796600000, "plan");
      ADD_FAILURE() << "the take went through a held row";
    } catch (const ConnectionLost& e) {
      EXPECT_NE(std::string(e.what()).find("the list's database is busy while recording a run"), std::string::npos)
          << e.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    holding.abort();
  }
  EXPECT_EQ(store.takeRun("north", 2, 1796600000, "plan"), std::optional<std::int16_t>(1));
  ASSERT_EQ(store.status().size(), 1u);
  EXPECT_EQ(store.status()[0].remaining, std::optional<std::int16_t>(1));
}

}  // namespace
}  // namespace np::fleet
