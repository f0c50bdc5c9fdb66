// Runs of more than a day: a season of nights through the headless runner.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "support/TempDir.h"
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
// with the program's own syncs and Sun. Weather comes and goes, so that runs end early.
TEST(SeasonRun, WhatADryRunLeavesOutChangesNoFileOfASeason) {
  const std::string ini =
      "[weather]\nconnected = true\nunsafe = 2026-12-09T03:00:00Z/2026-12-09T06:30:00Z, "
      "2026-12-11T08:10:00Z/2026-12-11T09:00:00Z\n";
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

}  // namespace
}  // namespace np
