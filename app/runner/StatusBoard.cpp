#include "app/runner/StatusBoard.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "night/ObservingLoop.h"

namespace np {

namespace {

double realSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The text with every byte sequence that is not UTF-8 replaced by U+FFFD (the run log is
// single-byte text in the computer's code page).
std::string validUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    bool ok = n > 0 && i + n <= text.size();
    for (std::size_t k = 1; ok && k < n; ++k) ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    if (ok && n == 2) ok = c >= 0xC2;
    if (ok && n == 3) {
      const unsigned char d = static_cast<unsigned char>(text[i + 1]);
      ok = !(c == 0xE0 && d < 0xA0) && !(c == 0xED && d >= 0xA0);
    }
    if (ok && n == 4) {
      const unsigned char d = static_cast<unsigned char>(text[i + 1]);
      ok = c <= 0xF4 && !(c == 0xF0 && d < 0x90) && !(c == 0xF4 && d >= 0x90);
    }
    if (ok) {
      out.append(text, i, n);
      i += n;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

}  // namespace

StatusBoard::StatusBoard(StatusSources sources)
    : sources_(std::move(sources)), latest_(std::make_shared<const StatusSnapshot>()) {}

void StatusBoard::statusChanged(const std::string& text) {
  status_ = text;
  refresh(0.0);
}

void StatusBoard::nightEvent(NightEventKind kind, const std::string&) {
  // The run's end and the night's end change what the page shows at once.
  if (kind == NightEventKind::Stopped || kind == NightEventKind::Failure || kind == NightEventKind::NightSummary ||
      kind == NightEventKind::GroupFinished)
    refresh(0.0);
}

void StatusBoard::refresh(double seconds) {
  const double now = realSeconds();
  if (seconds > 0 && now - lastRefresh_ < seconds) return;
  lastRefresh_ = now;
  auto snap = std::make_shared<StatusSnapshot>();
  snap->unixSeconds = sources_.unixSeconds ? sources_.unixSeconds() : 0.0;
  auto local = [&](double unix) { return sources_.localTime ? sources_.localTime(unix) : std::string(); };
  snap->localTime = local(snap->unixSeconds);
  snap->status = status_;
  snap->running = sources_.running && sources_.running();
  // Each part is what it can be: a file that cannot be read now leaves its part empty.
  try {
    snap->weather = sources_.weather ? sources_.weather() : std::string();
  } catch (const std::exception&) {
    snap->weather = "unknown";
  }
  if (sources_.nightSoFar) {
    try {
      const NightReport report = sources_.nightSoFar();
      for (const PlanRun& run : report.plans) {
        StatusSnapshot::Plan plan{run.target, local(run.startUnix), run.finished ? local(run.endUnix) : std::string(),
                                  run.finished ? run.endReason : std::string(), run.imagesTaken};
        snap->plans.push_back(plan);
      }
      if (snap->running && !report.plans.empty() && !report.plans.back().finished &&
          status_.rfind(kRunningPlanStatus, 0) == 0)
        snap->underWay = snap->plans.back();
      if (sources_.drawPicture && now - lastPicture_ >= 60.0) {
        lastPicture_ = now;
        picture_ = sources_.drawPicture(report);
      }
    } catch (const std::exception&) {
    }
  }
  snap->picture = picture_;
  if (sources_.list) {
    try {
      for (const ReportGroup& g : sources_.list()) {
        snap->list.push_back({g.name, g.remaining});
        if (g.remaining > 0) snap->runsLeft += g.remaining;
        if (g.remaining != 0) ++snap->groupsWithRunsLeft;
      }
    } catch (const std::exception&) {
    }
  }
  if (!sources_.runLogPath.empty()) snap->log = lastLines(sources_.runLogPath, kLogLines);
  std::lock_guard lock(mutex_);
  latest_ = std::move(snap);
}

std::shared_ptr<const StatusSnapshot> StatusBoard::snapshot() const {
  std::lock_guard lock(mutex_);
  return latest_;
}

std::vector<std::string> lastLines(const std::string& path, std::size_t count) {
  std::ifstream in(path, std::ios::binary);
  if (!in || count == 0) return {};
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  // The last lines of a run log are short: 64 KB hold them.
  const std::streamoff from = size > 65536 ? size - 65536 : 0;
  in.seekg(from);
  std::string tail((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> lines;
  std::size_t end = tail.size();
  while (end > 0 && (tail[end - 1] == '\n' || tail[end - 1] == '\r')) --end;
  while (end > 0 && lines.size() < count) {
    std::size_t begin = tail.rfind('\n', end - 1);
    const bool whole = begin != std::string::npos || from == 0;
    begin = begin == std::string::npos ? 0 : begin + 1;
    if (!whole) break;  // the cut first line
    std::string line = tail.substr(begin, end - begin);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.insert(lines.begin(), line);
    if (begin == 0) break;
    end = begin - 1;
    if (end > 0 && tail[end - 1] == '\r') --end;
  }
  return lines;
}

std::string escapeHtml(const std::string& text) {
  std::string out;
  for (char c : validUtf8(text)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : validUtf8(text)) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20 || c == '<' || c == '>' || c == '&') {
      // Also the characters of markup, so that the data is inert wherever it is pasted.
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

namespace {

void planJson(std::ostringstream& o, const StatusSnapshot::Plan& p) {
  o << "{\"target\":" << jsonString(p.target) << ",\"start\":" << jsonString(p.start)
    << ",\"end\":" << (p.end.empty() ? "null" : jsonString(p.end))
    << ",\"endReason\":" << (p.endReason.empty() ? "null" : jsonString(p.endReason)) << ",\"images\":" << p.images
    << "}";
}

}  // namespace

std::string statusJson(const StatusSnapshot& s) {
  std::ostringstream o;
  o << "{\"time\":" << jsonString(s.localTime) << ",\"unixTime\":" << static_cast<long long>(s.unixSeconds)
    << ",\"status\":" << jsonString(s.status) << ",\"running\":" << (s.running ? "true" : "false")
    << ",\"target\":";
  if (s.underWay)
    planJson(o, *s.underWay);
  else
    o << "null";
  o << ",\"plans\":[";
  for (std::size_t i = 0; i < s.plans.size(); ++i) {
    if (i) o << ',';
    planJson(o, s.plans[i]);
  }
  o << "],\"list\":{\"groups\":" << s.list.size() << ",\"groupsWithRunsLeft\":" << s.groupsWithRunsLeft
    << ",\"runsLeft\":" << s.runsLeft << ",\"entries\":[";
  for (std::size_t i = 0; i < s.list.size(); ++i) {
    if (i) o << ',';
    o << "{\"name\":" << jsonString(s.list[i].name) << ",\"remaining\":" << s.list[i].remaining << "}";
  }
  o << "]},\"weather\":" << jsonString(s.weather) << ",\"log\":[";
  for (std::size_t i = 0; i < s.log.size(); ++i) o << (i ? "," : "") << jsonString(s.log[i]);
  o << "],\"picture\":" << (s.picture.empty() ? "null" : "\"/night.png\"") << "}\n";
  return o.str();
}

std::string statusPageHtml(const StatusSnapshot& s, int refreshSeconds) {
  std::ostringstream o;
  o << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
       "<meta http-equiv=\"refresh\" content=\""
    << refreshSeconds
    << "\"><title>Nightpick</title><style>"
       "body{font-family:sans-serif;margin:1em;background:#111;color:#ddd}"
       "h1{font-size:1.3em}h2{font-size:1.1em;margin-top:1.2em}"
       "table{border-collapse:collapse}td,th{padding:2px 8px;text-align:left;border-bottom:1px solid #333}"
       "pre{white-space:pre-wrap;font-size:.85em;background:#000;padding:.5em}"
       "img{max-width:100%}.status{font-size:1.2em;color:#fff}"
       "</style></head><body>\n";
  o << "<h1>Nightpick</h1>\n<p class=\"status\" id=\"status\">" << escapeHtml(s.status) << "</p>\n";
  o << "<p id=\"time\">As of " << escapeHtml(s.localTime) << " &middot; weather: <span id=\"weather\">"
    << escapeHtml(s.weather) << "</span>" << (s.running ? "" : " &middot; not running") << "</p>\n";
  o << "<h2>Under way</h2>\n<p id=\"target\">";
  if (s.underWay)
    o << escapeHtml(s.underWay->target) << ", since " << escapeHtml(s.underWay->start) << ": " << s.underWay->images
      << (s.underWay->images == 1 ? " image" : " images") << " so far";
  else
    o << "No plan is running.";
  o << "</p>\n<h2>Tonight's plans</h2>\n";
  if (s.plans.empty()) {
    o << "<p>None yet.</p>\n";
  } else {
    o << "<table id=\"plans\"><tr><th>Target</th><th>Start</th><th>End</th><th>Images</th></tr>\n";
    for (const StatusSnapshot::Plan& p : s.plans)
      o << "<tr><td>" << escapeHtml(p.target) << "</td><td>" << escapeHtml(p.start) << "</td><td>"
        << (p.end.empty() ? std::string("under way") : escapeHtml(p.end + " (" + p.endReason + ")")) << "</td><td>"
        << p.images << "</td></tr>\n";
    o << "</table>\n";
  }
  if (!s.picture.empty()) o << "<p><img src=\"/night.png\" alt=\"The night so far\"></p>\n";
  o << "<h2>Target list</h2>\n<p>" << s.list.size() << " groups, " << s.groupsWithRunsLeft << " with runs left ("
    << s.runsLeft << " runs).</p>\n<table id=\"list\"><tr><th>Target</th><th>Runs left</th></tr>\n";
  for (const StatusSnapshot::Group& g : s.list)
    o << "<tr><td>" << escapeHtml(g.name) << "</td><td>" << g.remaining << "</td></tr>\n";
  o << "</table>\n<h2>Run log</h2>\n<pre id=\"log\">";
  for (const std::string& line : s.log) o << escapeHtml(line) << "\n";
  o << "</pre>\n<p><a href=\"/status.json\">status.json</a></p>\n</body></html>\n";
  return o.str();
}

}  // namespace np
