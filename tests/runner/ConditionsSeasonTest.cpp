// A list whose delimiter lines ask for the Moon, a window and a priority, run dry for two
// weeks of a waxing Moon: what every pass chose, read back from the run log, keeps to the
// items, and the items survive every rewrite of the list.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "host/UtcTime.h"
#include "report/SeasonReport.h"
#include "selection/Moon.h"
#include "support/TestText.h"
#include "support/TestWorld.h"
#include "targets/RunLog.h"

namespace np {
namespace {

using test::TestWorld;

// One search of the run log: its instant and what it found.
struct Search {
  double unix = 0;
  std::vector<std::string> eligible;  // "Target: <name>" lines
  std::string ran;                    // the plan's target, if one ran
};

std::vector<Search> searches(const std::vector<std::string>& log, double utcOffsetHours) {
  std::vector<Search> out;
  for (const std::string& line : log) {
    if (line.rfind(kSearchBanner, 0) == 0) {
      double local = 0;
      EXPECT_TRUE(parseUtcInstant(line.substr(kSearchBanner.size()), local)) << line;
      out.push_back(Search{local - utcOffsetHours * 3600.0, {}, {}});
    } else if (!out.empty() && line.rfind("Target: ", 0) == 0) {
      out.back().eligible.push_back(line.substr(8, line.find(" RA=") - 8));
    } else if (!out.empty() && line.rfind(kRunningPlanLog, 0) == 0) {
      out.back().ran = line.substr(kRunningPlanLog.size());
    }
  }
  return out;
}

bool has(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(ConditionsSeason, TwoWeeksKeepToTheMoonTheWindowAndThePriority) {
  const std::vector<std::string> delimiters{
      "**** remaining=300 moon=30",                                                 // Pleiades
      "**** remaining=300 moonalt=0",                                               // Orion
      "**** after=2026-12-15T00:00:00Z remaining=300 before=2026-12-18T00:00:00Z",  // Crab
      "**** remaining=300 priority=1 moon=50 moonwidth=5",                          // Triangulum
      "**** remaining=300"};                                                        // Lagoon
  TestWorld f;
  f.writeList({"Pleiades\t03:47:24\t+24:07:00", delimiters[0], "Orion\t05:35:17\t-05:23:28", delimiters[1],
               "Crab\t05:34:32\t+22:00:52", delimiters[2], "#COUNT 2", "Triangulum\t01:33:51\t+30:39:37",
               delimiters[3], "Sculptor\t00:47:33\t-25:17:18", delimiters[4]});
  const HeadlessResult result = f.runHeadless("2026-12-12T19:00:00Z", 14 * 24);
  ASSERT_EQ(result.exitCode, 0) << result.error;
  EXPECT_TRUE(result.messages.empty());

  const std::vector<Search> passes = searches(f.runLogLines(), result.utcOffsetHours);
  std::map<std::string, int> runs, eligibleWithMoonUp;
  int prioritySearches = 0;
  for (const Search& s : passes) {
    if (!s.ran.empty()) ++runs[s.ran];
    const MoonPlace moon = moonPlace(julianDateFromUnix(s.unix), 31.96, -111.6);
    const std::string when = formatUtc(s.unix);
    // A group kept from the Moon is eligible only while it is far enough or down (a
    // margin for the seconds between the banner and the pass).
    if (has(s.eligible, "Pleiades")) {
      eligibleWithMoonUp["Pleiades"] += moon.altitude > 0;
      EXPECT_TRUE(moon.altitude < 0.1 || angularSeparation(3.79, 24.11667, moon.rightAscension, moon.declination) > 29.9)
          << when;
    }
    if (has(s.eligible, "Triangulum")) {
      eligibleWithMoonUp["Triangulum"] += moon.altitude > 0;
      EXPECT_TRUE(moon.altitude < 0.1 ||
                  angularSeparation(1.564167, 30.66028, moon.rightAscension, moon.declination) >
                      requiredMoonSeparation(50, 5.0, moon.ageDays) - 0.1)
          << when;
    }
    if (has(s.eligible, "Orion")) {
      EXPECT_LT(moon.altitude, 0.1) << when;
    }
    if (has(s.eligible, "Crab")) {
      EXPECT_GE(s.unix, 1797292800.0 - 1) << when;  // 2026-12-15T00:00:00Z
      EXPECT_LT(s.unix, 1797552000.0 + 1) << when;  // 2026-12-18T00:00:00Z
    }
    // The priority wins whenever it is eligible, over better scores.
    if (has(s.eligible, "Triangulum")) {
      ++prioritySearches;
      EXPECT_EQ(s.ran, "Triangulum") << when;
    }
  }
  std::printf("plans: Pleiades %d, Orion %d, Crab %d, Triangulum %d, Sculptor %d; Pleiades eligible with the Moon "
              "up in %d searches; Triangulum eligible in %d of %zu\n",
              runs["Pleiades"], runs["Orion"], runs["Crab"], runs["Triangulum"], runs["Sculptor"],
              eligibleWithMoonUp["Pleiades"], prioritySearches, passes.size());
  // Each rule was put to the test: every group ran, some with the Moon up.
  for (const char* name : {"Pleiades", "Orion", "Crab", "Triangulum", "Sculptor"}) {
    EXPECT_GT(runs[name], 0) << name;
  }
  EXPECT_GT(eligibleWithMoonUp["Pleiades"], 0);
  EXPECT_GT(prioritySearches, 10);
  EXPECT_LT(runs["Triangulum"], static_cast<int>(passes.size()) / 2) << "the Moon kept the priority group out at times";

  // The season report names the nights each group lost to the Moon: nights it was kept
  // out by the Moon alone and ran no plan.
  ASSERT_TRUE(result.isSeason);
  const SeasonReport& season = result.season;
  std::map<std::string, const SeasonGroup*> byName;
  for (const SeasonGroup& g : season.groups) byName[g.name] = &g;
  EXPECT_TRUE(byName.at("Sculptor")->nightsLostToTheMoon.empty());
  EXPECT_TRUE(byName.at("Crab")->nightsLostToTheMoon.empty());
  const std::vector<std::uint32_t>& lost = byName.at("Orion")->nightsLostToTheMoon;
  EXPECT_FALSE(lost.empty());
  for (const std::uint32_t night : lost) {
    for (const SeasonPlan& plan : season.plans) {
      const bool orion = plan.group < season.groups.size() && season.groups[plan.group].name == "Orion";
      EXPECT_FALSE(orion && plan.night == night) << "a night with a plan of its own is not lost";
    }
  }
  EXPECT_THAT(formatSeasonReport(season), ::testing::HasSubstr("Nights lost to the Moon (kept out by it, no plan run):\n"));
  EXPECT_THAT(formatSeasonReport(season),
              ::testing::HasSubstr("  Orion: " + std::to_string(lost.size()) + (lost.size() == 1 ? " night (" : " nights (")));

  // Every rewrite kept the items where they were, only the count going down.
  const std::vector<std::string> list = test::splitLines(f.listText());
  ASSERT_EQ(list.size(), 11u);
  const std::vector<std::pair<std::size_t, std::string>> groups{
      {1, "Pleiades"}, {3, "Orion"}, {5, "Crab"}, {8, "Triangulum"}, {10, "Sculptor"}};
  for (std::size_t g = 0; g < groups.size(); ++g) {
    std::string expected = delimiters[g];
    const std::string count = std::to_string(300 - runs[groups[g].second]);
    expected.replace(expected.find("remaining=300") + 10, 3, count);
    EXPECT_EQ(list[groups[g].first], expected);
  }
}

// A night's report draws the Moon's altitude and marks when it kept a group out.
TEST(ConditionsSeason, TheNightReportCarriesTheMoon) {
  TestWorld f;
  f.writeList({"Pleiades\t03:47:24\t+24:07:00", "**** remaining=50 moon=40", "Sculptor\t00:47:33\t-25:17:18",
               "**** remaining=50"});
  const HeadlessResult result = f.runHeadless("2026-12-19T19:00:00Z", 24);
  ASSERT_EQ(result.exitCode, 0) << result.error;
  const NightReport& r = result.report;
  ASSERT_FALSE(r.sun.empty());
  ASSERT_EQ(r.moon.size(), r.sun.size());
  for (std::size_t i = 0; i < r.moon.size(); i += 37) {
    EXPECT_EQ(r.moon[i].unix, r.sun[i].unix);
    EXPECT_DOUBLE_EQ(r.moon[i].elevation, moonPlace(julianDateFromUnix(r.moon[i].unix), 31.96, -111.6).altitude);
  }
  // The 10-day Moon stands 26 degrees from the Pleiades that evening: kept out while it is up.
  ASSERT_FALSE(r.moonKeptOut.empty());
  for (const MoonKeptOut& mark : r.moonKeptOut) {
    EXPECT_EQ(mark.name, "Pleiades");
    const MoonPlace moon = moonPlace(julianDateFromUnix(mark.unixSeconds), 31.96, -111.6);
    EXPECT_GT(moon.altitude, 0);
    EXPECT_LT(angularSeparation(3.79, 24.11667, moon.rightAscension, moon.declination), 40.1);
  }
  for (std::size_t i = 1; i < r.moonKeptOut.size(); ++i)
    EXPECT_GE(r.moonKeptOut[i].unixSeconds - r.moonKeptOut[i - 1].unixSeconds, EligibilityTally::kMoonMarkSeconds);
}

}  // namespace
}  // namespace np
