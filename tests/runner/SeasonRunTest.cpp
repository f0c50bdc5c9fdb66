// Runs of more than a day: a season of nights through the headless runner.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <numeric>

#include "report/SeasonReport.h"
#include "support/TempDir.h"
#include "targets/RunLog.h"
#include "host/AcquisitionLog.h"
#include "host/UtcTime.h"
#include "support/TestText.h"
#include "support/TestWorld.h"

namespace np {
namespace {

using test::TestWorld;

// Groups spread through the sky's right ascensions, enough for every night of a winter.
std::vector<std::string> spreadList(int groups, int remaining) {
  std::vector<std::string> lines;
  for (int i = 0; i < groups; ++i) {
    const int ra = i * 24 * 60 / groups;  // minutes
    char target[96];
    std::snprintf(target, sizeof target, "Field %03d\t%02d:%02d:00\t%+03d:%02d:00", i, ra / 60, ra % 60,
                  -30 + (i * 37) % 100, (i * 13) % 60);
    lines.push_back("#COUNT 2");
    lines.push_back(target);
    lines.push_back("**** remaining=" + std::to_string(remaining));
  }
  return lines;
}

// Every file a run leaves in the program folder and the observatory's, by path.
std::map<std::string, std::string> filesOf(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    if (entry.is_regular_file())
      files[std::filesystem::relative(entry.path(), folder).generic_string()] = test::readFileBytes(entry.path().string());
  return files;
}

// Where two texts part: the first line that differs, or "" when they are equal.
std::string firstDifference(const std::string& a, const std::string& b) {
  if (a == b) return "";
  const auto la = test::splitLines(a), lb = test::splitLines(b);
  for (std::size_t i = 0; i < std::max(la.size(), lb.size()); ++i) {
    const std::string x = i < la.size() ? la[i] : "<end>", y = i < lb.size() ? lb[i] : "<end>";
    if (x != y) return "line " + std::to_string(i + 1) + ": '" + x + "' / '" + y + "'";
  }
  return "the line ends differ";
}

// A dry run leaves out the syncs and takes the Sun from a daily table: the list, the
// plans, the run log and the acquisition's log of a season are the same to the byte as
// with the program's own syncs and Sun. Weather comes and goes (the same seed each time,
// so the same weather), so that plans end early and nights are lost.
TEST(SeasonRun, WhatADryRunLeavesOutChangesNoFileOfASeason) {
  const std::string ini =
      "[weather]\nconnected = true\nclear_nights = 0.5\nunsafe_spell = 2\nseed = 11\n"
      "unsafe = 2026-12-11T08:10:00Z/2026-12-11T09:00:00Z\n";
  std::map<std::string, std::string> left[2];
  for (int exact = 0; exact < 2; ++exact) {
    TestWorld f(ini);
    f.writeList(spreadList(60, 3));
    HeadlessOptions options;
    options.start = "2026-12-07T12:00:00Z";
    options.hours = 4 * 24;
    options.diskSync = exact ? DiskSync::Always : DiskSync::Never;
    options.interpolatedSun = !exact;
    const HeadlessResult r = f.runHeadless(options);
    ASSERT_EQ(r.exitCode, 0) << r.error;
    left[exact] = filesOf(f.programDir());
    for (auto& [path, text] : left[exact])  // the folder's own name differs
      for (std::size_t at; (at = text.find(f.programDir())) != std::string::npos;)
        text.replace(at, f.programDir().size(), "<folder>");
    EXPECT_GT(test::countPrefix(test::splitLines(left[exact]["observatory/Logs/Nightpick.log"]),
                                "Running ACP plan for selected target:"),
              100);
  }
  ASSERT_EQ(left[0].size(), left[1].size());
  for (const auto& [path, text] : left[1]) {
    ASSERT_TRUE(left[0].count(path)) << path;
    EXPECT_EQ(firstDifference(left[0][path], text), "") << path;
  }
}

// The night (index from the season's first) of a UTC instant: local noon to local noon.
std::size_t nightOf(const SeasonReport& r, double unix) {
  std::size_t n = 0;
  while (n + 1 < r.nights.size() && unix >= r.nights[n + 1].windowStart) ++n;
  return n;
}

// The season's rows, night by night and group by group, against the run log, the
// acquisition log and the list the run left.
TEST(SeasonRun, TheSeasonsRowsAgreeWithTheLogsAndTheList) {
  TestWorld f("[weather]\nconnected = true\nclear_nights = 0.4\nunsafe_spell = 3\nseed = 5\n");
  std::vector<std::string> list = spreadList(40, 4);
  list.insert(list.end(), {"Too Far South\t12:00:00\t-85:00:00", "**** remaining=2"});
  f.writeList(list);
  const HeadlessResult result = f.runHeadless("2026-12-07T19:00:00Z", 8 * 24);
  ASSERT_EQ(result.exitCode, 0) << result.error;
  ASSERT_TRUE(result.isSeason);
  EXPECT_TRUE(result.statuses.empty());  // a season keeps none
  const SeasonReport& r = result.season;
  ASSERT_EQ(r.nights.size(), 8u);  // from noon of the 7th to noon of the 15th, local
  EXPECT_EQ(formatGeneralDate(r.nights.front().evening).substr(0, 10), "2026-12-07");

  // Plans and searches by night, from the run log's search stamps (local time).
  std::vector<int> plans(r.nights.size()), images(r.nights.size());
  std::map<std::string, int> plansOf;
  int searches = 0;
  double searchUnix = 0;
  for (const std::string& line : f.runLogLines()) {
    const RunLogLine read = readRunLogLine(line);
    if (read.entry == RunLogEntry::Search) {
      ++searches;
      CivilTime civil;
      ASSERT_TRUE(parseIsoDateTime(std::string(read.when), civil));
      searchUnix = unixFromLocal(fromCivil(civil), result.utcOffsetHours);
    } else if (read.entry == RunLogEntry::RunningPlan) {
      ++plans[nightOf(r, searchUnix)];
      ++plansOf[std::string(read.name)];
    }
  }
  int exposures = 0;
  std::map<std::string, int> imagesOf;
  for (const AcquisitionEvent& e : readAcquisitionLog(f.acquisitionLogPath()))
    if (e.kind == acqlog::kExposure) {
      ++images[nightOf(r, e.utc)];
      ++imagesOf[e.text];
      ++exposures;
    }
  EXPECT_EQ(r.searches, searches);
  EXPECT_EQ(static_cast<int>(r.plans.size()), std::accumulate(plans.begin(), plans.end(), 0));
  EXPECT_EQ(r.imagesTaken, exposures);
  int nightsWithWeather = 0;
  for (std::size_t n = 0; n < r.nights.size(); ++n) {
    const SeasonNight& night = r.nights[n];
    EXPECT_EQ(night.plans, plans[n]) << "night " << n;
    EXPECT_EQ(night.images, images[n]) << "night " << n;
    // Waits happen in the dark only; everything fits in the night's dark time.
    EXPECT_GT(night.darkSeconds, 10 * 3600.0);
    EXPECT_LE(night.weatherSeconds + night.noTargetSeconds + night.exposingSeconds, night.darkSeconds + 600)
        << "night " << n;
    nightsWithWeather += night.weatherSeconds > 0;
  }
  EXPECT_GE(nightsWithWeather, 2);
  EXPECT_LT(nightsWithWeather, 8);
  EXPECT_GT(r.weatherSeconds, 3600.0);

  // Groups: plans and images as the logs say, and counts as the list says now.
  std::map<std::string, int> left;
  std::string previous;
  for (const std::string& l : test::splitLines(f.listText())) {
    if (l.rfind("**** remaining=", 0) == 0) left[previous.substr(0, previous.find('\t'))] = std::stoi(l.substr(15));
    previous = l;
  }
  ASSERT_EQ(r.groups.size(), 41u);
  int finished = 0;
  for (const SeasonGroup& g : r.groups) {
    EXPECT_EQ(g.plans, plansOf[g.name]) << g.name;
    EXPECT_EQ(g.images, imagesOf[g.name]) << g.name;
    EXPECT_EQ(g.remainingAtStart - g.plans, left[g.name]) << g.name;
    EXPECT_EQ(g.finishedNight >= 0, left[g.name] == 0) << g.name;
    finished += g.finishedNight >= 0;
  }
  EXPECT_GT(finished, 0);
  const SeasonGroup& south = r.groups.back();
  EXPECT_TRUE(south.neverEligible);
  EXPECT_FALSE(south.keptOutBy.empty());

  // The text: a row per night and per group, after the run's status lines.
  const std::string text = formatSeasonReport(r);
  EXPECT_NE(f.headlessOut.find(text), std::string::npos);
  for (const SeasonNight& night : r.nights)
    EXPECT_NE(text.find("\n" + formatGeneralDate(night.evening).substr(0, 10) + " "), std::string::npos);
  EXPECT_NE(text.find("Too Far South      0       0  never eligible: " + south.keptOutBy), std::string::npos) << text;
}

// A day or less is still one night's report.
TEST(SeasonRun, ADayOrLessKeepsTheNightReport) {
  TestWorld f;
  f.writeList(spreadList(10, 2));
  const HeadlessResult result = f.runHeadless("2026-12-07T19:00:00Z", 24);
  ASSERT_EQ(result.exitCode, 0) << result.error;
  EXPECT_FALSE(result.isSeason);
  EXPECT_NE(f.headlessOut.find("Night report: "), std::string::npos);
  EXPECT_EQ(f.headlessOut.find("Season report: "), std::string::npos);
}

}  // namespace
}  // namespace np
