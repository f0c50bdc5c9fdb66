#include "report/LogReport.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <exception>
#include <filesystem>
#include <fstream>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "base/NumberText.h"
#include "targets/RunLog.h"

namespace np {

namespace {

constexpr double kNoTargetSleep = 300.0;  // "sleeping for 5 minutes"
// Shorter stretches between one logged thing and the next are the loop's own pace.
constexpr double kUnexplainedGap = 120.0;
// Up to this many targets the picture draws every one the log shows; beyond, those that ran.
constexpr std::size_t kGroupsDrawn = 200;

// Whole numbers of the text, in order, and whether it ends in AM or PM.
struct DateFields {
  int n[6] = {0, 0, 0, 0, 0, 0};
  int count = 0;
  char dateSeparator = 0;
  int meridiem = 0;  // 0 none, 1 AM, 2 PM
};

bool splitDate(std::string_view text, DateFields& f) {
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (std::isdigit(c)) {
      if (f.count == 6) return false;
      long value = 0;
      std::size_t digits = 0;
      while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && digits < 5) {
        value = value * 10 + (text[i] - '0');
        ++i, ++digits;
      }
      if (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) return false;
      f.n[f.count++] = static_cast<int>(value);
      if (f.count == 1 && i < text.size()) f.dateSeparator = text[i];
    } else if (std::isalpha(c)) {
      std::string word;
      while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])))
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i++])));
      if (word == "AM") f.meridiem = 1;
      else if (word == "PM") f.meridiem = 2;
      else return false;
    } else if (c == '-' || c == '/' || c == '.' || c == ':' || c == ' ' || c == 'T') {
      ++i;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

bool parseLogDateTime(std::string_view text, LogDateOrder order, CivilTime& out) {
  DateFields f;
  if (!splitDate(text, f) || (f.count != 3 && f.count != 5 && f.count != 6)) return false;
  if (order == LogDateOrder::Automatic) {
    if (f.dateSeparator == '-' || f.n[0] > 31) order = LogDateOrder::YearMonthDay;
    else if (f.meridiem != 0) order = LogDateOrder::MonthDayYear;
    else order = LogDateOrder::DayMonthYear;
  }
  CivilTime t;
  switch (order) {
    case LogDateOrder::YearMonthDay: t.year = f.n[0], t.month = f.n[1], t.day = f.n[2]; break;
    case LogDateOrder::MonthDayYear: t.month = f.n[0], t.day = f.n[1], t.year = f.n[2]; break;
    default: t.day = f.n[0], t.month = f.n[1], t.year = f.n[2]; break;
  }
  t.hour = f.n[3];
  t.minute = f.n[4];
  t.second = f.n[5];
  if (f.meridiem != 0) {
    if (t.hour < 1 || t.hour > 12) return false;
    t.hour = t.hour % 12 + (f.meridiem == 2 ? 12 : 0);
  }
  if (t.year < 1900 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 ||
      t.second > 59)
    return false;
  out = t;
  return true;
}

namespace {

// What a stamped line of the log began: a day's wait or a selection pass.
enum class Entry { None, Day, Search };

class LogReader {
 public:
  LogReader(const LogReportOptions& o, NightReport& r) : o_(o), r_(r) {}

  void feed(std::string& line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const RunLogLine read = readRunLogLine(line);
    switch (read.entry) {
      case RunLogEntry::Search:
        if (stamped(read.when, Entry::Search)) ++r_.searches;
        return;
      case RunLogEntry::Daytime: {
        if (read.dusk.empty()) return;
        const double dusk = toUnix(read.dusk);
        if (stamped(read.when, Entry::Day)) dusk_ = dusk;
        return;
      }
      default:
        break;
    }
    if (!inside_) return;
    if (read.entry == RunLogEntry::Target) {
      target(read);
    } else if (read.entry == RunLogEntry::NewBestScore) {
      scoreText_.assign(read.value);
    } else if (read.entry == RunLogEntry::RunningPlan && entry_ == Entry::Search) {
      PlanRun plan;
      plan.target = read.name;
      plan.scoreText = scoreText_;
      const std::optional<double> score = parseStrictDecimal(scoreText_);
      plan.score = score ? *score : std::numeric_limits<double>::quiet_NaN();
      plan.searchUnix = plan.startUnix = since_;
      ran.insert(plan.target);
      r_.plans.push_back(std::move(plan));
      planOpen_ = true;
    } else if (read.entry == RunLogEntry::NoViableTarget && entry_ == Entry::Search) {
      ++r_.noTargetSleeps;
      noTarget_ = true;
    } else if (read.entry == RunLogEntry::ScriptNotSeen && planOpen_) {
      r_.plans.back().endedText = "not seen running";
    }
  }

  // After the last line: the last entry ends with the report.
  void finish(double end) {
    close(end, false);
    entry_ = Entry::None;
  }

  double first = std::numeric_limits<double>::quiet_NaN(), last = first;
  long unreadableDates = 0;
  // For each plan, when the log's next entry began and whether it was a search.
  std::vector<std::pair<double, bool>> afterPlan;
  std::unordered_map<std::string, ReportGroup> seen;  // the targets the log shows
  std::vector<std::string> seenOrder;
  std::unordered_set<std::string> ran;

 private:
  double toUnix(std::string_view text) {
    CivilTime civil;
    if (!parseLogDateTime(text, o_.dateOrder, civil)) return std::numeric_limits<double>::quiet_NaN();
    return unixFromLocal(fromCivil(civil), o_.utcOffsetHours);
  }

  bool stamped(std::string_view dateText, Entry kind) {
    const double t = toUnix(dateText);
    if (std::isnan(t)) {
      ++unreadableDates;
      return false;
    }
    // The stamps are whole seconds, rounded: a second of slack at either end.
    const bool inside = (!o_.startUnix || t >= *o_.startUnix - 1.0) && (!o_.endUnix || t <= *o_.endUnix + 1.0);
    // An entry that runs past the stretch ends with it.
    if (inside_) close(o_.endUnix ? std::min(t, *o_.endUnix) : t, kind == Entry::Search && inside);
    inside_ = inside;
    entry_ = inside ? kind : Entry::None;
    if (!inside) return false;
    if (std::isnan(first)) first = t;
    last = t;
    since_ = t;
    scoreText_.clear();
    return true;
  }

  // The entry under way ends at `next`, where the log goes on (with a search or not).
  void close(double next, bool searchNext) {
    if (planOpen_) {
      r_.plans.back().endUnix = next;
      afterPlan.emplace_back(next, searchNext);
    }
    double explainedUntil = next;
    if (entry_ == Entry::Day) {
      double until = std::isnan(dusk_) ? next : std::min(dusk_, next);
      r_.waitDuskSeconds += std::max(0.0, until - since_);
      explainedUntil = until;
    } else if (noTarget_) {
      const double until = std::min(since_ + kNoTargetSleep, next);
      if (until > since_) r_.noTargetWaits.push_back({since_, until});
      r_.waitTargetSeconds += std::max(0.0, until - since_);
      explainedUntil = until;
    }
    if (searchNext && !planOpen_ && next - explainedUntil > kUnexplainedGap) {
      r_.weatherWaits.push_back({explainedUntil, next});
      r_.waitWeatherSeconds += next - explainedUntil;
    }
    planOpen_ = noTarget_ = false;
    dusk_ = std::numeric_limits<double>::quiet_NaN();
  }

  void target(const RunLogLine& read) {
    std::string name(read.name);
    if (seen.count(name)) return;
    const std::optional<double> raHours = parseStrictDecimal(read.ra);
    const std::optional<double> decDegrees = parseStrictDecimal(read.dec);
    if (!raHours || !decDegrees) return;
    seenOrder.push_back(name);
    seen.emplace(std::move(name), ReportGroup{seenOrder.back(), *raHours, *decDegrees, 0});
  }

  const LogReportOptions& o_;
  NightReport& r_;
  bool inside_ = false, planOpen_ = false, noTarget_ = false;
  Entry entry_ = Entry::None;
  double since_ = 0.0;
  double dusk_ = std::numeric_limits<double>::quiet_NaN();
  std::string scoreText_;
};

}  // namespace

namespace {

// The report's site, limits and dusk elevation, as the options give them.
void takeSite(const LogReportOptions& o, NightReport& r) {
  r.utcOffsetHours = o.utcOffsetHours;
  r.sunElev = o.sunElev;
  r.latitude = o.latitude;
  r.longitude = o.longitude;
  r.limitsKnown = o.limitsKnown;
  r.minimumElevation = o.minimumElevation;
  r.horizonMax = o.horizonMax;
  r.maxElevation = o.maxElevation;
  r.weatherFromGaps = true;
}

// Feeds the whole log to `reader`; false with `error` set when it shows nothing to report.
bool readLog(const LogReportOptions& o, LogReader& reader, std::string& error) {
  std::ifstream file(o.logPath, std::ios::binary);
  if (!file) {
    error = "cannot open the run log '" + o.logPath + "'";
    return false;
  }
  std::string line;
  while (std::getline(file, line)) reader.feed(line);
  if (file.bad()) {
    error = "cannot read the run log '" + o.logPath + "'";
    return false;
  }
  if (std::isnan(reader.first)) {
    error = reader.unreadableDates > 0
                ? "no date of the run log '" + o.logPath + "' could be read (see --date-order)"
                : "the run log '" + o.logPath + "' shows no search or day in the stretch asked for";
    return false;
  }
  return true;
}

// The host's acquisition log, when it is the simulated observatory's; otherwise the
// images are left out, and the report says why.
std::vector<AcquisitionEvent> readAcquisition(const LogReportOptions& o, NightReport& r) {
  std::filesystem::path path = o.acquisitionLogPath;
  if (path.empty()) path = std::filesystem::path(o.logPath).parent_path() / acqlog::kFileName;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    r.imagesKnown = false;
    r.notes.push_back("images are left out: there is no " + std::string(acqlog::kFileName) + " beside the run log");
    return {};
  }
  try {
    return readAcquisitionLog(path.string());
  } catch (const std::exception& e) {
    r.imagesKnown = false;
    r.notes.push_back("images are left out: " + path.filename().string() + " is not the simulated observatory's (" +
                      e.what() + ")");
    return {};
  }
}

// Between a plan's end and the next search, the program waited for something the log
// does not name.
void addWaitsAfterPlans(NightReport& r, const LogReader& reader) {
  for (std::size_t i = 0; i < r.plans.size() && i < reader.afterPlan.size(); ++i) {
    const auto [next, searchNext] = reader.afterPlan[i];
    const PlanRun& plan = r.plans[i];
    if (plan.started && searchNext && next - plan.endUnix > kUnexplainedGap) {
      r.weatherWaits.push_back({plan.endUnix, next});
      r.waitWeatherSeconds += next - plan.endUnix;
    }
  }
  std::sort(r.weatherWaits.begin(), r.weatherWaits.end(),
            [](const TimeSpan& a, const TimeSpan& b) { return a.start < b.start; });
}

// The picture's groups: every target the log shows, or only those that ran when there
// are too many to draw.
void addGroups(NightReport& r, const LogReader& reader) {
  for (const std::string& name : reader.seenOrder) {
    if (reader.seenOrder.size() > kGroupsDrawn && !reader.ran.count(name)) {
      ++r.groupsNotListed;
      continue;
    }
    r.groups.push_back(reader.seen.at(name));
  }
}

}  // namespace

