// A site killed while it works on the fleet's list: fleet-test-site (a site's passes over
// the database, tests/fleet/site) started as a process of its own and killed with SIGKILL,
// at random instants and inside its take's transaction; and a server stopped and started
// under a site that goes on. After each kill the database must hold every run the site
// heard of, at most the one run whose take the kill cut short besides, and every group's
// count must have fallen by its runs exactly.
//
// The random instants come from a seed printed with every failure; NIGHTPICK_KILL_SEED
// runs the same one again.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <pqxx/pqxx>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/Loopback.h"
#include "support/PostgresServer.h"
#include "support/ProgramProcess.h"
#include "support/TempDir.h"
#include "targets/fleet/FleetStore.h"

namespace np::fleet {
namespace {

using namespace std::chrono_literals;
using np::test::PostgresServer;
using np::test::ProgramProcess;
using np::test::TempDir;

constexpr std::int64_t kFirstNight = 1'710'043'200;  // each generation of the site starts kGeneration seconds later
constexpr long kGeneration = 1000;                   // passes a generation may make: one second of its clock each

// 40 circumpolar groups (every one is up all night at the simulated site, at 32 degrees
// north), with counts of 1 to 9, 0 and negative ones, some with a condition item after
// the count.
std::string killList() {
  std::string list = "; the fleet's list\r\n";
  for (int i = 0; i < 40; ++i) {
    const int count = i % 8 == 0 ? 0 : i % 8 == 1 ? -1 - i % 3 : 1 + (i * 7) % 9;
    const int minutes = i * 36;
    char ra[16];
    std::snprintf(ra, sizeof ra, "%02d:%02d:00", minutes / 60, minutes % 60);
    list += "G" + std::to_string(i) + "\t" + ra + "\t+80:00:00\r\n**** remaining=" + std::to_string(count) +
            (i % 5 == 3 ? " moon=20" : "") + "\r\n";
  }
  return list;
}

std::string databaseWith(PostgresServer& server, const std::string& list,
                         np::test::PostgresRoute route = np::test::PostgresRoute::UnixSocket) {
  const std::string connection = server.connectionString(server.createDatabaseNamed(), route);
  FleetStore store(connection);
  store.init();
  store.importList(parseListFile(list), "targets.txt");
  return connection;
}

unsigned seedOfTheRun() {
  if (const char* given = std::getenv("NIGHTPICK_KILL_SEED")) return static_cast<unsigned>(std::strtoul(given, nullptr, 10));
  return std::random_device{}();
}

// A run as the site logged it, or as the database holds it with the count it wrote back
// (the group's imported count less the run's place among the group's runs).
struct TakenRun {
  std::int64_t line = 0, time = 0, left = 0;
  std::string plan;
  bool operator==(const TakenRun&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TakenRun& run) {
  return out << "line " << run.line << " at " << run.time << " left " << run.left;
}

std::string unhex(const std::string& text) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) bytes += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
  return bytes;
}

// The taken file's complete lines.
std::vector<TakenRun> loggedRuns(const std::string& path) {
  std::vector<TakenRun> runs;
  std::string text;
  try {
    text = np::test::readFileBytes(path);
  } catch (const std::exception&) {
    return runs;  // killed before it opened the file
  }
  std::size_t from = 0;
  for (std::size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1) {
    std::istringstream line(text.substr(from, end - from));
    TakenRun run;
    std::string plan;
    line >> run.line >> run.time >> run.left >> plan;
    run.plan = unhex(plan);
    runs.push_back(run);
  }
  return runs;
}

std::string fileOrNothing(const std::string& path) {
  try {
    return np::test::readFileBytes(path);
  } catch (const std::exception&) {
    return {};
  }
}

// One started site: its own application name in the server's sessions, a generation's
// span of its clock, its taken file.
class Site {
 public:
  Site(const std::string& connection, const std::string& folder, int generation, long takes = 0,
       double lifetimeSeconds = 30)
      : name_("kill-site-" + std::to_string(generation)),
        start_(kFirstNight + generation * kGeneration),
        taken_(folder + "/taken-" + std::to_string(generation) + ".txt"),
        out_(folder + "/site-" + std::to_string(generation) + ".out"),
        process_(NIGHTPICK_FLEET_SITE_EXE,
                 {connection + " application_name=" + name_, "north", folder, taken_, std::to_string(start_),
                  std::to_string(kGeneration - 1), std::to_string(takes), std::to_string(lifetimeSeconds)},
                 out_) {}

