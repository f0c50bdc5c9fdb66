#include "host/ObservatoryConfig.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>

#include "base/Errors.h"
#include "base/NumberText.h"
#include "host/HostText.h"
#include "host/UtcTime.h"

namespace np {
namespace {

using hosttext::lower;
using hosttext::trim;

using BadValue = ConfigValueError;

double readNumber(const std::string& value) {
  if (value.empty()) throw BadValue{"a number is missing"};
  const std::optional<double> d = parseStrictDecimal(value);
  if (!d) throw BadValue{"cannot read '" + value + "' as a number"};
  return *d;
}

double readNumberIn(const std::string& value, double low, double high) {
  double d = readNumber(value);
  if (d < low || d > high) {
    throw BadValue{"'" + value + "' lies outside " + formatPrintfGeneral(low) + " to " + formatPrintfGeneral(high)};
  }
  return d;
}

double readPositive(const std::string& value) {
  double d = readNumber(value);
  if (!(d > 0.0)) throw BadValue{"'" + value + "' must be greater than 0"};
  return d;
}

double readNotNegative(const std::string& value) {
  double d = readNumber(value);
  if (d < 0.0) throw BadValue{"'" + value + "' must not be negative"};
  return d;
}

int readWhole(const std::string& value, int low, int high) {
  double d = readNumber(value);
  if (d != std::floor(d) || d < low || d > high) {
    throw BadValue{"'" + value + "' must be a whole number from " + std::to_string(low) + " to " +
                   std::to_string(high)};
  }
  return static_cast<int>(d);
}

// A whole number of 0 or more, as plain digits.
std::uint64_t readCount(const std::string& value) {
  if (value.empty()) throw BadValue{"a number is missing"};
  std::uint64_t n = 0;
  const char* end = value.data() + value.size();
  const auto [ptr, ec] = std::from_chars(value.data(), end, n);
  if (ec == std::errc::result_out_of_range) throw BadValue{"'" + value + "' is too large"};
  if (ec != std::errc() || ptr != end) throw BadValue{"'" + value + "' must be a whole number, 0 or more"};
  return n;
}

// The mean length of a weather spell in hours. Below a hundredth of an hour a night would
// be cut into more spells than is worth working out.
double readSpellHours(const std::string& value) {
  const double d = readPositive(value);
  if (d < 0.01 || d > 1000.0) throw BadValue{"'" + value + "' lies outside 0.01 to 1000 hours"};
  return d;
}

bool readBool(const std::string& value) {
  std::string v = lower(value);
  if (v == "true" || v == "yes" || v == "on" || v == "1") return true;
  if (v == "false" || v == "no" || v == "off" || v == "0") return false;
  throw BadValue{"cannot read '" + value + "' as true or false"};
}

std::vector<HorizonPoint> readHorizon(const std::string& value) {
  std::vector<HorizonPoint> points;
  std::istringstream in(value);
  std::string pair;
  while (in >> pair) {
    auto colon = pair.find(':');
    if (colon == std::string::npos) throw BadValue{"'" + pair + "' is not an azimuth:elevation pair"};
    HorizonPoint p;
    try {
      p.azimuth = readNumberIn(pair.substr(0, colon), 0.0, 360.0);
      p.elevation = readNumberIn(pair.substr(colon + 1), -90.0, 90.0);
    } catch (const BadValue& bad) {
      throw BadValue{"in '" + pair + "': " + bad.why};
    }
    points.push_back(p);
  }
  std::stable_sort(points.begin(), points.end(),
                   [](const HorizonPoint& a, const HorizonPoint& b) { return a.azimuth < b.azimuth; });
  return points;
}

std::vector<TimeSpan> readIntervals(const std::string& value) {
  std::vector<TimeSpan> intervals;
  if (value.empty()) return intervals;
  std::size_t pos = 0;
  while (true) {
    std::size_t comma = value.find(',', pos);
    std::string item = trim(value.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
    auto slash = item.find('/');
    TimeSpan iv;
    if (slash == std::string::npos || !parseUtcInstant(item.substr(0, slash), iv.start) ||
        !parseUtcInstant(item.substr(slash + 1), iv.end)) {
      throw BadValue{"cannot read '" + item + "' as an interval start/end in ISO 8601 UTC"};
    }
    if (!(iv.end > iv.start)) throw BadValue{"the interval '" + item + "' ends before it starts"};
    intervals.push_back(iv);
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  return intervals;
}

std::string readClockStart(const std::string& value) {
  double unused = 0.0;
  if (lower(value) == "now") return "now";
  if (!parseUtcInstant(value, unused)) throw BadValue{"cannot read '" + value + "' as now or an ISO 8601 instant"};
  return value;
}

std::mutex registryMutex;

std::vector<ConfigBackEnd>& registry() {
  static std::vector<ConfigBackEnd> backEnds;
  return backEnds;
}

// A kind the file may name: the simulated observatory's or a registered back end's.
std::string readHostKind(const std::string& value) {
  const std::string v = lower(value);
  std::vector<std::string> kinds = {kSimulatedKind};
  for (const ConfigBackEnd& backEnd : configBackEnds()) kinds.push_back(backEnd.kind);
  if (std::find(kinds.begin(), kinds.end(), v) != kinds.end()) return v;
  std::string known;
  if (kinds.size() == 1) {
    throw BadValue{"'" + value + "' is not " + kinds.front() + ", the only kind this build knows"};
  }
  if (kinds.size() == 2) throw BadValue{"'" + value + "' is neither " + kinds[0] + " nor " + kinds[1]};
  for (const std::string& kind : kinds) known += (known.empty() ? "" : ", ") + kind;
  throw BadValue{"'" + value + "' is none of " + known};
}

// The keys that only the simulated observatory reads, and what takes their place on real devices.
const std::map<std::string, const char*>& simulatedOnlyKeys() {
  static const std::map<std::string, const char*> table = {
      {"site.utc_offset", "the computer's clock and zone are used"},
      {"mount.can_park", "the mount says it"},
      {"mount.can_unpark", "the mount says it"},
      {"weather.connected", "the weather device says it"},
      {"weather.unsafe", "the weather device says it"},
      {"weather.clear_nights", "the weather device says it"},
      {"weather.unsafe_spell", "the weather device says it"},
      {"weather.seed", "the weather device says it"},
      {"acquisition.start_delay", "the devices take the time they take"},
      {"acquisition.overhead", "the devices take the time they take"},
      {"acquisition.autofocus", "the autofocus takes the time it takes (acquisition.autofocus_command)"},
      {"clock.speed", "the computer's clock is used"},
      {"clock.start", "the computer's clock is used"},
  };
  return table;
}

using Setter = std::function<void(ObservatoryConfig&, const std::string&)>;

const std::map<std::string, Setter>& setters() {
  static const std::map<std::string, Setter> table = {
      {"host.kind", [](ObservatoryConfig& c, const std::string& v) { c.host.kind = readHostKind(v); }},
      {"site.latitude",
       [](ObservatoryConfig& c, const std::string& v) {
         c.site.latitude = readNumberIn(v, -90, 90);
         c.site.latitudeGiven = true;
       }},
      {"site.longitude",
       [](ObservatoryConfig& c, const std::string& v) {
         c.site.longitude = readNumberIn(v, -180, 180);
         c.site.longitudeGiven = true;
       }},
      {"site.utc_offset",
       [](ObservatoryConfig& c, const std::string& v) { c.site.utcOffset = readNumberIn(v, -14, 14); }},
      {"mount.alignment_mode",
       [](ObservatoryConfig& c, const std::string& v) { c.mount.alignmentMode = readWhole(v, 0, 2); }},
      {"mount.can_park", [](ObservatoryConfig& c, const std::string& v) { c.mount.canPark = readBool(v); }},
      {"mount.can_unpark", [](ObservatoryConfig& c, const std::string& v) { c.mount.canUnpark = readBool(v); }},
      {"mount.tilt_up_limit",
       [](ObservatoryConfig& c, const std::string& v) { c.mount.tiltUpLimit = readNumberIn(v, -90, 90); }},
      {"mount.meridian_flip",
       [](ObservatoryConfig& c, const std::string& v) { c.mount.meridianFlip = readNumberIn(v, -90, 90); }},
      {"limits.minimum_elevation",
       [](ObservatoryConfig& c, const std::string& v) { c.limits.minimumElevation = readNumberIn(v, -90, 90); }},
      {"limits.horizon", [](ObservatoryConfig& c, const std::string& v) { c.limits.horizon = readHorizon(v); }},
      {"weather.connected", [](ObservatoryConfig& c, const std::string& v) { c.weather.connected = readBool(v); }},
      {"weather.unsafe", [](ObservatoryConfig& c, const std::string& v) { c.weather.unsafe = readIntervals(v); }},
      {"weather.clear_nights",
       [](ObservatoryConfig& c, const std::string& v) { c.weather.clearNights = readNumberIn(v, 0, 1); }},
      {"weather.unsafe_spell",
       [](ObservatoryConfig& c, const std::string& v) { c.weather.unsafeSpell = readSpellHours(v); }},
      {"weather.seed", [](ObservatoryConfig& c, const std::string& v) { c.weather.seed = readCount(v); }},
      {"acquisition.start_delay",
       [](ObservatoryConfig& c, const std::string& v) { c.acquisition.startDelay = readNotNegative(v); }},
      {"acquisition.count",
       [](ObservatoryConfig& c, const std::string& v) { c.acquisition.count = readWhole(v, 1, 1000000); }},
      {"acquisition.interval",
       [](ObservatoryConfig& c, const std::string& v) { c.acquisition.interval = readPositive(v); }},
      {"acquisition.overhead",
       [](ObservatoryConfig& c, const std::string& v) { c.acquisition.overhead = readNotNegative(v); }},
      {"acquisition.autofocus",
       [](ObservatoryConfig& c, const std::string& v) { c.acquisition.autofocus = readNotNegative(v); }},
      {"acquisition.autofocus_command",
       [](ObservatoryConfig& c, const std::string& v) { c.acquisition.autofocusCommand = v; }},
      {"acquisition.autofocus_timeout",
       [](ObservatoryConfig& c, const std::string& v) { c.acquisition.autofocusTimeout = readPositive(v); }},
      {"clock.speed", [](ObservatoryConfig& c, const std::string& v) { c.clock.speed = readPositive(v); }},
      {"clock.start", [](ObservatoryConfig& c, const std::string& v) { c.clock.start = readClockStart(v); }},
  };
  return table;
}

void writeNewFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  if (!out) throw RunTimeError("loadObservatoryConfig: cannot write '" + path.string() + "'");
}

// Text with LF line ends written with CR LF, as every text file of the observatory.
std::string withCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace

namespace configvalue {
double number(const std::string& value) { return readNumber(value); }
double positive(const std::string& value) { return readPositive(value); }
std::string notEmpty(const std::string& value) {
  if (value.empty()) throw BadValue{"a value is missing"};
  return value;
}
}  // namespace configvalue

void registerConfigBackEnd(const ConfigBackEnd& backEnd) {
  std::lock_guard<std::mutex> lock(registryMutex);
  for (ConfigBackEnd& known : registry()) {
    if (known.kind == backEnd.kind) {
      known = backEnd;
      return;
    }
  }
  registry().push_back(backEnd);
}

std::vector<ConfigBackEnd> configBackEnds() {
  std::lock_guard<std::mutex> lock(registryMutex);
  return registry();
}

std::string defaultObservatoryIni() {
  const std::vector<ConfigBackEnd> backEnds = configBackEnds();
  std::string kindHelp;
  std::string blocks;
  for (const ConfigBackEnd& backEnd : backEnds) {
    kindHelp += backEnd.kindHelp;
    if (!backEnd.text.empty()) blocks += "\n" + backEnd.text;
  }
  return R"(; The observatory's configuration.
; Plain INI: [section], key = value, and ; comments. A key left out takes the default
; shown here; an unknown section or key is an error, so a typing mistake never passes.

[host]
; simulated: the simulated observatory, all of it described by this file.
)" +
         kindHelp + R"(kind = simulated

[site]
; Latitude of the site in degrees, north positive.
latitude = 31.96
; Longitude of the site in degrees, east positive.
longitude = -111.6
; Hours east of UTC of the simulated local time zone (a fixed offset, no daylight
; saving), as the observatory computer's clock would be set. Without this key it is
; longitude / 15 rounded to whole hours.
; utc_offset = -7

[mount]
; 0 alt-azimuth, 1 polar, 2 German polar.
alignment_mode = 2
; Whether the mount can park and unpark (true or false).
can_park = true
can_unpark = true
; Highest elevation the mount may point to, degrees (Prefs.TiltUpLimit).
tilt_up_limit = 90
; A German mount: the hour angle in degrees past the meridian at which the acquisition
; flips the mount between two exposures (it slews to the target again; a FLIP line in
; AcquireImages.log). Left out: no flip.
; meridian_flip = 5

[limits]
; Lowest elevation the observatory observes at, degrees (Prefs.MinimumElevation).
minimum_elevation = 10
; Local horizon as azimuth:elevation pairs in degrees separated by blanks, for example
; 0:10 90:14 180:6 270:22; linear between the points, wrapping through north.
; Empty is a flat horizon at 0 (Prefs.GetHorizon).
horizon =

[weather]
; Whether a weather source is connected (WeatherConnected).
connected = false
; Comma-separated UTC intervals start/end in ISO 8601 during which the weather is
; unsafe, for example 2024-03-10T05:00:00Z/2024-03-10T06:30:00Z. While a connected
; source turns unsafe, a running acquisition is aborted.
unsafe =
; Made-up weather, unsafe beside the intervals above. Nights run from local noon to
; local noon. The share of nights that are wholly clear, 0 to 1 (1: every night clear,
; nothing made up).
clear_nights = 1
; Hours an unsafe spell lasts on average on a night that is not clear, 0.01 to 1000;
; the safe spells between them last as long on average.
unsafe_spell = 3
; A whole number, 0 or more: the same seed gives the same weather on every run.
seed = 1

[acquisition]
; Seconds from RunScript until ScriptActive turns true.
start_delay = 3
; Images per target line when the plan gives no #COUNT.
count = 4
; Seconds per image when the plan gives no #INTERVAL.
interval = 120
; Seconds per target for slewing and centring.
overhead = 60
; Seconds an #AUTOFOCUS takes.
autofocus = 180
; Over INDI: the command run for an #AUTOFOCUS (empty: none), and the seconds it may take.
; autofocus_command =
; autofocus_timeout = 600

[clock]
; Simulated seconds per real second for the windowed program (headless runs do not sleep).
speed = 1
; now, or the ISO 8601 UTC instant at which the simulated clock starts.
start = now
)" +
         blocks + "\n" + R"(; A program started for each event of a run (nightpick-headless and the window on Linux):
; started, night-summary, weather-unsafe, weather-safe, secured, not-secured, stopped,
; failure, group-finished, list-finished. One word is a program, given the event's kind
; and text as its two arguments; anything else is a shell command line, which has them
; as $1 and $2. Both also have NIGHTPICK_EVENT, NIGHTPICK_TEXT, NIGHTPICK_FOLDER (the
; program folder) and NIGHTPICK_TIME (UTC, ISO 8601).
; [notify]
; command = mosquitto_pub -h localhost -t nightpick/events -m "$1: $2"
; The events to send, comma-separated (default: all).
; events = all
; Seconds the command may take before it is ended.
; timeout = 30

; A read-only status page and /status.json (nightpick-headless). Off without the key;
; given without a value it is 127.0.0.1:8624. 0.0.0.0:8624 serves every network.
; [status]
; listen = 127.0.0.1:8624
)";
}