LogReportResult buildReportFromLog(const LogReportOptions& o) {
  LogReportResult result;
  NightReport& r = result.report;
  takeSite(o, r);
  LogReader reader(o, r);
  if (!readLog(o, reader, result.error)) return result;
  const std::vector<AcquisitionEvent> acquisition = readAcquisition(o, r);

  r.startUnix = o.startUnix ? *o.startUnix : reader.first;
  r.endUnix = reader.last;
  if (o.endUnix) {
    r.endUnix = *o.endUnix;
  } else if (r.imagesKnown) {
    for (const AcquisitionEvent& e : acquisition)
      if (e.utc >= r.startUnix) r.endUnix = std::max(r.endUnix, e.utc);
  }
  reader.finish(r.endUnix);

  addSunAndDark(r, ReportSun(o.latitude, o.longitude), o.sunSampleSeconds);
  addMoonAltitude(r);
  if (r.imagesKnown) {
    pairPlansWithAcquisition(r, acquisition);
    addWaitsAfterPlans(r, reader);
  } else {
    // One character assigned as such: mingw's GCC 12 at -O3 takes the assignment of a
    // one-letter literal here for an overlapping copy (a false -Wrestrict).
    for (PlanRun& plan : r.plans)
      if (plan.endedText.empty()) plan.endedText = '-';
  }
  addGroups(r, reader);

  r.notes.push_back(
      "the run log does not record weather waits: \"waiting for weather\" is the time before searches that no plan "
      "or logged wait accounts for (unsafe weather, a busy host, or the program not running)");
  if (!r.imagesKnown)
    r.notes.push_back("without the acquisition log, a plan is taken to last until the log's next entry");
  if (reader.unreadableDates > 0)
    r.notes.push_back(std::to_string(reader.unreadableDates) + " dated lines were left out: their date could not be read");
  result.ok = true;
  return result;
}

}  // namespace np
