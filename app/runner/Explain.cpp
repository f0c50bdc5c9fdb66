#include "app/runner/Explain.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <filesystem>
#include <ostream>

#include "app/runner/PrintingMessageSink.h"
#include "base/FileSystem.h"
#include "base/Paths.h"
#include "host/ErfaEphemeris.h"
#include "host/ObservatoryConfig.h"
#include "host/UtcTime.h"
#include "app/runner/OpenHost.h"
#include "night/SimulatedWait.h"
#include "settings/ConfigFile.h"
#include "targets/TargetList.h"

namespace np {

namespace {

// The run log of a pass that must not write one.
class DiscardingWriter : public TextWriter {
 public:
  void WriteLine(std::string_view) override {}
  void Close() override {}
};

// Builds the rows from what the pass tells.
class RowRecorder : public SelectionObserver {
 public:
  explicit RowRecorder(std::vector<ExplainRow>& rows) : rows_(rows) {}
  void group(std::int64_t start, const std::string& targetLine, const std::string& name, std::int16_t remaining,
             bool parsed, float ra, float dec) override {
    ExplainRow row;
    row.start = start;
    row.targetLine = targetLine;
    row.name = name;
    row.remaining = remaining;
    row.parsed = parsed;
    row.ra = ra;
    row.dec = dec;
    rows_.push_back(std::move(row));
  }
  void conditions(const GroupConditions& conditions) override { rows_.back().priority = conditions.priority; }
  void tested(const TestOutcome& outcome) override {
    ExplainRow& row = rows_.back();
    row.tests[static_cast<std::size_t>(outcome.test)] = outcome;
    if (!outcome.passed && !row.firstFailure) row.firstFailure = outcome.test;
  }
  void scored(double elevation, const TargetScore& score, bool leads) override {
    ExplainRow& row = rows_.back();
    row.eligible = true;
    row.elevation = elevation;
    row.score = score.score;
    if (leads) chosen = rows_.size() - 1;
  }
  std::optional<std::size_t> chosen;