  void kill() { process_.kill(); }
  int wait(std::chrono::milliseconds limit) { return process_.wait(limit); }
  std::string errors() const { return fileOrNothing(out_ + ".err"); }
  std::string output() const { return fileOrNothing(out_); }
  const std::string& name() const { return name_; }
  std::int64_t start() const { return start_; }
  std::vector<TakenRun> logged() const { return loggedRuns(taken_); }
  const std::string& takenPath() const { return taken_; }

 private:
  std::string name_;
  std::int64_t start_;
  std::string taken_, out_;
  ProgramProcess process_;
};

// What stops a take in its commit: a trigger that the commit runs, which takes the lock
// the test holds (and takes it at once when the test does not hold it).
constexpr long long kCommitLock = 0x4B494C4C;
const std::string kCommitHold[] = {
    "CREATE OR REPLACE FUNCTION test_commit_hold() RETURNS trigger LANGUAGE plpgsql AS"
    " $$ BEGIN PERFORM pg_advisory_xact_lock(" + std::to_string(kCommitLock) + "); RETURN NULL; END $$",
    "DROP TRIGGER IF EXISTS test_commit_hold ON runs",
    "CREATE CONSTRAINT TRIGGER test_commit_hold AFTER INSERT ON runs DEFERRABLE INITIALLY DEFERRED"
    " FOR EACH ROW EXECUTE FUNCTION test_commit_hold()",
};

// The test's own session on the database.
class Observer {
 public:
  explicit Observer(const std::string& connection) : connection_(connection), conn_(connection) {
    pqxx::work setUp(conn_);
    setUp.exec("SET lock_timeout = '10s'");
    for (const std::string& statement : kCommitHold) setUp.exec(statement);
    setUp.commit();
  }

  // Waits (at most 10 s) until the server has no session of `site` left: a killed site's
  // backend has rolled back what it had not committed.
  bool waitGone(const Site& site) { return waitFor(site, "true", 0); }
  // Waits (at most 10 s) until `site`'s session waits for a lock.
  bool waitBlocked(const Site& site) { return waitFor(site, "wait_event_type = 'Lock'", 1); }

  // Every group's fall from its imported count is its number of runs; a count never went
  // below zero, a negative one only further down; no take was recorded twice; no other
  // site took any.
  void expectGroupsConsistent() {
    pqxx::read_transaction tx(conn_);
    const pqxx::result groups =
        tx.exec("SELECT g.delimiter_line, g.imported_remaining, g.remaining,"
                " (SELECT count(*) FROM runs r WHERE r.group_id = g.id) FROM groups g ORDER BY g.delimiter_line");
    ASSERT_EQ(groups.size(), 40u);
    for (const auto& row : groups) {
      const auto line = row[0].as<std::int64_t>();
      const auto runs = row[3].as<std::int64_t>();
      ASSERT_FALSE(row[1].is_null()) << "line " << line;
      const int imported = row[1].as<int>(), now = row[2].as<int>();
      EXPECT_EQ(imported - now, runs) << "line " << line << ": imported " << imported << ", now " << now;
      if (imported >= 0) {
        EXPECT_GE(now, 0) << "line " << line;
      } else {
        EXPECT_LE(now, imported) << "line " << line;
      }
    }
    EXPECT_EQ(tx.exec1("SELECT count(*) FROM (SELECT 1 FROM runs GROUP BY site, group_id, run_at HAVING count(*) > 1) d")[0]
                  .as<int>(),
              0);
    EXPECT_EQ(tx.exec1("SELECT count(*) FROM runs WHERE site <> 'north'")[0].as<int>(), 0);
  }

  // The runs of `site`'s span of the clock, in the order taken, each with the count it
  // wrote back.
  std::vector<TakenRun> runsOf(const Site& site) {
    pqxx::read_transaction tx(conn_);
    std::vector<TakenRun> runs;
    for (const auto& row : tx.exec_params(
             "SELECT line, t, imported - place, plan FROM (SELECT g.delimiter_line AS line, g.imported_remaining AS imported,"
             " extract(epoch FROM r.run_at)::bigint AS t, r.plan,"
             " row_number() OVER (PARTITION BY r.group_id ORDER BY r.id) AS place"
             " FROM runs r JOIN groups g ON g.id = r.group_id) x WHERE t >= $1 AND t < $2 ORDER BY t",
             site.start(), site.start() + kGeneration))
      runs.push_back({row[0].as<std::int64_t>(), row[1].as<std::int64_t>(), row[2].as<std::int64_t>(),
                      pqxx::binarystring(row[3]).str()});
    return runs;
  }

