// Three sites at three longitudes sharing the fleet's list in a real PostgreSQL server for
// a simulated month, on the fleet's timeline; and the fleet's dry run, which never touches
// the database its sites name.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <pqxx/pqxx>
#include <sstream>
#include <string>
#include <vector>

#include "app/runner/FleetRun.h"
#include "fleet/FleetTestLists.h"
#include "support/FleetFolders.h"
#include "support/PostgresServer.h"
#include "support/TestText.h"
#include "targets/ListCopy.h"
#include "targets/RunLog.h"
#include "targets/fleet/DatabaseList.h"
#include "targets/fleet/FleetStore.h"

namespace np::fleet {
namespace {

using np::test::sharedPostgresServer;
using np::test::SiteFolder;

std::string databaseWith(const std::string& list) {
  const std::string connection = sharedPostgresServer().createDatabase();
  FleetStore store(connection);
  store.init();
  store.importList(parseListFile(list), "targets.txt");
  return connection;
}

struct GroupRow {
  std::string name;
  std::optional<int> imported, now;
  std::map<std::string, int> runsBySite;
  int runs = 0;
};

// Each group by its delimiter line: its counts and its runs in the runs table.
std::map<std::int64_t, GroupRow> groupsIn(const std::string& connection) {
  pqxx::connection conn(connection);
  pqxx::read_transaction tx(conn);
  std::map<std::int64_t, GroupRow> groups;
  for (const auto& row : tx.exec("SELECT delimiter_line, name, imported_remaining, remaining FROM groups")) {
    GroupRow& g = groups[row[0].as<std::int64_t>()];
    g.name = pqxx::binarystring(row[1]).str();
    if (!row[2].is_null()) g.imported = row[2].as<int>();
    if (!row[3].is_null()) g.now = row[3].as<int>();
  }
  for (const auto& row : tx.exec("SELECT g.delimiter_line, r.site FROM runs r JOIN groups g ON g.id = r.group_id")) {
    GroupRow& g = groups[row[0].as<std::int64_t>()];
    ++g.runs;
    ++g.runsBySite[row[1].as<std::string>()];
  }
  return groups;
}

// A month of three sites at -110, 15 and 140 degrees of longitude taking their runs from
// one list of 200 groups in the database (a few runs each, some negative counts and some
// that cannot be read). Afterwards each group's fall in the database is its runs there,
// which are the plans of each site's run log; no count was run twice; and the list the
// database gives is what a copy in memory gives after the same takes. Under the address
// sanitizer, which runs it about four times slower, three weeks.
TEST(FleetMonth, ThreeSitesShareTheDatabaseListForAMonth) {
  const std::string list = np::test::spreadFleetList(200, 3, true);
  const std::string connection = databaseWith(list);
  SiteFolder west(32, -110, list), middle(42, 15, list), east(35, 140, "");
  const std::vector<std::pair<std::string, const SiteFolder*>> named = {
      {"kitt", &west}, {"abruzzo", &middle}, {"nagano", &east}};
  std::vector<std::unique_ptr<DatabaseList>> lists;
  std::vector<FleetSite> sites;
  for (const auto& [name, folder] : named) {
    lists.push_back(std::make_unique<DatabaseList>(connection, name));
    FleetSite site;
    site.name = name;
    site.options.programDir = folder->path();
    site.list = lists.back().get();
    sites.push_back(std::move(site));
  }
  FleetOptions options;
  options.start = "2026-12-07T12:00:00Z";
#if defined(__SANITIZE_ADDRESS__)
  options.hours = 21 * 24;
#else
  options.hours = 30 * 24;
#endif
  const auto began = std::chrono::steady_clock::now();
  const FleetResult result = runFleet(sites, options);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  std::printf("%.0f days of three sites took %.1f s\n", options.hours / 24, seconds);
  ASSERT_EQ(result.exitCode, 0) << result.errors[0] << result.errors[1] << result.errors[2];

  const std::map<std::int64_t, GroupRow> groups = groupsIn(connection);
  ASSERT_EQ(groups.size(), 200u);
  std::map<std::string, std::vector<std::string>> logs;
  for (const auto& [name, folder] : named) logs[name] = np::test::splitLines(folder->runLog());
  int runs = 0, sitesOfAGroup = 0;
  for (const auto& [line, g] : groups) {
    SCOPED_TRACE(g.name);
    if (!g.imported) {
      EXPECT_EQ(g.runs, 0);
      continue;
    }
    EXPECT_EQ(g.runs, *g.imported - *g.now);
    if (*g.imported > 0) {
      EXPECT_GE(*g.now, 0);
    }
    for (const auto& [name, folder] : named) {
      const int planned = np::test::countPrefix(logs[name], runningPlanLine(g.name));
      EXPECT_EQ(planned, g.runsBySite.count(name) ? g.runsBySite.at(name) : 0) << name;
    }
    runs += g.runs;
    sitesOfAGroup = std::max(sitesOfAGroup, static_cast<int>(g.runsBySite.size()));
  }
  EXPECT_GT(runs, 200);
  EXPECT_EQ(sitesOfAGroup, 3);  // the sites did share groups
  EXPECT_EQ(static_cast<int>(result.takes.size()), runs);

  // Each count was taken once: a group's takes leave strictly falling counts, and the
  // same takes from a copy in memory leave the database's list.
  ListCopy copy(list);
  std::map<std::int64_t, int> lastLeft;
  for (const FleetTake& take : result.takes) {
    if (auto it = lastLeft.find(take.delimiterLine); it != lastLeft.end()) {
      EXPECT_LT(take.left, it->second) << "line " << take.delimiterLine;
    }
    lastLeft[take.delimiterLine] = take.left;
    EXPECT_EQ(copy.takeRun(take.delimiterLine, static_cast<std::int64_t>(take.unixSeconds), ""), take.left);
  }
  EXPECT_EQ(FleetStore(connection).exportList(), copy.listText());

  // The fleet's report counts what the database holds, and the folders' lists were never written.
  int reported = 0;
  for (const int n : result.report.plans) reported += n;
  EXPECT_EQ(reported, runs);
  EXPECT_EQ(west.listText(), list);
  EXPECT_EQ(middle.listText(), list);
  EXPECT_EQ(east.listText(), "");
}

// A dry run of sites whose observatory.ini names the fleet's database takes every run from
// its copy of the first folder's list: the database keeps its list, no run and no site.
TEST(FleetMonth, TheDryRunLeavesTheDatabaseItsSitesNameUntouched) {
  const std::string list = np::test::spreadFleetList(30, 3, true);
  const std::string connection = databaseWith(list);
  const std::string ini = "[list]\ndatabase = " + connection + "\nsite = ";
  SiteFolder west(32, -110, list, ini + "west\n"), east(35, 140, list, ini + "east\n");
  FleetOptions options;
  options.start = "2026-12-07T12:00:00Z";
  options.hours = 3 * 24;
  std::ostringstream out, err;
  ASSERT_EQ(runFleetDryRun({west.path(), east.path()}, options, out, err), 0) << err.str();
  EXPECT_THAT(out.str(), ::testing::HasSubstr("=== west ("));
  EXPECT_THAT(out.str(), ::testing::HasSubstr("=== east ("));
  EXPECT_THAT(out.str(), ::testing::Not(::testing::HasSubstr("Plans run: 0 (")));

  FleetStore store(connection);
  EXPECT_EQ(store.exportList(), list);
  EXPECT_TRUE(store.sites().empty());
  for (const GroupStatus& g : store.status()) EXPECT_TRUE(g.lastSite.empty()) << g.name;
  EXPECT_EQ(west.listText(), list);
  EXPECT_EQ(east.listText(), list);
}

// The copy a dry run shares takes as the database takes, on a list of every shape: each
// take gives the same answer (refusals too), and both give the same list after.
TEST(FleetMonth, TheDryRunsCopyTakesAsTheDatabaseTakes) {
  const std::string connection = databaseWith(test::kEdgeList);
  FleetStore store(connection);
  ListCopy copy(test::kEdgeList);
  const std::vector<CountedGroup> groups = countedGroups(test::kEdgeList);
  const ListFile parsed = parseListFile(test::kEdgeList);
  ASSERT_EQ(groups.size(), parsed.groups.size());
  for (std::size_t i = 0; i < groups.size(); ++i) {
    EXPECT_EQ(groups[i].delimiterLine, parsed.groups[i].delimiterLine);
    EXPECT_EQ(groups[i].name, parsed.groups[i].name);
    EXPECT_EQ(groups[i].remaining, parsed.groups[i].remaining);
  }
  // Every line of the list, a line past it, and each group again until its count is spent.
  std::int64_t at = 1'796'644'800;
  for (int round = 0; round < 5; ++round) {
    for (std::int64_t line = 1; line <= static_cast<std::int64_t>(parsed.lines.size()) + 1; ++line) {
      ++at;
      EXPECT_EQ(copy.takeRun(line, at, "plan"), store.takeRun("north", line, at, "plan")) << "line " << line;
    }
    EXPECT_EQ(copy.listText(), store.exportList()) << "round " << round;
  }
}

}  // namespace
}  // namespace np::fleet
