#include "report/NightReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <fstream>
#include <exception>
#include <limits>
#include <locale>
#include <optional>
#include <sstream>

#include "base/DateTime.h"
#include "base/NumberText.h"
#include "host/UtcTime.h"
#include "night/ObservingLoop.h"
#include "selection/Moon.h"
#include "selection/Selection.h"
#include "targets/RunLog.h"
#include "targets/TargetList.h"

namespace np {

namespace {

// The texts the run writes, as the loop and the selection write them.
constexpr std::string_view kStatusDusk = kWaitingForDusk;
constexpr std::string_view kStatusWeather = kWaitingForWeather;
constexpr std::string_view kStatusHost = kWaitingForHost;

std::string localText(double unix, double utcOffsetHours) {
  return formatGeneralDate(localFromUnix(unix, utcOffsetHours));
}

// A local "YYYY-MM-DD HH:MM:SS" of the run log as UTC seconds; NaN when unreadable.
double localTextToUnix(const std::string& text, double utcOffsetHours) {
  CivilTime civil;
  if (!parseIsoDateTime(text, civil)) return std::numeric_limits<double>::quiet_NaN();
  return unixFromLocal(fromCivil(civil), utcOffsetHours);
}

// The run log's lines, one at a time: the plans the loop handed to the host, the
// searches and the passes without a viable target.
struct RunLogReading {
  NightReport& r;
  double searchUnix;
  double utcOffsetHours;
  std::string scoreText;

