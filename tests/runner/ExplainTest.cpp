// nightpick-sim --explain: the rows come from the selection's own pass, so for any list and
// site they must agree with a real pass at the same instant: the same chosen group, and the
// same eligible groups as the real pass logs. And it leaves every file as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <random>
#include <sstream>

#include "app/runner/Explain.h"
#include "host/UtcTime.h"
#include "settings/ConfigFile.h"
#include "support/TestText.h"
#include "support/TestWorld.h"

namespace np::test {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;

std::string isoUtc(double unixSeconds) {
  using namespace std::chrono;
  const sys_seconds t{seconds{static_cast<long long>(unixSeconds)}};
  const sys_days day = floor<days>(t);
  const year_month_day ymd{day};
  const hh_mm_ss<seconds> hms{t - day};
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02lldZ", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<long>(hms.hours().count()), static_cast<long>(hms.minutes().count()),
                static_cast<long long>(hms.seconds().count()));
  return text;
}

std::string hms(double value, bool sign) {
  const bool negative = value < 0;
  const long s = std::lround(std::fabs(value) * 3600);
  char text[32];
  std::snprintf(text, sizeof text, "%s%02ld:%02ld:%02ld", sign ? (negative ? "-" : "+") : "", s / 3600, s / 60 % 60,
                s % 60);
  return text;
}

// A random site, mount, limits, window and list of 1..40 groups (some with count 0, some
// with a target line the pass cannot read).
struct RandomCase {
  std::string ini, list;
  Settings settings;
};

std::vector<std::string> splitFields(const std::string& line) {
  std::vector<std::string> fields(1);
  for (char c : line) {
    if (c == ',')
      fields.emplace_back();
    else
      fields.back() += c;
  }
  return fields;
}

RandomCase randomCase(std::mt19937& gen) {
  auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(gen); };
  auto chance = [&](double p) { return std::bernoulli_distribution(p)(gen); };
  RandomCase c;
  char ini[512];
  std::snprintf(ini, sizeof ini,
                "[site]\nlatitude = %.3f\nlongitude = %.3f\n[mount]\nalignment_mode = %d\ntilt_up_limit = %.1f\n"
                "[limits]\nminimum_elevation = %.1f\nhorizon = 0:%.0f 90:%.0f 180:%.0f 270:%.0f\n",
                uniform(-80, 80), uniform(-180, 180), static_cast<int>(gen() % 3), chance(0.5) ? 90.0 : uniform(20, 85),
                uniform(0, 30), uniform(0, 25), uniform(0, 25), uniform(0, 25), uniform(0, 25));
  c.ini = ini;
  c.settings.maxElevation = static_cast<float>(chance(0.5) ? 90 : uniform(40, 90));
  c.settings.minAzimuth = static_cast<float>(chance(0.5) ? 0 : uniform(0, 180));
  c.settings.maxAzimuth = static_cast<float>(chance(0.5) ? 360 : uniform(180, 360));
  const int groups = 1 + static_cast<int>(gen() % 40);
  for (int g = 0; g < groups; ++g) {
    if (chance(0.3)) c.list += "#COUNT 2\r\n";
    if (chance(0.05))
      c.list += "Broken " + std::to_string(g) + "\tnot a time\t+10:00:00\r\n";
    else
      c.list += "Field " + std::to_string(g) + "\t" + hms(uniform(0, 23.99), false) + "\t" + hms(uniform(-89, 89), true) + "\r\n";
    c.list += "**** remaining=" + std::to_string(chance(0.15) ? 0 : 1 + gen() % 9) + "\r\n";
  }
  return c;
}

TEST(Explain, AgreesWithARealPassAtTheSameInstantForRandomListsAndSites) {
  std::mt19937 gen(20261207);
  int withChoice = 0;
  for (int round = 0; round < 40; ++round) {
    const RandomCase c = randomCase(gen);
    const double instant = std::floor(kSimNightUnix + std::uniform_real_distribution<double>(0, 86400)(gen));
    TestWorld w(c.ini, instant);
    w.writeListText(c.list);
    w.units.settings = c.settings;
    saveConfigFile(w.files, w.configPath(), c.settings);
    SCOPED_TRACE("round " + std::to_string(round) + " at " + isoUtc(instant) + "\n" + c.ini);

    std::ostringstream err;
    const ExplainResult explained = explainSelection(ExplainOptions{w.programDir(), "", isoUtc(instant)}, err);
    ASSERT_EQ(explained.exitCode, 0) << explained.error;
    EXPECT_FALSE(std::filesystem::exists(w.runLogPath()));
    EXPECT_EQ(w.listText(), c.list);

    w.openLog();
    const std::optional<ChosenGroup> chosen = w.select();
    const std::string log = w.closeLog();

    ASSERT_EQ(explained.chosen.has_value(), chosen.has_value());
    withChoice += chosen.has_value();
    if (chosen) {
      const ExplainRow& row = explained.rows[*explained.chosen];
      EXPECT_EQ(row.start, chosen->start);
      EXPECT_EQ(row.targetLine, chosen->targetLine);
      EXPECT_EQ(row.score, chosen->score);
      EXPECT_EQ(row.rank, 1);
    }
    // Every eligible row is a "Target:" line of the real pass, in the same order; every
    // other row names the first test it failed (or its unreadable target line).
    std::vector<std::string> logged, eligible;
    for (const std::string& line : splitLines(log))
      if (line.rfind("Target: ", 0) == 0) logged.push_back(line.substr(8, line.find(" RA=") - 8));
    int groups = 0;
    for (const ExplainRow& row : explained.rows) {
      ++groups;
      if (row.eligible) {
        eligible.push_back(row.name);
        EXPECT_FALSE(row.firstFailure) << row.name;
      } else {
        EXPECT_TRUE(row.firstFailure || !row.parsed) << row.name;
        EXPECT_EQ(row.rank, 0);
      }
    }
    EXPECT_EQ(eligible, logged);
    EXPECT_EQ(groups, static_cast<int>(std::count(c.list.begin(), c.list.end(), '*')) / 4);
  }
  // Both kinds of pass were met: some chose a group, some found none.
  EXPECT_GT(withChoice, 5);
  EXPECT_LT(withChoice, 40);
}