ObservatoryConfig parseObservatoryConfig(const std::string& text, const std::string& sourceName) {
  std::set<std::string> sections = {"host",    "site",  "mount",  "limits", "weather",
                                    "acquisition", "clock", "notify", "status", "list"};
  const std::vector<ConfigBackEnd> backEnds = configBackEnds();
  std::map<std::string, const std::function<void(const std::string&)>*> backEndKeys;
  for (const ConfigBackEnd& backEnd : backEnds) {
    for (const auto& [key, check] : backEnd.keys) {
      backEndKeys[key] = &check;
      sections.insert(key.substr(0, key.find('.')));
    }
  }
  ObservatoryConfig config;
  bool utcOffsetGiven = false;
  std::set<std::string> seen;
  // Judged once the whole file is read, since [host] kind may come after them: the first
  // key of the simulated observatory alone, and the line of kind.
  std::string simulatedOnlyKey;
  int simulatedOnlyLine = 0;
  int kindLine = 0;
  std::string section;
  std::istringstream in(text);
  std::string raw;
  int lineNumber = 0;
  auto at = [&](int line) { return sourceName + " line " + std::to_string(line) + ": "; };
  auto where = [&]() { return at(lineNumber); };
  while (std::getline(in, raw)) {
    ++lineNumber;
    std::string line = trim(raw);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[') {
      if (line.back() != ']') throw RunTimeError(where() + "cannot read '" + line + "'");
      std::string name = lower(trim(line.substr(1, line.size() - 2)));
      if (!sections.count(name)) throw RunTimeError(where() + "unknown section '" + line + "'");
      section = name;
      continue;
    }
    auto eq = line.find('=');
    if (eq == std::string::npos) throw RunTimeError(where() + "cannot read '" + line + "'");
    std::string key = lower(trim(line.substr(0, eq)));
    std::string value = line.substr(eq + 1);
    if (auto semicolon = value.find(';'); semicolon != std::string::npos) value.erase(semicolon);
    value = trim(value);
    if (key.empty()) throw RunTimeError(where() + "cannot read '" + line + "'");
    if (section.empty()) throw RunTimeError(where() + "key '" + key + "' outside any section");
    std::string full = section + "." + key;
    if (std::find(std::begin(kProgramSections), std::end(kProgramSections), section) != std::end(kProgramSections)) {
      if (!config.programKeys.emplace(full, ObservatoryConfig::ProgramKey{value, lineNumber}).second)
        throw RunTimeError(where() + "key '" + full + "' given twice");
      continue;
    }
    auto setter = setters().find(full);
    auto backEndKey = backEndKeys.find(full);
    if (setter == setters().end() && backEndKey == backEndKeys.end()) {
      throw RunTimeError(where() + "unknown key '" + full + "'");
    }
    if (!seen.insert(full).second) throw RunTimeError(where() + "key '" + full + "' given twice");
    try {
      if (setter != setters().end()) {
        setter->second(config, value);
      } else {
        (*backEndKey->second)(value);
        config.backEndKeys[full] = value;
      }
    } catch (const BadValue& bad) {
      throw RunTimeError(where() + "key '" + full + "': " + bad.why);
    }
    if (full == "site.utc_offset") utcOffsetGiven = true;
    if (full == "host.kind") kindLine = lineNumber;
    if (simulatedOnlyKey.empty() && simulatedOnlyKeys().count(full)) {
      simulatedOnlyKey = full;
      simulatedOnlyLine = lineNumber;
    }
  }
  for (const ConfigBackEnd& backEnd : backEnds) {
    if (backEnd.kind != config.host.kind) continue;
    if (backEnd.refusesSimulatedKeys && !simulatedOnlyKey.empty()) {
      throw RunTimeError(at(simulatedOnlyLine) + "key '" + simulatedOnlyKey +
                         "' belongs to the simulated observatory; over " + backEnd.name + " " +
                         simulatedOnlyKeys().at(simulatedOnlyKey) + " (remove the key or use kind = simulated)");
    }
    for (const auto& [key, what] : backEnd.required) {
      if (config.backEndKeys.count(key) == 0 || config.backEndKeys.at(key).empty()) {
        throw RunTimeError(at(kindLine) + "kind = " + backEnd.kind + " needs the key '" + key + "', " + what);
      }
    }
  }
  if (!utcOffsetGiven) config.site.utcOffset = std::round(config.site.longitude / 15.0);
  return config;
}