  // Holds, until release(), the lock that stops a take at one of its steps: 0 the count's
  // update (every group's row), 1 the site's contact (the sites table), 2 the run's row
  // (the runs table), 3 the commit.
  void hold(int step) {
    lockingConn_.emplace(connection_);
    pqxx::nontransaction(*lockingConn_).exec("SET lock_timeout = '10s'");
    locking_.emplace(*lockingConn_);
    if (step == 0) locking_->exec("SELECT 1 FROM groups FOR UPDATE");
    if (step == 1) locking_->exec("LOCK TABLE sites IN SHARE MODE");
    if (step == 2) locking_->exec("LOCK TABLE runs IN SHARE MODE");
    if (step == 3) locking_->exec("SELECT pg_advisory_xact_lock(" + std::to_string(kCommitLock) + ")");
  }
  void release() {
    if (locking_) locking_->abort();
    locking_.reset();
    lockingConn_.reset();
  }

 private:
  bool waitFor(const Site& site, const std::string& condition, int wanted) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    for (;;) {
      pqxx::nontransaction tx(conn_);
      const int sessions = tx.exec_params1("SELECT count(*) FROM pg_stat_activity WHERE application_name = $1 AND " + condition,
                                           site.name())[0]
                               .as<int>();
      if (sessions == wanted) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(1ms);
    }
  }

  std::string connection_;
  pqxx::connection conn_;
  // The lock's session, apart from the one that watches.
  std::optional<pqxx::connection> lockingConn_;
  std::optional<pqxx::work> locking_;
};

// Where the kill fell: anywhere (the run of a take it cut short may have been committed
// or not), in a take before its commit (nothing of it was), or while the commit was
// under way (it was).
enum class Cut { Anywhere, BeforeCommit, InCommit };

// What a killed site heard of is in the database as it heard it; besides it, the one run
// whose take the kill cut short when it was committed, the site's last.
void expectRunsHeardOf(Observer& db, const Site& site, Cut cut) {
  const std::vector<TakenRun> logged = site.logged();
  const std::vector<TakenRun> stored = db.runsOf(site);
  ASSERT_GE(stored.size(), logged.size()) << site.name();
  const std::size_t unheard = stored.size() - logged.size();
  switch (cut) {
    case Cut::Anywhere:
      ASSERT_LE(unheard, 1u) << site.name();
      break;
    case Cut::BeforeCommit:
      ASSERT_EQ(unheard, 0u) << site.name();
      break;
    case Cut::InCommit:
      ASSERT_EQ(unheard, 1u) << site.name();
      break;
  }
  for (std::size_t i = 0; i < logged.size(); ++i) EXPECT_EQ(stored[i], logged[i]) << site.name() << " run " << i;
}

// Lets the site work until a random instant: in one generation of six an instant of its
// start-up (connecting, the first read of the list), else one of its passes after its
// first run.
void letItWork(const Site& site, std::mt19937& random) {
  static constexpr auto kStartUp = 60ms, kPasses = 30ms;  // a start-up takes some 50 ms, a pass some 4 ms
  if (std::uniform_int_distribution<int>(0, 5)(random) == 0) {
    std::this_thread::sleep_for(std::chrono::microseconds(
        std::uniform_int_distribution<long>(0, std::chrono::microseconds(kStartUp).count())(random)));
    return;
  }
  ASSERT_TRUE(np::test::waitForText(site.takenPath(), "\n")) << site.name() << " took no run: " << site.errors();
  std::this_thread::sleep_for(std::chrono::microseconds(
      std::uniform_int_distribution<long>(0, std::chrono::microseconds(kPasses).count())(random)));
}

