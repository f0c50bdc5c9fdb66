// Selection passes over real list files against the simulated observatory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/NumberText.h"
#include "selection/Selection.h"
#include "support/TestText.h"
#include "settings/ConfigFile.h"
#include "support/TestWorld.h"

namespace np {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using test::crlf;

constexpr double kSiderealPerSolar = 1.00273790935;

// Moves the clock until the host gives `hourAngle` (hours) for right ascension `ra`.
void setHourAngle(test::TestWorld& station, double ra, double hourAngle) {
  for (int i = 0; i < 5; ++i) {
    double diff = hourAngle - station.util->HourAngle12(ra);
    diff -= 24.0 * std::round(diff / 24.0);
    station.clock.advance(diff * 3600.0 / kSiderealPerSolar);
  }
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  for (std::size_t end; (end = text.find("\r\n", begin)) != std::string::npos; begin = end + 2)
    lines.push_back(text.substr(begin, end - begin));
  EXPECT_EQ(begin, text.size()) << "text after the last CR LF";
  return lines;
}

TEST(SelectionSim, WorkedExample) {
  test::TestWorld station("[site]\nlatitude = 40\n");
  station.writeList({"T1\t05:30:00\t+20:00:00", "**** remaining=3"});
  setHourAngle(station, 5.5, -1.25);
  // The host's own figures for this target at this moment.
  auto ct = station.util->NewCTHereAndNow();
  ct->setRightAscension(5.5);
  ct->setDeclination(20);
  const double elevation = ct->Elevation();
  const double hourAngle = std::fabs(station.util->HourAngle12(5.5));
  ASSERT_NEAR(hourAngle, 1.25, 1e-7);
  ASSERT_NEAR(elevation, 64.35, 0.01);

  station.openLog();
  const std::optional<ChosenGroup> chosen = station.select();
  ASSERT_TRUE(chosen);
  const float bestScore = chosen->score;
  const std::string bestTarget = chosen->targetLine;
  const std::int64_t bestTargetstart = chosen->start;
  EXPECT_EQ(bestScore, 162.5f);
  EXPECT_EQ(bestTarget, "T1\t05:30:00\t+20:00:00");
  EXPECT_EQ(bestTargetstart, 0);
  EXPECT_EQ(station.closeLog(), "Target: T1 RA=5.5, DEC=20\r\n"
                                "  Score=162.5 Elev=" + formatDouble(elevation) +
                                    " TransitAlt=70 HADiff=" + formatDouble(hourAngle) +
                                    "\r\n"
                                    "  >>> New bestscore = 162.5\r\n");
  EXPECT_THAT(station.units.statuses, ElementsAre("Selecting best target"));
  EXPECT_THAT(station.messages.messages, IsEmpty());
}

// The example list of the list format at night at the default site (local sidereal time
// about 7.8 hours): the Garden Field is below the horizon, the Harbour Cluster is finished,
// the Twin Fields are chosen by their second line, and the update then gives the plan and
// list of the plan writer's example.
TEST(SelectionSim, ExampleListFromSelectionToUpdate) {
  test::TestWorld station;
  station.writeList({"Garden Field\t18:40:00\t+33:00:00", "**** remaining=3", "Twin Field North\t05:10:00\t+12:30:00",
                     "Twin Field South\t05:11:30\t+12:05:00", "**** remaining=1",
                     "Harbour Cluster\t21:05:00\t-02:15:00", "**** remaining=0"});
  station.openLog();
  const std::optional<ChosenGroup> chosen = station.select();
  ASSERT_TRUE(chosen);
  const float bestScore = chosen->score;
  const std::string bestTarget = chosen->targetLine;
  const std::int64_t bestTargetstart = chosen->start;
  EXPECT_EQ(bestTarget, "Twin Field South\t05:11:30\t+12:05:00");
  EXPECT_EQ(bestTargetstart, 2);
  EXPECT_EQ(station.doEventsCalls(), 7);

  station.units.quitTime = fromCivil(CivilTime{2024, 3, 10, 12, 45, 0});
  station.units.settings.lastFocusJD = 0;
  station.update(bestTargetstart);

  const std::vector<std::string> log = splitLines(station.closeLog());
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[0], "Target: Twin Field South RA=5.191667, DEC=12.08333");
  EXPECT_THAT(log[1], StartsWith("  Score="));
  EXPECT_EQ(log[2], "  >>> New bestscore = " + formatSingle(bestScore));
  EXPECT_EQ(log[3], "Updating targets file");
  EXPECT_EQ(log[4], "Performing autofocus on this target");
  EXPECT_EQ(log[5], "Remaining count for best target = 0");

  EXPECT_EQ(test::readFileBytes(station.planPath()),
            "#QUITAT 2024-03-10 12:45:00\r\n#autofocus\r\nTwin Field North\t05:10:00\t+12:30:00\r\n"
            "Twin Field South\t05:11:30\t+12:05:00\r\n");
  EXPECT_EQ(test::readFileBytes(station.listPath()),
            crlf({"Garden Field\t18:40:00\t+33:00:00", "**** remaining=3", "Twin Field North\t05:10:00\t+12:30:00",
                  "Twin Field South\t05:11:30\t+12:05:00", "**** remaining=0",
                  "Harbour Cluster\t21:05:00\t-02:15:00", "**** remaining=0"}));