TEST(Explain, NamesEachTestWithItsFiguresInTextAndCsv) {
  // Night at the default site (equatorial mount): one group on the meridian, one below the
  // horizon, one run out, one with a target line the pass cannot read.
  TestWorld w;
  const double ra = w.meridianRa(kSimNightUnix);
  w.writeListText("Up\t" + hms(ra, false) + "\t+30:00:00\r\n**** remaining=2\r\n" +
                  "Down\t" + hms(std::fmod(ra + 12, 24), false) + "\t+10:00:00\r\n**** remaining=2\r\n" +
                  "Done\t" + hms(ra, false) + "\t+35:00:00\r\n**** remaining=0\r\n" +
                  "Odd\tsoon\t+35:00:00\r\n**** remaining=1\r\n");
  std::ostringstream err;
  const ExplainResult r = explainSelection(ExplainOptions{w.programDir(), "", isoUtc(kSimNightUnix)}, err);
  ASSERT_EQ(r.rows.size(), 4u);
  EXPECT_EQ(r.rows[1].firstFailure, EligibilityTest::MinimumElevation);
  EXPECT_FALSE(r.rows[1].tests[static_cast<int>(EligibilityTest::Horizon)]) << "the horizon is asked only past the minimum";
  EXPECT_EQ(r.rows[2].firstFailure, EligibilityTest::Count);
  EXPECT_FALSE(r.rows[3].parsed);
  ASSERT_TRUE(r.chosen);
  EXPECT_EQ(*r.chosen, 0u);
  EXPECT_THAT(err.str(), HasSubstr("message: "));

  const std::vector<std::string> text = splitLines(formatExplainText(r));
  ASSERT_EQ(text.size(), 8u);
  EXPECT_THAT(text[0], HasSubstr("4 groups, 1 eligible"));
  EXPECT_THAT(text[1], HasSubstr("declination against the mount's tilt-up limit"));
  EXPECT_THAT(text[3], HasSubstr("30<=90"));
  EXPECT_THAT(text[4], HasSubstr("<=11 FAIL"));
  EXPECT_THAT(text[4], HasSubstr("min-elevation"));
  EXPECT_THAT(text[5], HasSubstr("0 FAIL"));
  EXPECT_THAT(text[6], HasSubstr("target line"));
  EXPECT_EQ(text[7].rfind("Chosen: Up (start 0), score ", 0), 0u) << text[7];

  const std::vector<std::string> csv = splitLines(formatExplainCsv(r));
  ASSERT_EQ(csv.size(), 5u);
  EXPECT_EQ(csv[1].rfind("0,Up,2,true,", 0), 0u) << csv[1];
  EXPECT_THAT(csv[1], HasSubstr(",30,90,pass,"));
  EXPECT_THAT(csv[1], EndsWith(",1,true"));
  EXPECT_THAT(csv[2], HasSubstr(",fail,,,pass,-,-,-,-,-,-,0,min-elevation,false,,,false"));
  EXPECT_THAT(csv[4], HasSubstr("Odd\tsoon\t+35:00:00,1,false,"));
}

