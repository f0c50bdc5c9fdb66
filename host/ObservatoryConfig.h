#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/DateTime.h"

namespace np {

// One point of the local horizon: its elevation (degrees) at an azimuth (degrees from
// north through east).
struct HorizonPoint {
  double azimuth = 0.0;
  double elevation = 0.0;
};

// [host] kind of the simulated observatory, the kind of a folder that names none.
inline constexpr const char* kSimulatedKind = "simulated";

// The observatory's configuration: observatory.ini in its folder, one member per key,
// grouped as the file's sections. Every member starts at the key's default. [host] kind
// names the back end: the simulated observatory, or a back end registered with its own
// keys (registerConfigBackEnd), which it reads from `backEndKeys`. Some keys describe only
// what the simulated observatory makes up (its clock, weather, mount capabilities and
// acquisition times); a back end of real devices may refuse them.
struct ObservatoryConfig {
  struct Host {
    std::string kind = kSimulatedKind;  // lower case
  } host;
  struct Site {
    double latitude = 31.96;    // degrees, north positive
    double longitude = -111.6;  // degrees, east positive
    double utcOffset = -7.0;    // hours east of UTC; round(longitude / 15) when the key is missing
    bool latitudeGiven = false;   // the file has site.latitude
    bool longitudeGiven = false;  // the file has site.longitude
  } site;
  struct Mount {
    int alignmentMode = 2;  // 0 alt-azimuth, 1 polar, 2 German polar
    bool canPark = true;
    bool canUnpark = true;
    double tiltUpLimit = 90.0;  // degrees
    std::optional<double> meridianFlip;  // German mount: hour angle (degrees past the meridian) to flip at; none
  } mount;
  struct Limits {
    double minimumElevation = 10.0;    // degrees
    std::vector<HorizonPoint> horizon;  // sorted by azimuth; empty is flat at 0
  } limits;
  // The simulated weather: unsafe during the explicit intervals and during the spells of
  // the statistical model (sim::WeatherModel), which the defaults leave out.
  struct Weather {
    bool connected = false;
    std::vector<TimeSpan> unsafe;  // in the order written, each from start (included) to end (excluded)
    double clearNights = 1.0;      // share of nights wholly clear, 0 to 1; 1: the model adds nothing
    double unsafeSpell = 3.0;      // hours, the mean length of an unsafe spell (and of a safe one)
    std::uint64_t seed = 1;        // the same seed gives the same weather
  } weather;
  struct Acquisition {
    double startDelay = 3.0;  // seconds from RunScript until ScriptActive
    int count = 4;            // images per target line without #COUNT
    double interval = 120.0;  // seconds per image without #INTERVAL
    double overhead = 60.0;   // seconds per target for slewing and centring
    double autofocus = 180.0; // seconds for an #AUTOFOCUS
    std::string autofocusCommand;     // INDI: the command run for an #AUTOFOCUS; empty: none
    double autofocusTimeout = 600.0;  // INDI: seconds the command may take
  } acquisition;
  struct ClockSettings {
    double speed = 1.0;         // simulated seconds per real second (windowed program)
    std::string start = "now";  // "now" or an ISO 8601 UTC instant
  } clock;
  // The keys of the registered back ends given in the file, section.key to its value
  // (checked when read), whatever the kind.
  std::map<std::string, std::string> backEndKeys;
  // The sections of the programs that watch over a run rather than of the observatory
  // ([notify], [status]): each key as "section.key" with its value and line, as written,
  // for their own readers to judge.
  struct ProgramKey {
    std::string value;
    int line = 0;
  };
  std::map<std::string, ProgramKey> programKeys;
};

// The sections whose keys go to ObservatoryConfig::programKeys.
inline constexpr const char* kProgramSections[] = {"notify", "status", "list"};

inline constexpr const char* kObservatoryIniName = "observatory.ini";
inline constexpr const char* kPlansFolderName = "Plans";
inline constexpr const char* kLogsFolderName = "Logs";
inline constexpr const char* kScriptsFolderName = "Scripts";
inline constexpr const char* kAcquireScriptName = "AcquireImages.js";

// A value of observatory.ini that cannot be read: why, without the key and the line,
// which the reader adds.
struct ConfigValueError {
  std::string why;
};

// Readers of values for the back ends' keys; each throws ConfigValueError.
namespace configvalue {
double number(const std::string& value);
double positive(const std::string& value);
std::string notEmpty(const std::string& value);
}  // namespace configvalue

// What a back end other than the simulated observatory adds to observatory.ini.
struct ConfigBackEnd {
  std::string kind;      // its value of [host] kind, lower case
  std::string name;      // how messages name it ("over <name> ...")
  std::string kindHelp;  // its comment lines under [host] in a fresh observatory.ini
  std::string text;      // its commented block at the end of a fresh observatory.ini
  // Its keys as section.key, each with the check of its value (throwing ConfigValueError);
  // a section of its own is known once one of its keys is.
  std::map<std::string, std::function<void(const std::string&)>> keys;
  // The keys its kind needs, each with what the key names.
  std::vector<std::pair<std::string, std::string>> required;
  // Whether its kind refuses the keys of what only the simulated observatory makes up.
  bool refusesSimulatedKeys = false;
};

// Makes a back end's kind and keys known to every later read of observatory.ini (again:
// replaces the one of that kind). Any thread; before the reads that need it.
void registerConfigBackEnd(const ConfigBackEnd& backEnd);

// The back ends registered so far, in the order of their first registration.
std::vector<ConfigBackEnd> configBackEnds();

// The text of a fresh observatory.ini: every key at its default, each explained, with
// the registered back ends' own.
std::string defaultObservatoryIni();

// Reads the text of an observatory.ini. `sourceName` heads every error message
// ("<sourceName> line <n>: ..."). Unknown sections and keys, keys given twice, lines
// that are neither a section, a key nor a comment, and values that cannot be read are
// RunTimeErrors naming the key and the line. With [host] kind naming a back end that
// refuses them (wherever kind stands in the file), a key of the simulated observatory
// alone is such an error too, and the keys the back end requires must be given.
ObservatoryConfig parseObservatoryConfig(const std::string& text, const std::string& sourceName);

// Creates the folder and what is missing in it (observatory.ini with defaults,
// Plans/, Logs/, Scripts/AcquireImages.js), never overwriting what exists, then
// reads its observatory.ini.
ObservatoryConfig loadObservatoryConfig(const std::string& folder);

// UTC seconds since 1970 at which the simulated clock starts: the configured
// instant, or `systemNowUnix` for "now".
double clockStartUnixSeconds(const ObservatoryConfig& config, double systemNowUnix);

// The elevation of the local horizon at an azimuth: linear between the points,
// wrapping through north; 0 without points.
double horizonElevation(const std::vector<HorizonPoint>& horizon, double azimuth);

// The first instant at or after `from` at which an interval is under way: `from`
// itself when one covers it, else the earliest later start; false when there is none.
bool firstUnsafeInstant(const std::vector<TimeSpan>& unsafe, double from, double& instant);

// True when an interval covers the instant.
bool isUnsafeAt(const std::vector<TimeSpan>& unsafe, double unixSeconds);

}  // namespace np