// Kills the site generation after generation at random instants of its passes; before
// each next one, and at the end, the database is checked. The delays cover the start-up
// (connecting, the first read), and the passes after it.
TEST(FleetKill, ASiteKilledAtRandomInstantsLeavesEveryRunCountedOnce) {
  constexpr int kKills = 150;
  const unsigned seed = seedOfTheRun();
  SCOPED_TRACE("NIGHTPICK_KILL_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);

  PostgresServer& server = np::test::sharedPostgresServer();
  const std::string connection = databaseWith(server, killList());
  TempDir folder;
  Observer db(connection);
  long heard = 0;
  int cut = 0;
  for (int generation = 0; generation < kKills; ++generation) {
    Site site(connection, folder.path(), generation);
    ASSERT_NO_FATAL_FAILURE(letItWork(site, random));
    site.kill();
    ASSERT_TRUE(db.waitGone(site)) << site.name();
    ASSERT_NO_FATAL_FAILURE(expectRunsHeardOf(db, site, Cut::Anywhere));
    ASSERT_NO_FATAL_FAILURE(db.expectGroupsConsistent()) << "after " << site.name();
    heard += static_cast<long>(site.logged().size());
    cut += db.runsOf(site).size() > site.logged().size() ? 1 : 0;
    ASSERT_EQ(site.errors(), "") << site.name();
  }
  // The database takes runs as before: no lock or session of a killed site is left.
  Site last(connection, folder.path(), kKills, 25);
  ASSERT_EQ(last.wait(30s), 0) << last.errors();
  expectRunsHeardOf(db, last, Cut::BeforeCommit);
  EXPECT_EQ(last.logged().size(), 25u);
  db.expectGroupsConsistent();
  std::cout << "seed " << seed << ": " << kKills << " kills, " << heard << " runs heard of, " << cut
            << " taken but not heard of\n";
}

// Kills the site while its take waits at one of its steps, after a random number of
// passes: before the commit, the take's transaction is rolled back and nothing of it is
// counted; in the commit, its run is counted once though the site never heard of it. The
// next site takes the same groups at once.
TEST(FleetKill, ASiteKilledInsideItsTakeLeavesItWholeOrNothingOfIt) {
  constexpr int kKills = 32;
  const unsigned seed = seedOfTheRun();
  SCOPED_TRACE("NIGHTPICK_KILL_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> waitUs(0, 3'000);

  PostgresServer& server = np::test::sharedPostgresServer();
  const std::string connection = databaseWith(server, killList());
  TempDir folder;
  Observer db(connection);
  for (int generation = 0; generation < kKills; ++generation) {
    const int step = generation % 4;
    SCOPED_TRACE("held at step " + std::to_string(step));
    Site site(connection, folder.path(), generation);
    ASSERT_NO_FATAL_FAILURE(letItWork(site, random));
    db.hold(step);
    ASSERT_TRUE(db.waitBlocked(site)) << site.name() << site.errors();
    std::this_thread::sleep_for(std::chrono::microseconds(waitUs(random)));
    site.kill();
    db.release();
    ASSERT_TRUE(db.waitGone(site)) << site.name();
    ASSERT_NO_FATAL_FAILURE(expectRunsHeardOf(db, site, step == 3 ? Cut::InCommit : Cut::BeforeCommit));
    ASSERT_NO_FATAL_FAILURE(db.expectGroupsConsistent()) << "after " << site.name();
  }
  Site last(connection, folder.path(), kKills, 25);
  ASSERT_EQ(last.wait(30s), 0) << last.errors();
  expectRunsHeardOf(db, last, Cut::BeforeCommit);
  EXPECT_EQ(last.logged().size(), 25u);
  db.expectGroupsConsistent();
}

// The server is stopped and started while a site's take waits in its commit, and again at
// random instants while the site goes on: the site waits for it, takes its run again as
// it was, and every run it took is in the database once, with no other. The site reaches
// the server over TCP, as it reaches one on another computer.
TEST(FleetKill, AServerRestartedUnderASitesTakesLosesNoRunAndCountsNoneTwice) {
  constexpr int kRestarts = 4;
  const unsigned seed = seedOfTheRun();
  SCOPED_TRACE("NIGHTPICK_KILL_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> delayUs(0, 40'000);

  PostgresServer server(np::test::PostgresRoute::LoopbackTcp);
  const std::string connection = databaseWith(server, killList(), np::test::PostgresRoute::LoopbackTcp);
  TempDir folder;
  std::optional<Site> site;
  {
    Observer db(connection);
    db.hold(3);
    site.emplace(connection, folder.path(), 0, 400, 60);
    ASSERT_TRUE(db.waitBlocked(*site)) << site->errors();
    server.stop();  // ends the test's session too, and the lock with it
    server.start();
  }
  for (int i = 0; i < kRestarts; ++i) {
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
    server.stop();
    server.start();
  }
  ASSERT_EQ(site->wait(60s), 0) << site->errors();
  // The first stop cut the commit short; the others came while the site read or took.
  const std::string output = site->output();
  EXPECT_EQ(output.rfind("away: lost the connection to the list's database while recording a run: the connection broke"
                         " during the commit\n",
                         0),
            0u)
      << output;
  std::size_t outages = 0;
  for (std::size_t at = 0; (at = output.find("away: ", at)) != std::string::npos; ++at) ++outages;
  std::cout << "seed " << seed << ": the site met the database away " << outages << " times in " << kRestarts + 1
            << " restarts\n";
  Observer db(connection);
  const std::vector<TakenRun> logged = site->logged();
  EXPECT_EQ(logged.size(), 400u);
  EXPECT_EQ(db.runsOf(*site), logged);
  db.expectGroupsConsistent();
}

// A TCP proxy on loopback between a site and its server that cuts the connection of the
// takes it is told to, once their commit has gone through: it hands the take's COMMIT to
// the server, waits for the server's answer and closes both sides without passing it on.
// One connection at a time, as a site holds one; every wait bounded.
class CommitCutter {
 public:
  CommitCutter(int serverPort, std::vector<int> takesToCut) : serverPort_(serverPort), cut_(std::move(takesToCut)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(0);
    socklen_t n = sizeof a;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &n) != 0)
      throw std::runtime_error("the proxy cannot listen");
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~CommitCutter() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }
  int port() const { return port_; }
  int cuts() const { return cuts_; }

 private:
  static sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    return a;
  }
  bool readable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
  }

  void serve() {
    while (!stop_) {
      if (!readable(listener_, 50)) continue;
      const int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) continue;
      const int server = ::socket(AF_INET, SOCK_STREAM, 0);
      const sockaddr_in a = loopback(serverPort_);
      if (server >= 0 && ::connect(server, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) pump(client, server);
      ::close(server);
      ::close(client);
    }
  }

  // Passes bytes both ways until either side closes (or the test ends), cutting a take's
  // commit when its turn has come.
  void pump(int client, int server) {
    static const std::string kCommit("Q\0\0\0\x0b" "COMMIT\0", 12);  // a simple query message
    char buffer[65536];
    bool takeUnderWay = false;
    while (!stop_) {
      pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      if (::poll(p, 2, 50) <= 0) continue;
      if (p[0].revents != 0) {
        const ssize_t n = ::read(client, buffer, sizeof buffer);
        if (n <= 0) return;
        const std::string_view bytes(buffer, static_cast<std::size_t>(n));
        if (bytes.find("INSERT INTO runs") != std::string_view::npos) takeUnderWay = true;
        const bool commit = bytes.find(kCommit) != std::string_view::npos;
        if (::write(server, buffer, static_cast<std::size_t>(n)) != n) return;
        if (commit && takeUnderWay) {
          takeUnderWay = false;
          if (std::find(cut_.begin(), cut_.end(), ++takes_) != cut_.end()) {
            // The server's answer means the commit is done; the site never hears it.
            if (readable(server, 10'000)) ++cuts_;
            return;
          }
        }
      }
      if (p[1].revents != 0) {
        const ssize_t n = ::read(server, buffer, sizeof buffer);
        if (n <= 0 || ::write(client, buffer, static_cast<std::size_t>(n)) != n) return;
      }
    }
  }

  int serverPort_, port_ = 0, listener_ = -1;
  std::vector<int> cut_;
  int takes_ = 0;
  std::atomic<int> cuts_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A take whose commit went through while the site lost the connection before it heard so:
// the site waits, takes the run again as it was, and the store finds it there: each run
// is counted and heard of once.
TEST(FleetKill, ATakeCommittedUnheardIsTakenAgainAndCountedOnce) {
  PostgresServer server(np::test::PostgresRoute::LoopbackTcp);
  const std::string database = server.createDatabaseNamed();
  {
    FleetStore store(server.connectionString(database));
    store.init();
    store.importList(parseListFile(killList()), "targets.txt");
  }
  CommitCutter cutter(server.port(), {3, 7});
  TempDir folder;
  Site site("host=127.0.0.1 port=" + std::to_string(cutter.port()) + " user=fleet dbname=" + database +
                " connect_timeout=10",
            folder.path(), 0, 10);
  ASSERT_EQ(site.wait(60s), 0) << site.errors();
  EXPECT_EQ(cutter.cuts(), 2);
  const std::string output = site.output();
  std::size_t cutShort = 0;
  for (std::size_t at = 0; (at = output.find("the connection broke during the commit", at)) != std::string::npos; ++at)
    ++cutShort;
  EXPECT_EQ(cutShort, 2u) << output;

  Observer db(server.connectionString(database));
  const std::vector<TakenRun> logged = site.logged();
  EXPECT_EQ(logged.size(), 10u);
  EXPECT_EQ(db.runsOf(site), logged);
  db.expectGroupsConsistent();
}

}  // namespace
}  // namespace np::fleet