 private:
  std::vector<ExplainRow>& rows_;
};

std::string absoluteFolder(const std::string& folder) {
  std::error_code ec;
  auto abs = std::filesystem::absolute(folder, ec);
  return withoutSeparator(ec ? folder : abs.lexically_normal().string());
}

// A number in the same form in every locale: `decimals` after the point, or the shortest
// form that reads back when `decimals` is negative.
std::string number(double value, int decimals) {
  char text[64];
  const float single = static_cast<float>(value);
  const auto r = decimals < 0 ? (static_cast<double>(single) == value ? std::to_chars(text, text + sizeof text, single)
                                                                      : std::to_chars(text, text + sizeof text, value))
                              : std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  return std::string(text, r.ptr);
}

std::string shortNumber(double value) {
  std::string t = number(value, 2);
  if (t.find('.') != std::string::npos) {
    t.erase(t.find_last_not_of('0') + 1);
    if (t.back() == '.') t.pop_back();
  }
  return t == "-0" ? "0" : t;
}

// A test's figures as the text table shows them: "41.27<=90", "95.2>90 FAIL".
std::string cell(const ExplainRow& row, EligibilityTest test) {
  const auto& o = row.tests[static_cast<std::size_t>(test)];
  if (!o) return row.parsed ? "-" : "";
  std::string t;
  switch (test) {
    case EligibilityTest::TiltUp:
    case EligibilityTest::MaxElevation:
      t = shortNumber(o->value) + (o->passed ? "<=" : ">") + shortNumber(o->limit);
      break;
    case EligibilityTest::Azimuth:
      t = shortNumber(o->value) + (o->passed ? " in " : " not in ") + shortNumber(o->limit) + ".." + shortNumber(o->upper);
      break;
    case EligibilityTest::MinimumElevation:
    case EligibilityTest::Horizon:
      t = shortNumber(o->value) + (o->passed ? ">" : "<=") + shortNumber(o->limit);
      break;
    case EligibilityTest::Count:
      t = o->passed ? "ok" : "0";
      break;
    case EligibilityTest::Moon:
      t = shortNumber(o->value) + (o->value >= o->limit ? ">=" : "<") + shortNumber(o->limit);
      if (o->upper <= 0) t += " Moon down";
      break;
    case EligibilityTest::MoonAltitude:
      t = shortNumber(o->value) + (o->passed ? "<" : ">=") + shortNumber(o->limit);
      break;
    case EligibilityTest::Window:
      if (o->passed) {
        t = "open";
      } else if (o->value < o->limit) {
        t = "opens " + formatUtc(o->limit);
      } else {
        t = "closed " + formatUtc(o->upper);
      }
      break;
  }
  return o->passed ? t : t + " FAIL";
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string failureText(const ExplainRow& row) {
  if (!row.parsed) return "target line";
  return row.firstFailure ? testName(*row.firstFailure) : "";
}

}  // namespace

ExplainResult explainSelection(const ExplainOptions& options, std::ostream& err) {
  ExplainResult result;
  try {
    const std::string programDir = absoluteFolder(options.programDir.empty() ? "." : options.programDir);
    const std::string hostDir =
        options.hostDir.empty() ? joinPath(programDir, "observatory") : absoluteFolder(options.hostDir);
    registerBackEnds();
    const ObservatoryConfig config = loadObservatoryConfig(hostDir);
    double at = clockStartUnixSeconds(config, systemUnixSeconds());
    if (!options.at.empty() && !parseUtcInstant(options.at, at))
      throw RunTimeError("--at: not an ISO 8601 UTC instant: '" + options.at + "'");
    result.unixSeconds = at;

    LocalFileSystem files;
    HostRequest dryRun;
    dryRun.manualStart = at;
    OpenedHost opened = openHost(hostDir, files, dryRun);
    ManualClock& clock = *opened.manualClock;
    IHostFactory& observatory = *opened.host;
    result.utcOffsetHours = clock.utcOffsetHours();
    Settings settings;
    loadConfigFile(files, joinPath(programDir, kConfigFileName), settings);
    auto util = observatory.createUtil();
    auto telescope = observatory.createTelescope();
    result.latitude = telescope->SiteLatitude();
    result.longitude = telescope->SiteLongitude();
    result.altAzimuthMount = telescope->AlignmentMode() == 0;

    DiscardingWriter log;
    PrintingMessageSink messages(err, result.messages);
    SimulatedEventPump events(clock);
    const bool stopFlag = false;
    RowRecorder recorder(result.rows);
    auto application = observatory.createApplication();
    ErfaEphemerisFactory ephemeris;
    const Services services{.util = *util,
                            .telescope = *telescope,
                            .acpApp = *application,
                            .ephemeris = ephemeris,
                            .files = files,
                            .clock = clock,
                            .events = events,
                            .messages = messages,
                            .setStatusText = [](const std::string&) {},
                            .locale = NumberLocale{'.'},
                            .programFolder = withSeparator(programDir)};
    const std::optional<ChosenGroup> chosen = selectTarget(services, log, settings, stopFlag, &recorder);
    if (chosen) result.chosen = recorder.chosen;

    for (const ExplainRow& row : result.rows) {
      if (row.tests[static_cast<std::size_t>(EligibilityTest::Moon)] ||
          row.tests[static_cast<std::size_t>(EligibilityTest::MoonAltitude)]) {
        result.moon = moonPlace(julianDateFromUnix(at), result.latitude, result.longitude);
        break;
      }
    }

    // Ranks: by priority, then by score, the earlier group first among equals (as the pass keeps the first).
    std::vector<std::size_t> eligible;
    for (std::size_t i = 0; i < result.rows.size(); ++i)
      if (result.rows[i].eligible) eligible.push_back(i);
    std::stable_sort(eligible.begin(), eligible.end(), [&](std::size_t a, std::size_t b) {
      const ExplainRow &ra = result.rows[a], &rb = result.rows[b];
      return ra.priority != rb.priority ? ra.priority > rb.priority : ra.score > rb.score;
    });
    for (std::size_t r = 0; r < eligible.size(); ++r) result.rows[eligible[r]].rank = static_cast<int>(r + 1);
  } catch (const std::exception& e) {
    result.exitCode = 1;
    result.error = e.what();
    err << "error: " << e.what() << std::endl;
  }
  return result;
}

std::string formatExplainText(const ExplainResult& result) {
  const DateTime local = localFromUnix(result.unixSeconds, result.utcOffsetHours);
  std::size_t eligible = 0;
  for (const ExplainRow& row : result.rows) eligible += row.eligible;
  std::string out = "Selection at " + formatGeneralDate(local) + " (UTC" + (result.utcOffsetHours < 0 ? "" : "+") +
                    shortNumber(result.utcOffsetHours) + "), latitude " + shortNumber(result.latitude) +
                    ", longitude " + shortNumber(result.longitude) + ": " + std::to_string(result.rows.size()) +
                    " groups, " + std::to_string(eligible) + " eligible\n";
  out += result.altAzimuthMount ? "tilt-up: elevation against the mount's tilt-up limit (alt-azimuth mount)\n"
                                : "tilt-up: declination against the mount's tilt-up limit (equatorial mount)\n";

  if (result.moon) {
    out += "moon: the Moon " + shortNumber(result.moon->altitude) + " degrees high at azimuth " +
           shortNumber(result.moon->azimuth) + ", " + number(result.moon->ageDays, 1) + " days old (full at 14.8)\n";
  }

  std::vector<std::vector<std::string>> table;
  table.push_back({"start", "name", "count", "tilt-up", "max-elevation", "azimuth", "min-elevation", "horizon",
                   "count", "moon", "moon-altitude", "window", "priority", "fails", "score", "rank"});
  for (const ExplainRow& row : result.rows) {
    std::vector<std::string> line{std::to_string(row.start), row.parsed ? row.name : row.targetLine,
                                  std::to_string(row.remaining)};
    for (int t = 0; t < kEligibilityTests; ++t) line.push_back(cell(row, static_cast<EligibilityTest>(t)));
    line.push_back(row.parsed ? std::to_string(row.priority) : "");
    line.push_back(failureText(row));
    line.push_back(row.eligible ? formatSingle(row.score, '.') : "");
    line.push_back(row.rank ? std::to_string(row.rank) : "");
    table.push_back(std::move(line));
  }
  std::vector<std::size_t> width(table.front().size(), 0);
  for (const auto& line : table)
    for (std::size_t c = 0; c < line.size(); ++c) width[c] = std::max(width[c], line[c].size());
  for (const auto& line : table) {
    std::string text;
    for (std::size_t c = 0; c < line.size(); ++c) {
      text += line[c];
      if (c + 1 < line.size()) text += std::string(width[c] - line[c].size() + 2, ' ');
    }
    text.erase(text.find_last_not_of(' ') + 1);
    out += text + '\n';
  }
  if (result.chosen) {
    const ExplainRow& row = result.rows[*result.chosen];
    out += "Chosen: " + row.name + " (start " + std::to_string(row.start) + "), score " +
           formatSingle(row.score, '.') + '\n';
  } else {
    out += "Chosen: none (no group passed every test)\n";
  }
  return out;
}

std::string formatExplainCsv(const ExplainResult& result) {
  std::string out =
      "start,name,count,parsed,ra_hours,dec_degrees,tilt_up_value,tilt_up_limit,tilt_up,elevation,max_elevation,"
      "max_elevation_test,azimuth,min_azimuth,max_azimuth,azimuth_test,min_elevation_plus_1,min_elevation_test,"
      "horizon_plus_1,horizon_test,count_test,moon_separation,moon_required,moon_test,moon_altitude,"
      "moon_altitude_test,window_test,priority,first_failure,eligible,score,rank,chosen\r\n";
  auto verdict = [](const std::optional<TestOutcome>& o) -> std::string { return o ? (o->passed ? "pass" : "fail") : ""; };
  auto figure = [](const std::optional<TestOutcome>& o, double TestOutcome::*field) -> std::string {
    return o ? number((*o).*field, -1) : "";
  };
  for (std::size_t i = 0; i < result.rows.size(); ++i) {
    const ExplainRow& r = result.rows[i];
    const auto& tilt = r.tests[0];
    const auto& maxEl = r.tests[1];
    const auto& az = r.tests[2];
    const auto& minEl = r.tests[3];
    const auto& horizon = r.tests[4];
    const auto& count = r.tests[5];
    const auto& moon = r.tests[static_cast<std::size_t>(EligibilityTest::Moon)];
    const auto& moonAltitude = r.tests[static_cast<std::size_t>(EligibilityTest::MoonAltitude)];
    const auto& window = r.tests[static_cast<std::size_t>(EligibilityTest::Window)];
    // A test the group does not ask for reads "-" (a group without coordinates has none).
    const std::string notAsked = r.parsed ? "-" : "";
    auto asked = [&](const std::optional<TestOutcome>& o, const std::string& text) { return o ? text : notAsked; };
    std::string moonAltitudeFigure = notAsked;
    if (moonAltitude) {
      moonAltitudeFigure = number(moonAltitude->value, -1);
    } else if (moon) {
      moonAltitudeFigure = number(moon->upper, -1);
    }
    std::vector<std::string> f{std::to_string(r.start),
                               csvField(r.parsed ? r.name : r.targetLine),
                               std::to_string(r.remaining),
                               r.parsed ? "true" : "false",
                               r.parsed ? number(r.ra, -1) : "",
                               r.parsed ? number(r.dec, -1) : "",
                               figure(tilt, &TestOutcome::value),
                               figure(tilt, &TestOutcome::limit),
                               verdict(tilt),
                               figure(maxEl, &TestOutcome::value),
                               figure(maxEl, &TestOutcome::limit),
                               verdict(maxEl),
                               figure(az, &TestOutcome::value),
                               figure(az, &TestOutcome::limit),
                               figure(az, &TestOutcome::upper),
                               verdict(az),
                               figure(minEl, &TestOutcome::limit),
                               verdict(minEl),
                               figure(horizon, &TestOutcome::limit),
                               verdict(horizon),
                               verdict(count),
                               asked(moon, figure(moon, &TestOutcome::value)),
                               asked(moon, figure(moon, &TestOutcome::limit)),
                               asked(moon, verdict(moon)),
                               moonAltitudeFigure,
                               asked(moonAltitude, verdict(moonAltitude)),
                               asked(window, verdict(window)),
                               r.parsed ? std::to_string(r.priority) : "",
                               failureText(r),
                               r.eligible ? "true" : "false",
                               r.eligible ? formatSingle(r.score, '.') : "",
                               r.rank ? std::to_string(r.rank) : "",
                               result.chosen && *result.chosen == i ? "true" : "false"};
    for (std::size_t c = 0; c < f.size(); ++c) out += (c ? "," : "") + f[c];
    out += "\r\n";
  }
  return out;
}

}  // namespace np