ObservatoryConfig loadObservatoryConfig(const std::string& folder) {
  namespace fs = std::filesystem;
  const fs::path root(folder);
  std::error_code ec;
  for (const fs::path& dir : {root, root / kPlansFolderName, root / kLogsFolderName, root / kScriptsFolderName}) {
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir)) {
      throw RunTimeError("loadObservatoryConfig: cannot create the folder '" + dir.string() + "'" +
                         (ec ? ": " + ec.message() : std::string()));
    }
  }
  const fs::path ini = root / kObservatoryIniName;
  if (!fs::exists(ini)) writeNewFile(ini, withCrLf(defaultObservatoryIni()));
  const fs::path script = root / kScriptsFolderName / kAcquireScriptName;
  if (!fs::exists(script)) {
    writeNewFile(script, withCrLf("// Image acquisition of the simulated observatory.\n"
                                  "// The simulator runs plans itself: RunScript reads the plan named in\n"
                                  "// Plans/runplanonce.txt and logs what it does in Logs/AcquireImages.log.\n"
                                  "// Nothing in this file is executed.\n"));
  }
  std::ifstream in(ini, std::ios::binary);
  if (!in) throw RunTimeError("loadObservatoryConfig: cannot open '" + ini.string() + "'");
  std::ostringstream text;
  text << in.rdbuf();
  return parseObservatoryConfig(text.str(), ini.string());
}