  // The finished group is passed over from now on: nothing is left to choose.
  station.openLog();
  station.messages.messages.clear();
  const std::optional<ChosenGroup> none = station.select();
  EXPECT_FALSE(none);
  EXPECT_EQ(none.value_or(ChosenGroup{}).score, kNoTargetScore);
  EXPECT_EQ(station.closeLog(), crlf(log));
}

// The pass and the update on the world's services, as the loop runs them: the status
// line, the list, the plan and config.ini, with no message.
TEST(SelectionSim, SelectAndUpdateWorkOnTheWorldsServices) {
  test::TestWorld w;
  w.writeListText("Twin Field South\t05:11:30\t+12:05:00\r\n**** remaining=2\r\n");
  w.openLog();
  const std::optional<ChosenGroup> chosen = w.select();
  ASSERT_TRUE(chosen);
  EXPECT_EQ(chosen->targetLine, "Twin Field South\t05:11:30\t+12:05:00");
  EXPECT_EQ(chosen->start, 0);
  EXPECT_EQ(w.status(), "Selecting best target");

  w.units.quitTime = fromCivil(CivilTime{2024, 3, 10, 12, 45, 0});
  w.units.settings.lastFocusJD = 0;
  EXPECT_EQ(w.update(chosen->start), 1);
  w.closeLog();
  EXPECT_EQ(w.status(), "Updating targets file");
  EXPECT_EQ(w.listText(), "Twin Field South\t05:11:30\t+12:05:00\r\n**** remaining=1\r\n");
  EXPECT_EQ(test::readFileBytes(w.planPath()),
            "#QUITAT 2024-03-10 12:45:00\r\n#autofocus\r\nTwin Field South\t05:11:30\t+12:05:00\r\n");
  // SaveConfig ran after the autofocus request: config.ini holds the new time.
  Settings saved;
  loadConfigFile(w.files, w.configPath(), saved);
  EXPECT_NEAR(saved.lastFocusJD, w.clock.julianDateUtc(), 1e-6);
  EXPECT_THAT(w.messages.messages, IsEmpty());
}

TEST(SelectionSim, HundredThousandLineList) {
  test::TestWorld station;
  const double meridian = station.util->HourAngle12(0.0);  // local sidereal time, folded
  const double lat = station.telescope->SiteLatitude();
  auto targetLine = [](const std::string& name, double ra, double dec) {
    return name + "\t" + std::to_string(ra < 0 ? ra + 24 : ra) + "\t" + std::to_string(dec);
  };

  // 10,000 groups of ten lines; all finished but two: a fair one at the top and the best
  // one far beyond 32,767 lines.
  std::vector<std::string> lines;
  lines.reserve(100000);
  constexpr int kGroups = 10000, kFair = 2, kBest = 8999;
  for (int g = 0; g < kGroups; ++g) {
    for (int i = 0; i < 8; ++i) lines.push_back("; group " + std::to_string(g) + " note " + std::to_string(i));
    if (g == kFair) {
      lines.push_back(targetLine("Fair", meridian - 2.0, lat - 20));
      lines.push_back("**** remaining=2");
    } else {
      lines.push_back(targetLine(g == kBest ? "Best" : "Done" + std::to_string(g), meridian, lat - 20));
      lines.push_back(g == kBest ? "**** remaining=1" : "**** remaining=0");
    }
  }
  ASSERT_EQ(lines.size(), 100000u);
  station.writeList(lines);
  station.openLog();

  const std::optional<ChosenGroup> chosen = station.select();
  ASSERT_TRUE(chosen);
  const float bestScore = chosen->score;
  const std::string bestTarget = chosen->targetLine;
  const std::int64_t bestTargetstart = chosen->start;
  EXPECT_EQ(station.doEventsCalls(), 100000);
  EXPECT_EQ(bestTargetstart, 10 * kBest);
  EXPECT_EQ(bestTarget, lines[10 * kBest + 8]);
  EXPECT_NEAR(bestScore, 200.0f, 0.01f);  // on the meridian, culminating at 70 degrees
  EXPECT_THAT(station.messages.messages, IsEmpty());

  station.units.settings.lastFocusJD = 1e9;
  station.update(bestTargetstart);

  std::vector<std::string> expected = lines;
  expected[10 * kBest + 9] = "**** remaining=0";
  EXPECT_TRUE(test::readFileBytes(station.listPath()) == crlf(expected));
  std::vector<std::string> plan{"#QUITAT " + station.util->FormatVar(station.units.quitTime, "General Date")};
  plan.insert(plan.end(), lines.begin() + 10 * kBest, lines.begin() + 10 * kBest + 9);
  EXPECT_EQ(test::readFileBytes(station.planPath()), crlf(plan));

  const std::vector<std::string> log = splitLines(station.closeLog());
  ASSERT_EQ(log.size(), 8u);
  EXPECT_THAT(log[0], StartsWith("Target: Fair RA="));
  EXPECT_THAT(log[3], StartsWith("Target: Best RA="));
  EXPECT_EQ(log[6], "Updating targets file");
  EXPECT_EQ(log[7], "Remaining count for best target = 0");
}

}  // namespace
}  // namespace np
