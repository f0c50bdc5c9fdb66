// The run log's lines read back as they were written: each kind of entry the reports use,
// names that hold what the line's own separators look like, and lines cut short.
#include "targets/RunLog.h"

#include <gtest/gtest.h>

#include <string>

namespace np {
namespace {

TEST(RunLog, EveryEntryTheReportsUseReadsBackAsWritten) {
  // The reading points into the line: each line is kept while it is looked at.
  std::string line = searchBannerLine("12/7/2026 10:05:03 PM");
  RunLogLine read = readRunLogLine(line);
  EXPECT_EQ(read.entry, RunLogEntry::Search);
  EXPECT_EQ(read.when, "12/7/2026 10:05:03 PM");

  line = daytimeLine("2026-12-07 13:00:00", "2026-12-07 18:47:12");
  read = readRunLogLine(line);
  EXPECT_EQ(read.entry, RunLogEntry::Daytime);
  EXPECT_EQ(read.when, "2026-12-07 13:00:00");
  EXPECT_EQ(read.dusk, "2026-12-07 18:47:12");

  targetLine(line, "M42 RA=fake, DEC=fake", 5.588056f, -5.391111f, ',');
  EXPECT_EQ(line, "Target: M42 RA=fake, DEC=fake RA=5,588056, DEC=-5,391111");
  read = readRunLogLine(line);
  EXPECT_EQ(read.entry, RunLogEntry::Target);
  EXPECT_EQ(read.name, "M42 RA=fake, DEC=fake");
  EXPECT_EQ(read.ra, "5,588056");
  EXPECT_EQ(read.dec, "-5,391111");

  scoreLine(line, 162.5f, 64.35, 70.0, 1.25, '.');
  EXPECT_EQ(line, "  Score=162.5 Elev=64.35 TransitAlt=70 HADiff=1.25");
  EXPECT_EQ(readRunLogLine(line).entry, RunLogEntry::Other);

  newBestScoreLine(line, 162.5f, '.');
  read = readRunLogLine(line);
  EXPECT_EQ(read.entry, RunLogEntry::NewBestScore);
  EXPECT_EQ(read.value, "162.5");

  line = runningPlanLine("NGC 253: Sculptor");
  read = readRunLogLine(line);
  EXPECT_EQ(read.entry, RunLogEntry::RunningPlan);
  EXPECT_EQ(read.name, "NGC 253: Sculptor");

  EXPECT_EQ(readRunLogLine(kNoViableTarget).entry, RunLogEntry::NoViableTarget);
  EXPECT_EQ(readRunLogLine(kScriptNotSeen).entry, RunLogEntry::ScriptNotSeen);
  EXPECT_EQ(remainingCountLine(-32768), "Remaining count for best target = -32768");
  for (const std::string& other : {starsLine(), std::string(kUpdatingLog), std::string(kAutofocusLog),
                                   remainingCountLine(3), std::string("No viable target"), std::string()})
    EXPECT_EQ(readRunLogLine(other).entry, RunLogEntry::Other) << other;
}

TEST(RunLog, LinesCutShortKeepWhatTheyHold) {
  // A kill in the middle of a line: the day's wait without its dusk, a target line
  // without its coordinates.
  RunLogLine read = readRunLogLine("Currently daytime (2026-12-07 13:00:00");
  EXPECT_EQ(read.entry, RunLogEntry::Daytime);
  EXPECT_EQ(read.when, "2026-12-07 13:00:00");
  EXPECT_TRUE(read.dusk.empty());
  read = readRunLogLine("Target: M42 RA=5.58");
  EXPECT_EQ(read.entry, RunLogEntry::Target);
  EXPECT_TRUE(read.ra.empty());
  EXPECT_TRUE(read.dec.empty());
}

}  // namespace
}  // namespace np
