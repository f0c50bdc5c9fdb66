#pragma once
// Why a group is chosen or not: one selection pass at an instant, against the simulated
// observatory (or a site description given as its folder), read test by test through the
// selection's own observer. It writes neither the list, nor a plan, nor the run log.
#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "selection/Moon.h"
#include "selection/Selection.h"

namespace np {

struct ExplainOptions {
  std::string programDir = ".";  // holds targets.txt and config.ini
  std::string hostDir;           // empty: "observatory" inside programDir
  std::string at;                // ISO 8601 UTC; empty: the observatory's clock.start
};

// One group of the list, as the pass saw it.
struct ExplainRow {
  std::int64_t start = 0;  // list lines before the group's first line
  std::string targetLine, name;
  std::int16_t remaining = 0;
  bool parsed = false;     // a target line without coordinates gets no tests
  float ra = 0, dec = 0;
  std::int16_t priority = 0;  // the delimiter line's priority= (0 when it names none)
  std::array<std::optional<TestOutcome>, kEligibilityTests> tests;  // by EligibilityTest; the
                                                                     // Moon's and the window's only when asked
  bool eligible = false;
  std::optional<EligibilityTest> firstFailure;
  double elevation = 0;
  float score = 0;        // eligible groups
  int rank = 0;           // 1 for the group the pass chooses (priority, then score); 0 when not eligible
};

struct ExplainResult {
  int exitCode = 0;
  std::string error;
  double unixSeconds = 0;   // the instant
  double utcOffsetHours = 0;
  double latitude = 0, longitude = 0;
  bool altAzimuthMount = false;
  std::optional<MoonPlace> moon;      // the Moon at the instant, when a group asks about it
  std::vector<ExplainRow> rows;
  std::optional<std::size_t> chosen;  // index into rows of the group the pass chooses
  std::vector<std::string> messages;  // what the pass would have shown in boxes
};

// Runs the pass; messages go to `err` as "message: <text>", a failure as "error: <text>".
ExplainResult explainSelection(const ExplainOptions& options, std::ostream& err);

// Plain text: a heading, one line per group, the chosen group.
std::string formatExplainText(const ExplainResult& result);
// CSV (RFC 4180, CR LF): a header line and one line per group.
std::string formatExplainCsv(const ExplainResult& result);

}  // namespace np