double clockStartUnixSeconds(const ObservatoryConfig& config, double systemNowUnix) {
  if (lower(trim(config.clock.start)) == "now") return systemNowUnix;
  double start = 0.0;
  if (!parseUtcInstant(config.clock.start, start)) {
    throw RunTimeError("clockStartUnixSeconds: cannot read clock.start '" + config.clock.start + "'");
  }
  return start;
}

double horizonElevation(const std::vector<HorizonPoint>& horizon, double azimuth) {
  if (horizon.empty()) return 0.0;
  if (horizon.size() == 1) return horizon.front().elevation;
  double az = std::fmod(azimuth, 360.0);
  if (az < 0.0) az += 360.0;
  // The segment that holds az; the last one runs from the last point through north to
  // the first point.
  for (std::size_t i = 0; i + 1 < horizon.size(); ++i) {
    const HorizonPoint& a = horizon[i];
    const HorizonPoint& b = horizon[i + 1];
    if (az >= a.azimuth && az <= b.azimuth) {
      double span = b.azimuth - a.azimuth;
      return span > 0.0 ? a.elevation + (b.elevation - a.elevation) * (az - a.azimuth) / span : b.elevation;
    }
  }
  const HorizonPoint& last = horizon.back();
  const HorizonPoint& first = horizon.front();
  double span = first.azimuth + 360.0 - last.azimuth;
  double along = az >= last.azimuth ? az - last.azimuth : az + 360.0 - last.azimuth;
  return span > 0.0 ? last.elevation + (first.elevation - last.elevation) * along / span : first.elevation;
}

bool firstUnsafeInstant(const std::vector<TimeSpan>& unsafe, double from, double& instant) {
  bool found = false;
  for (const TimeSpan& iv : unsafe) {
    if (iv.end <= from) continue;
    double t = std::max(iv.start, from);
    if (!found || t < instant) instant = t;
    found = true;
  }
  return found;
}

bool isUnsafeAt(const std::vector<TimeSpan>& unsafe, double unixSeconds) {
  return std::any_of(unsafe.begin(), unsafe.end(),
                     [&](const TimeSpan& iv) { return unixSeconds >= iv.start && unixSeconds < iv.end; });
}

}  // namespace np