TEST(Explain, ShowsTheMoonTheWindowAndThePriority) {
  // 2026-12-20 03:00 UTC at the default site: the Moon 73.5 degrees up at RA 1.9718 h,
  // Dec +16.958 (PyEphem), 10.3 days old.
  TestWorld w;
  double at = 0;
  ASSERT_TRUE(parseUtcInstant("2026-12-20T03:00:00Z", at));
  const std::string ra = hms(w.meridianRa(at), false);
  w.writeListText(std::string("Near\t01:58:18\t+24:57:29\r\n**** remaining=2 moon=10\r\n") +
                  "MoonDown\t" + ra + "\t+20:00:00\r\n**** remaining=2 moonalt=0\r\n" +
                  "Later\t" + ra + "\t+20:00:00\r\n**** remaining=2 after=2027-01-10T00:00:00Z\r\n" +
                  "Best\t" + ra + "\t+25:00:00\r\n**** remaining=2\r\n" +
                  "Urgent\t" + ra + "\t+32:00:00\r\n**** remaining=2 priority=1 moon=10 moonwidth=7\r\n");
  std::ostringstream err;
  const ExplainResult r = explainSelection(ExplainOptions{w.programDir(), "", "2026-12-20T03:00:00Z"}, err);
  ASSERT_EQ(r.exitCode, 0) << r.error;
  ASSERT_EQ(r.rows.size(), 5u);
  EXPECT_EQ(r.rows[0].firstFailure, EligibilityTest::Moon);
  EXPECT_EQ(r.rows[1].firstFailure, EligibilityTest::MoonAltitude);
  EXPECT_EQ(r.rows[2].firstFailure, EligibilityTest::Window);
  ASSERT_TRUE(r.chosen);
  EXPECT_EQ(*r.chosen, 4u) << "the priority wins over the better score";
  EXPECT_EQ(r.rows[4].rank, 1);
  EXPECT_EQ(r.rows[3].rank, 2);
  EXPECT_TRUE(err.str().empty()) << err.str();

  std::vector<std::string> text = splitLines(formatExplainText(r));
  ASSERT_EQ(text.size(), 10u);
  EXPECT_EQ(text[2], "moon: the Moon 73.53 degrees high at azimuth 152.69, 10.3 days old (full at 14.8)");
  text.erase(text.begin() + 2);
  std::istringstream headings(text[2]);
  const std::vector<std::string> columns{std::istream_iterator<std::string>(headings), {}};
  EXPECT_EQ(columns, (std::vector<std::string>{"start", "name", "count", "tilt-up", "max-elevation", "azimuth",
                                               "min-elevation", "horizon", "count", "moon", "moon-altitude", "window",
                                               "priority", "fails", "score", "rank"}));
  EXPECT_THAT(text[3], HasSubstr("<10 FAIL"));
  EXPECT_THAT(text[3], EndsWith("moon"));
  EXPECT_THAT(text[4], HasSubstr(">=0 FAIL"));
  EXPECT_THAT(text[4], EndsWith("moon-altitude"));
  EXPECT_THAT(text[5], HasSubstr("opens 2027-01-10 00:00:00 FAIL"));
  EXPECT_THAT(text[5], EndsWith("window"));
  EXPECT_EQ(text[8].rfind("Chosen: Urgent (start 8), score ", 0), 0u) << text[8];

  const std::vector<std::string> csv = splitLines(formatExplainCsv(r));
  ASSERT_EQ(csv.size(), 6u);
  EXPECT_THAT(csv[0], HasSubstr(",count_test,moon_separation,moon_required,moon_test,moon_altitude,moon_altitude_test,"
                                "window_test,priority,first_failure,"));
  // The Moon's figures: the separation (8 degrees), the 10 needed, and its altitude.
  const std::vector<std::string> near = splitFields(csv[1]);
  const std::vector<std::string> header = splitFields(csv[0]);
  auto field = [&](const std::vector<std::string>& row, const std::string& name) {
    const auto at = std::find(header.begin(), header.end(), name);
    return at == header.end() ? std::string("?") : row[static_cast<std::size_t>(at - header.begin())];
  };
  EXPECT_NEAR(std::stod(field(near, "moon_separation")), 8.0, 0.1);
  EXPECT_EQ(field(near, "moon_required"), "10");
  EXPECT_EQ(field(near, "moon_test"), "fail");
  EXPECT_NEAR(std::stod(field(near, "moon_altitude")), 73.5, 0.1);
  EXPECT_EQ(field(near, "moon_altitude_test"), "-");
  EXPECT_EQ(field(near, "window_test"), "-");
  EXPECT_EQ(field(near, "first_failure"), "moon");
  const std::vector<std::string> down = splitFields(csv[2]);
  EXPECT_EQ(field(down, "moon_test"), "-");
  EXPECT_EQ(field(down, "moon_altitude_test"), "fail");
  EXPECT_EQ(field(down, "first_failure"), "moon-altitude");
  const std::vector<std::string> later = splitFields(csv[3]);
  EXPECT_EQ(field(later, "window_test"), "fail");
  EXPECT_EQ(field(later, "moon_altitude"), "-");
  EXPECT_EQ(field(later, "first_failure"), "window");
  const std::vector<std::string> urgent = splitFields(csv[5]);
  EXPECT_EQ(field(urgent, "priority"), "1");
  EXPECT_EQ(field(urgent, "moon_test"), "pass");
  EXPECT_NEAR(std::stod(field(urgent, "moon_required")), 7.1, 0.1) << "10 degrees 4.5 days from full";
  EXPECT_EQ(field(urgent, "chosen"), "true");
  EXPECT_EQ(field(splitFields(csv[4]), "priority"), "0");
}

}  // namespace
}  // namespace np::test
