#pragma once
#include <cstdint>
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

// Which back end the observatory folder is for ([host] kind).
enum class HostKind { Simulated, Indi };

// The observatory's configuration: observatory.ini in its folder, one member per key,
// grouped as the file's sections. Every member starts at the key's default. [host] kind
// names the back end: the simulated observatory, or an observatory of INDI devices
// ([indi]). Some keys describe only what the simulated observatory makes up (its clock,
// weather, mount capabilities and acquisition times); over INDI the devices and the
// computer's clock say those, and the keys are errors.
struct ObservatoryConfig {
  struct Host {
    HostKind kind = HostKind::Simulated;
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
  // The INDI server and the names of its devices (empty: no such device).
  struct Indi {
    std::string server = "localhost:7624";  // host:port
    std::string mount;                      // required with kind = indi
    std::string camera;                     // required with kind = indi
    std::string filterWheel;
    std::string focuser;
    std::string dome;
    std::string weather;
    double connectTimeout = 30.0;    // seconds to wait for the server and the devices
    std::string images = "Images";   // folder of the images; relative: in the observatory folder
  } indi;
  // What every end of a run does to an observatory that Nightpick keeps (INDI): secure it
  // (abort the exposure, park the mount, close the roof), or leave the devices as they are
  // for an operator who takes over by hand.
  struct Safety {
    bool secureOnStop = true;  // on_stop = secure | leave
  } safety;
};

inline constexpr const char* kObservatoryIniName = "observatory.ini";
inline constexpr const char* kPlansFolderName = "Plans";
inline constexpr const char* kLogsFolderName = "Logs";
inline constexpr const char* kScriptsFolderName = "Scripts";
inline constexpr const char* kAcquireScriptName = "AcquireImages.js";

// The text of a fresh observatory.ini: every key at its default, each explained.
std::string defaultObservatoryIni();

// Reads the text of an observatory.ini. `sourceName` heads every error message
// ("<sourceName> line <n>: ..."). Unknown sections and keys, keys given twice, lines
// that are neither a section, a key nor a comment, and values that cannot be read are
// RunTimeErrors naming the key and the line. With [host] kind = indi (wherever it stands
// in the file), a key of the simulated observatory alone is such an error too, and
// indi.mount and indi.camera must be given.
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