  void feed(std::string& line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const RunLogLine read = readRunLogLine(line);
    if (read.entry == RunLogEntry::Search) {
      ++r.searches;
      double t = localTextToUnix(std::string(read.when), utcOffsetHours);
      if (!std::isnan(t)) searchUnix = t;
      scoreText.clear();
    } else if (read.entry == RunLogEntry::NewBestScore) {
      scoreText.assign(read.value);
    } else if (read.entry == RunLogEntry::RunningPlan) {
      PlanRun plan;
      plan.target = read.name;
      plan.scoreText = scoreText;
      const std::optional<double> score = parseStrictDecimal(scoreText);
      plan.score = score ? *score : std::numeric_limits<double>::quiet_NaN();
      plan.searchUnix = searchUnix;
      r.plans.push_back(std::move(plan));
    } else if (read.entry == RunLogEntry::NoViableTarget) {
      ++r.noTargetSleeps;
    }
  }
};

// One run of the host's acquisition script as its log shows it.
struct AcquisitionRun {
  double begin = 0.0;  // START, or the END of a run that never became active
  bool started = false, finished = false;
  double end = 0.0;
  std::string reason;
  std::vector<const AcquisitionEvent*> images;  // EXPOSURE and SKIPPED
};

std::vector<AcquisitionRun> acquisitionRuns(const std::vector<AcquisitionEvent>& events, double from, double to) {
  std::vector<AcquisitionRun> runs;
  bool open = false;
  bool before = false;  // a run under way that began before the stretch: none of its plans
  for (const AcquisitionEvent& e : events) {
    if (e.utc > to) continue;
    if (e.utc < std::floor(from)) {
      if (e.kind == acqlog::kStart) before = true;
      else if (e.kind == acqlog::kEnd) before = false;
      continue;
    }
    if (e.kind == acqlog::kStart) {
      if (open) runs.back().end = e.utc;  // a start without an end: the run was cut short
      runs.push_back(AcquisitionRun{e.utc, true, false, e.utc, "", {}});
      open = true;
      before = false;
    } else if (e.kind == acqlog::kEnd && before) {
      before = false;
    } else if (e.kind == acqlog::kEnd) {
      if (open) {
        runs.back().finished = true;
        runs.back().end = e.utc;
        runs.back().reason = e.reason;
        open = false;
      } else {
        runs.push_back(AcquisitionRun{e.utc, false, true, e.utc, e.reason, {}});
      }
    } else if (e.kind == acqlog::kExposure || e.kind == acqlog::kSkipped) {
      // Images of a script that was under way before this run began belong to no plan of it.
      if (open) runs.back().images.push_back(&e);
    }
  }
  if (open) runs.back().end = to;
  return runs;
}

double overlap(const std::vector<TimeSpan>& spans, double start, double end) {
  double total = 0.0;
  for (const TimeSpan& s : spans) total += std::max(0.0, std::min(end, s.end) - std::max(start, s.start));
  return total;
}

// Silences the list routines' messages: the picture's groups are read quietly.
class SilentSink : public MessageSink {
 public:
  void showMessage(const std::string&) override {}
};

}  // namespace

void addMoonAltitude(NightReport& r) {
  r.moon.clear();
  r.moon.reserve(r.sun.size());
  for (const SunSample& s : r.sun)
    r.moon.push_back({s.unix, moonPlace(julianDateFromUnix(s.unix), r.latitude, r.longitude).altitude});
}

void addSunAndDark(NightReport& r, const ReportSun& sun, double sampleSeconds) {
  r.dark = sun.darkSpans(r.sunElev, r.startUnix, r.endUnix);
  for (const TimeSpan& s : r.dark) r.darkSeconds += s.length();
  const double step = sampleSeconds > 0 ? sampleSeconds : 300.0;
  for (double t = r.startUnix;; t += step) {
    double at = std::min(t, r.endUnix);
    r.sun.push_back({at, sun.elevation(at)});
    if (at >= r.endUnix) break;
  }
}

void pairPlansWithAcquisition(NightReport& r, const std::vector<AcquisitionEvent>& acquisition) {
  // Pair the plans, in order, with the acquisition runs. The search stamp has whole seconds
  // (rounded), hence the second of slack.
  std::deque<AcquisitionRun> runs;
  for (AcquisitionRun& run : acquisitionRuns(acquisition, r.startUnix, r.endUnix)) runs.push_back(std::move(run));
  for (PlanRun& plan : r.plans) {
    while (!runs.empty() && runs.front().begin < plan.searchUnix - 1.0) runs.pop_front();
    if (runs.empty()) {  // the run ended before the host took the plan up
      plan.startUnix = plan.searchUnix;
      if (!(plan.endUnix > plan.searchUnix)) plan.endUnix = std::max(plan.searchUnix, r.endUnix);
      continue;
    }
    const AcquisitionRun& run = runs.front();
    plan.started = run.started;
    plan.finished = run.finished;
    plan.endReason = run.reason;
    plan.startUnix = run.begin;
    plan.endUnix = run.end;
    for (const AcquisitionEvent* e : run.images) {
      if (e->kind == acqlog::kExposure) {
        ++plan.imagesTaken;
        plan.exposureSeconds += e->seconds;
        plan.exposureSecondsInDark += overlap(r.dark, e->utc - e->seconds, e->utc);
        plan.exposureEnds.push_back(e->utc);
      } else {
        ++plan.imagesSkipped;
      }
    }
    r.imagesTaken += plan.imagesTaken;
    r.imagesSkipped += plan.imagesSkipped;
    r.exposingSecondsInDark += plan.exposureSecondsInDark;
    runs.pop_front();
  }
}

NightReport buildNightReport(const NightReportInput& in) {
  NightReport r;
  r.startUnix = in.startUnix;
  r.endUnix = in.endUnix;
  r.utcOffsetHours = in.utcOffsetHours;
  r.sunElev = in.sunElev;

  // The run log: one entry per plan the loop handed to the host.
  RunLogReading log{r, in.startUnix, in.utcOffsetHours, {}};
  if (!in.runLogPath.empty()) {
    std::ifstream file(in.runLogPath, std::ios::binary);
    if (file && file.seekg(static_cast<std::streamoff>(in.runLogStart))) {
      std::string line;
      while (std::getline(file, line)) log.feed(line);
    }
  } else {
    std::istringstream text(in.runLogText);
    std::string line;
    while (std::getline(text, line)) log.feed(line);
  }

  if (in.sun) addSunAndDark(r, *in.sun, in.sunSampleSeconds);
  pairPlansWithAcquisition(r, in.acquisition);

  // The waits: how long each waiting status stood on the status line.
  if (in.statuses) {
    const auto& st = *in.statuses;
    for (std::size_t i = 0; i < st.size(); ++i) {
      double from = std::max(st[i].unixSeconds, in.startUnix);
      double to = i + 1 < st.size() ? st[i + 1].unixSeconds : in.endUnix;
      double length = std::max(0.0, std::min(to, in.endUnix) - from);
      const std::string& text = st[i].text;
      if (text.starts_with(kStatusDusk)) r.waitDuskSeconds += length;
      else if (text == kStatusWeather) r.waitWeatherSeconds += length;
      else if (text == kNoViableTarget) r.waitTargetSeconds += length;
      if (length > 0 && text == kStatusWeather) r.weatherWaits.push_back({from, from + length});
      if (length > 0 && text == kNoViableTarget) r.noTargetWaits.push_back({from, from + length});
      else if (text == kStatusHost) r.waitHostSeconds += length;
    }
  }
  return r;
}

std::string formatDuration(double seconds) {
  long total = std::lround(std::max(0.0, seconds));
  char buf[48];
  std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", total / 3600, (total / 60) % 60, total % 60);
  return buf;
}

std::string formatNightReport(const NightReport& r) {
  // The report keeps the point in every locale, and its counts have no digit grouping.
  std::ostringstream out;
  out.imbue(std::locale::classic());
  char buf[256];
  std::string offset = formatPrintfGeneral(r.utcOffsetHours);
  if (offset.empty() || offset.front() != '-') offset.insert(0, 1, '+');
  out << "Night report: " << localText(r.startUnix, r.utcOffsetHours) << " to "
      << localText(r.endUnix, r.utcOffsetHours) << " (local time, UTC" << offset << ")\n";

  out << "Plans run: " << r.plans.size() << " (" << r.searches << " searches, " << r.noTargetSleeps
      << " without a viable target)\n";
  if (!r.plans.empty()) {
    std::size_t nameWidth = 6;
    for (const PlanRun& p : r.plans) nameWidth = std::max(nameWidth, p.target.size());
    std::snprintf(buf, sizeof buf, "  %-19s  %-19s  %-*s  %10s  %5s  %7s  %s\n", "start", "end",
                  static_cast<int>(nameWidth), "target", "score", "taken", "skipped", "ended");
    out << buf;
    for (const PlanRun& p : r.plans) {
      std::string ended = p.finished ? p.endReason : (p.started ? "still running" : "not started");
      if (p.finished && !p.started) ended += " (never active)";
      if (!p.endedText.empty()) ended = p.endedText;
      const std::string taken = r.imagesKnown ? std::to_string(p.imagesTaken) : "-";
      const std::string skipped = r.imagesKnown ? std::to_string(p.imagesSkipped) : "-";
      std::snprintf(buf, sizeof buf, "  %-19s  %-19s  %-*s  %10s  %5s  %7s  %s\n",
                    localText(p.startUnix, r.utcOffsetHours).c_str(), localText(p.endUnix, r.utcOffsetHours).c_str(),
                    static_cast<int>(nameWidth), p.target.c_str(), p.scoreText.empty() ? "-" : p.scoreText.c_str(),
                    taken.c_str(), skipped.c_str(), ended.c_str());
      out << buf;
    }
  }
  if (r.imagesKnown) out << "Images: " << r.imagesTaken << " taken, " << r.imagesSkipped << " skipped\n";
  else out << "Images: left out\n";
  out << "Waiting for dusk:            " << formatDuration(r.waitDuskSeconds) << '\n';
  out << "Waiting for weather:         " << formatDuration(r.waitWeatherSeconds) << '\n';
  out << "Waiting for a viable target: " << formatDuration(r.waitTargetSeconds) << '\n';
  if (r.waitHostSeconds > 0) out << "Waiting for the host:        " << formatDuration(r.waitHostSeconds) << '\n';
  out << "Dark time (Sun below " << formatPrintfGeneral(r.sunElev) << " degrees): " << formatDuration(r.darkSeconds);
  if (r.darkSeconds > 0 && r.imagesKnown) {
    out << ", exposing " << formatDuration(r.exposingSecondsInDark) << " ("
        << formatPrintfFixed(100.0 * r.exposingSecondsInDark / r.darkSeconds, 1) << "%)";
  }
  out << '\n';
  for (const std::string& note : r.notes) out << "Note: " << note << '\n';
  return out.str();
}

std::vector<ReportGroup> readReportGroups(IUtil& util, const std::string& listText) {
  std::vector<ReportGroup> groups;
  SilentSink quiet;
  GroupReader reader;
  std::istringstream in(listText);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    GroupReader::LineKind kind = reader.feed(std::move(line));
    if (kind == GroupReader::LineKind::DelimiterFirst) break;
    if (kind != GroupReader::LineKind::GroupEnd) continue;
    ReportGroup g;
    float ra = 0.0f, dec = 0.0f;
    std::int16_t remaining = 0;
    try {
      if (!parseTarget(util, quiet, *reader.group().targetLine, g.name, ra, dec)) continue;
    } catch (const std::exception&) {
      continue;
    }
    parseTargetConfig(quiet, *reader.group().delimiterLine, remaining);
    g.ra = ra;
    g.dec = dec;
    g.remaining = remaining;
    groups.push_back(std::move(g));
  }
  return groups;
}

}  // namespace np

