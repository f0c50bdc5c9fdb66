// A fleet's dry run: sites at their own longitudes sharing one copy of a list on one
// simulated timeline.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

#include "app/runner/FleetRun.h"
#include "support/FleetFolders.h"
#include "support/TestText.h"
#include "night/ObservingLoop.h"
#include "targets/RunLog.h"

namespace np {
namespace {

using ::testing::HasSubstr;
using test::SiteFolder;

constexpr double kLatitude = 32;
const std::string kStart = "2026-12-07T12:00:00Z";

struct DryRun {
  int exitCode = 0;
  std::string out, err;
};

DryRun dryRun(const std::vector<const SiteFolder*>& sites, double hours) {
  std::vector<std::string> dirs;
  for (const SiteFolder* s : sites) dirs.push_back(s->path());
  FleetOptions options;
  options.start = kStart;
  options.hours = hours;
  std::ostringstream out, err;
  DryRun r;
  r.exitCode = runFleetDryRun(dirs, options, out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

// The fleet's line of a text: the first line that starts with `prefix` after the fleet's heading.
std::string fleetLine(const std::string& out, const std::string& prefix) {
  const std::size_t fleet = out.find("=== the fleet ===");
  if (fleet == std::string::npos) return "";
  const std::size_t at = out.find("\n" + prefix, fleet);
  if (at == std::string::npos) return "";
  return out.substr(at + 1, out.find('\n', at + 1) - at - 1);
}

// Days from the start to the list's end, from the fleet's "List done" line (-1: not done).
double daysToDone(const std::string& out) {
  const std::string line = fleetLine(out, "List done: ");
  const std::size_t comma = line.find(", ");
  return comma == std::string::npos ? -1 : std::stod(line.substr(comma + 2));
}

// A list of the winter sky that keeps one site busy for ten nights is done days sooner by
// two sites of the same latitude far apart in longitude, each group's runs split between
// them and not a run more than the list holds; the copy is the first folder's targets.txt,
// and no folder's list is written.
TEST(FleetRun, ASecondSiteFarAwayFinishesTheListSooner) {
  const std::string list = test::spreadFleetList(60, 20, false, 1, 11);
  SiteFolder aloneWest(kLatitude, -110, list);
  const DryRun alone = dryRun({&aloneWest}, 14 * 24);
  ASSERT_EQ(alone.exitCode, 0) << alone.err;

  SiteFolder west(kLatitude, -110, list), east(kLatitude, 120, "; this site's own list is not read\n");
  const DryRun both = dryRun({&west, &east}, 14 * 24);
  ASSERT_EQ(both.exitCode, 0) << both.err;

  EXPECT_GT(daysToDone(alone.out), 8) << alone.out;
  EXPECT_GT(daysToDone(both.out), 0) << both.out;
  EXPECT_LT(daysToDone(both.out), daysToDone(alone.out) - 3);
  // Each site's season report under its folder's name, then the fleet's.
  const std::string westName = std::filesystem::path(west.path()).filename().string();
  const std::string eastName = std::filesystem::path(east.path()).filename().string();
  EXPECT_THAT(both.out, HasSubstr("=== " + westName + " ("));
  EXPECT_THAT(both.out, HasSubstr("=== " + eastName + " ("));
  EXPECT_EQ(test::countPrefix(test::splitLines(both.out), "Plans run: "), 3);
  EXPECT_EQ(test::countPrefix(test::splitLines(both.out), "Season report: "), 2);

  // The fleet's plans are the sites' season plans, each site's run log's plans.
  std::vector<int> seasonPlans;
  for (const std::string& line : test::splitLines(both.out))
    if (line.rfind("Plans run: ", 0) == 0) seasonPlans.push_back(std::stoi(line.substr(11)));
  ASSERT_EQ(seasonPlans.size(), 3u);
  EXPECT_EQ(seasonPlans[0] + seasonPlans[1], seasonPlans[2]);
  EXPECT_GT(seasonPlans[1], 0);
  EXPECT_EQ(fleetLine(both.out, "Plans run: "), "Plans run: " + std::to_string(seasonPlans[2]) + " (" + westName +
                                                    " " + std::to_string(seasonPlans[0]) + ", " + eastName + " " +
                                                    std::to_string(seasonPlans[1]) + ")");
  EXPECT_EQ(test::countPrefix(test::splitLines(west.runLog()), std::string(kRunningPlanLog)), seasonPlans[0]);
  EXPECT_EQ(test::countPrefix(test::splitLines(east.runLog()), std::string(kRunningPlanLog)), seasonPlans[1]);
  EXPECT_EQ(seasonPlans[2], 60 * 20);  // all of it, not a run more

  EXPECT_EQ(west.listText(), list);
  EXPECT_EQ(east.listText(), "; this site's own list is not read\n");
}

// The same folders and list give the same reports to the byte, whichever thread runs
// faster; the sites are named by their [list] site, the database never reached.
TEST(FleetRun, TheSameFleetGivesTheSameReportsEachTime) {
  const std::string list = test::spreadFleetList(40, 6, true);
  const std::string neverReached =
      "[list]\ndatabase = host=/nonexistent/nightpick-fleet dbname=fleet connect_timeout=1\nsite = ";
  std::string first;
  for (int run = 0; run < 3; ++run) {
    SiteFolder a(kLatitude, -110, list, neverReached + "kitt peak\n"), b(-30, 20, list, neverReached + "sutherland\n"),
        c(kLatitude, 140, list, neverReached + "nagano\n");
    const DryRun r = dryRun({&a, &b, &c}, 4 * 24);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string out = r.out;
    for (const SiteFolder* s : {&a, &b, &c})
      for (std::size_t at; (at = out.find(s->path())) != std::string::npos;) out.replace(at, s->path().size(), "<dir>");
    if (run == 0) {
      first = out;
      EXPECT_THAT(out, HasSubstr("=== kitt peak (<dir>) ==="));
      EXPECT_THAT(out, HasSubstr("=== sutherland (<dir>) ==="));
      EXPECT_THAT(out, HasSubstr("never finishes: -1 at the start"));
      EXPECT_THAT(out, HasSubstr("unreadable count"));
      for (const SiteFolder* s : {&a, &b})
        EXPECT_THAT(s->runLog(), ::testing::Not(HasSubstr(std::string(kWaitingForList))));
    } else {
      EXPECT_EQ(out, first) << "run " << run;
    }
  }
}

TEST(FleetRun, RefusesWhatCannotBeAFleet) {
  SiteFolder a(kLatitude, -110, test::spreadFleetList(3, 1));
  const DryRun twice = dryRun({&a, &a}, 24);
  EXPECT_EQ(twice.exitCode, 1);
  EXPECT_THAT(twice.err, HasSubstr("is given twice"));

  SiteFolder b(kLatitude, 0, "", "[list]\ndatabase = x\nsite = same\n"), c(kLatitude, 90, "", "[list]\ndatabase = y\nsite = same\n");
  const DryRun sameName = dryRun({&b, &c}, 24);
  EXPECT_EQ(sameName.exitCode, 1);
  EXPECT_THAT(sameName.err, HasSubstr("two sites are named 'same'"));

  SiteFolder noList(kLatitude, 0, "");
  std::filesystem::remove(noList.dir.file("targets.txt"));
  const DryRun missing = dryRun({&noList, &a}, 24);
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_THAT(missing.err, HasSubstr("cannot read the list"));
}

}  // namespace
}  // namespace np