namespace np {

void EligibilityTally::group(std::int64_t start, const std::string& targetLine, const std::string& name,
                             std::int16_t, bool parsed, float, float) {
  markMoon();  // the group before, before entries_ may grow and move
  // A pass goes through the list in order, so the group at the same place as in the last
  // pass is nearly always the same one: that is checked first, the map only when not.
  if (start <= lastStart_) ordinal_ = 0;
  lastStart_ = start;
  std::size_t index = 0;
  if (ordinal_ < byOrdinal_.size() && entries_[byOrdinal_[ordinal_]].targetLine == targetLine) {
    index = byOrdinal_[ordinal_];
  } else {
    auto [at, added] = byTargetLine_.try_emplace(targetLine, entries_.size());
    if (added) entries_.push_back(Entry{start, targetLine, parsed ? name : targetLine});
    index = at->second;
    if (ordinal_ < byOrdinal_.size()) byOrdinal_[ordinal_] = index;
    else byOrdinal_.push_back(index);
  }
  ++ordinal_;
  current_ = &entries_[index];
  ++current_->passes;
  failed_ = false;
  failedTests_ = 0;
  if (clock_) passUnix_ = clock_->unixSeconds();
  if (!parsed) ++current_->unreadable;
}

void EligibilityTally::tested(const TestOutcome& outcome) {
  if (!current_ || outcome.passed) return;
  failedTests_ |= 1u << static_cast<unsigned>(outcome.test);
  if (failed_) return;
  failed_ = true;
  ++current_->firstFailures[static_cast<std::size_t>(outcome.test)];
}

void EligibilityTally::scored(double, const TargetScore&, bool) {
  if (current_) ++current_->eligible;
}

bool EligibilityTally::keptOutByTheMoon() const {
  constexpr unsigned moonTests = (1u << static_cast<unsigned>(EligibilityTest::Moon)) |
                                 (1u << static_cast<unsigned>(EligibilityTest::MoonAltitude));
  return current_ && failedTests_ != 0 && (failedTests_ & ~moonTests) == 0;
}

void EligibilityTally::markMoon() {
  if (!keptOutByTheMoon() || passUnix_ - current_->lastMoonMark < kMoonMarkSeconds) return;
  current_->lastMoonMark = passUnix_;
  moonMarks_.emplace_back(passUnix_, static_cast<std::size_t>(current_ - entries_.data()));
}

std::vector<MoonKeptOut> EligibilityTally::moonKeptOut() const {
  std::vector<MoonKeptOut> marks;
  marks.reserve(moonMarks_.size() + 1);
  for (const auto& [unix, entry] : moonMarks_) marks.push_back(MoonKeptOut{unix, entries_[entry].name});
  // The last group of the last pass, which no later group has closed.
  if (keptOutByTheMoon() && passUnix_ - current_->lastMoonMark >= kMoonMarkSeconds)
    marks.push_back(MoonKeptOut{passUnix_, current_->name});
  return marks;
}

std::vector<KeptOutGroup> EligibilityTally::neverEligible() const {
  std::vector<const Entry*> order;
  for (const Entry& e : entries_)
    if (e.eligible == 0) order.push_back(&e);
  std::stable_sort(order.begin(), order.end(), [](const Entry* a, const Entry* b) { return a->start < b->start; });
  std::vector<KeptOutGroup> kept;
  for (const Entry* e : order) {
    KeptOutGroup g{e->name, "target line", e->unreadable, e->passes};
    for (int t = 0; t < kEligibilityTests; ++t) {
      if (e->firstFailures[static_cast<std::size_t>(t)] > g.failedThere) {
        g.failedThere = e->firstFailures[static_cast<std::size_t>(t)];
        g.test = testName(static_cast<EligibilityTest>(t));
      }
    }
    kept.push_back(std::move(g));
  }
  return kept;
}

}  // namespace np
