#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "base/Errors.h"
#include "support/TestText.h"
#include "host/ObservatoryConfig.h"
#include "host/UtcTime.h"
#include "support/TempDir.h"

namespace np {
namespace {

using ::testing::HasSubstr;
using test::readFileBytes;
using test::TempDir;
using test::writeFileBytes;

using test::errorOf;

double utc(const char* text) {
  double t = 0.0;
  EXPECT_TRUE(parseUtcInstant(text, t)) << text;
  return t;
}

// ---- the folder ---------------------------------------------------------------------

TEST(ObservatoryFolder, FirstUseCreatesEverythingMissing) {
  TempDir dir;
  const std::string folder = dir.file("obs/nested");
  ObservatoryConfig config = loadObservatoryConfig(folder);
  namespace fs = std::filesystem;
  EXPECT_TRUE(fs::is_directory(folder + "/Plans"));
  EXPECT_TRUE(fs::is_directory(folder + "/Logs"));
  EXPECT_TRUE(fs::is_regular_file(folder + "/observatory.ini"));
  const std::string script = readFileBytes(folder + "/Scripts/AcquireImages.js");
  EXPECT_THAT(script, HasSubstr("simulator runs plans itself"));
  EXPECT_FALSE(fs::exists(folder + "/Logs/AcquireImages.log"));
  EXPECT_EQ(config.site.latitude, 31.96);
}

TEST(ObservatoryFolder, DefaultIniExplainsEveryKeyAndReadsAsTheDefaults) {
  TempDir dir;
  loadObservatoryConfig(dir.path());
  const std::string ini = readFileBytes(dir.file("observatory.ini"));
  EXPECT_THAT(ini, HasSubstr("\r\n"));
  for (const char* section : {"[host]", "[site]", "[mount]", "[limits]", "[weather]", "[acquisition]", "[clock]"}) {
    EXPECT_THAT(ini, HasSubstr(section));
  }
  for (const char* key : {"latitude =", "longitude =", "utc_offset =", "alignment_mode =", "can_park =",
                          "can_unpark =", "tilt_up_limit =", "minimum_elevation =", "horizon =", "connected =",
                          "unsafe =", "start_delay =", "count =", "interval =", "overhead =", "autofocus =",
                          "speed =", "start =", "kind =", "autofocus_command =", "autofocus_timeout =",
                          "clear_nights =", "unsafe_spell =", "seed ="}) {
    EXPECT_THAT(ini, HasSubstr(key));
  }
  EXPECT_GE(std::count(ini.begin(), ini.end(), ';'), 18) << "each key has its comment";

  const ObservatoryConfig c = parseObservatoryConfig(ini, "observatory.ini");
  const ObservatoryConfig d;
  EXPECT_EQ(c.host.kind, "simulated");
  EXPECT_EQ(c.site.latitude, d.site.latitude);
  EXPECT_EQ(c.site.longitude, d.site.longitude);
  EXPECT_EQ(c.site.utcOffset, -7.0);
  EXPECT_EQ(c.mount.alignmentMode, 2);
  EXPECT_TRUE(c.mount.canPark);
  EXPECT_TRUE(c.mount.canUnpark);
  EXPECT_EQ(c.mount.tiltUpLimit, 90.0);
  EXPECT_EQ(c.limits.minimumElevation, 10.0);
  EXPECT_TRUE(c.limits.horizon.empty());
  EXPECT_FALSE(c.weather.connected);
  EXPECT_TRUE(c.weather.unsafe.empty());
  EXPECT_EQ(c.weather.clearNights, 1.0);
  EXPECT_EQ(c.weather.unsafeSpell, 3.0);
  EXPECT_EQ(c.weather.seed, 1u);
  EXPECT_EQ(c.acquisition.startDelay, 3.0);
  EXPECT_EQ(c.acquisition.count, 4);
  EXPECT_EQ(c.acquisition.interval, 120.0);
  EXPECT_EQ(c.acquisition.overhead, 60.0);
  EXPECT_EQ(c.acquisition.autofocus, 180.0);
  EXPECT_EQ(c.clock.speed, 1.0);
  EXPECT_EQ(c.clock.start, "now");
  EXPECT_EQ(c.acquisition.autofocusCommand, "");
  EXPECT_EQ(c.acquisition.autofocusTimeout, 600.0);
  EXPECT_TRUE(c.backEndKeys.empty());
}

TEST(ObservatoryFolder, ExistingFilesAreNeverOverwritten) {
  TempDir dir;
  std::filesystem::create_directories(dir.file("Scripts"));
  const std::string ini = "[site]\nlatitude = 45.5\n";
  writeFileBytes(dir.file("observatory.ini"), ini);
  writeFileBytes(dir.file("Scripts/AcquireImages.js"), "mine");
  ObservatoryConfig config = loadObservatoryConfig(dir.path());
  EXPECT_EQ(config.site.latitude, 45.5);
  EXPECT_EQ(config.site.longitude, -111.6);  // missing key: default
  EXPECT_EQ(config.weather.clearNights, 1.0);  // a folder from before the weather model: all clear
  EXPECT_EQ(readFileBytes(dir.file("observatory.ini")), ini);
  EXPECT_EQ(readFileBytes(dir.file("Scripts/AcquireImages.js")), "mine");
  loadObservatoryConfig(dir.path());
  EXPECT_EQ(readFileBytes(dir.file("observatory.ini")), ini);
}

TEST(ObservatoryFolder, ErrorInTheFileNamesIt) {
  TempDir dir;
  writeFileBytes(dir.file("observatory.ini"), "[site]\nlatitud = 1\n");
  const std::string error = errorOf([&] { loadObservatoryConfig(dir.path()); });
  EXPECT_THAT(error, HasSubstr("observatory.ini line 2"));
  EXPECT_THAT(error, HasSubstr("latitud"));
}

// ---- every key ----------------------------------------------------------------------

struct KeyCase {
  const char* section;
  const char* line;
  std::function<bool(const ObservatoryConfig&)> holds;
};

TEST(ObservatoryIni, EveryKeyReachesItsMember) {
  const KeyCase cases[] = {
      {"site", "latitude = -33.5", [](auto& c) { return c.site.latitude == -33.5; }},
      {"site", "longitude = 149.25", [](auto& c) { return c.site.longitude == 149.25; }},
      {"site", "utc_offset = 5.5", [](auto& c) { return c.site.utcOffset == 5.5; }},
      {"mount", "alignment_mode = 0", [](auto& c) { return c.mount.alignmentMode == 0; }},
      {"mount", "can_park = false", [](auto& c) { return !c.mount.canPark && c.mount.canUnpark; }},
      {"mount", "can_unpark = FALSE", [](auto& c) { return c.mount.canPark && !c.mount.canUnpark; }},
      {"mount", "tilt_up_limit = 80", [](auto& c) { return c.mount.tiltUpLimit == 80.0; }},
      {"mount", "meridian_flip = 7.5", [](auto& c) { return c.mount.meridianFlip == 7.5; }},
      {"limits", "minimum_elevation = 25", [](auto& c) { return c.limits.minimumElevation == 25.0; }},
      {"limits", "horizon = 10:5 200:15", [](auto& c) { return c.limits.horizon.size() == 2; }},
      {"weather", "connected = true", [](auto& c) { return c.weather.connected; }},
      {"weather", "unsafe = 2024-03-10T05:00:00Z/2024-03-10T06:00:00Z",
       [](auto& c) { return c.weather.unsafe.size() == 1; }},
      {"weather", "clear_nights = 0.25", [](auto& c) { return c.weather.clearNights == 0.25; }},
      {"weather", "clear_nights = 0", [](auto& c) { return c.weather.clearNights == 0.0; }},
      {"weather", "unsafe_spell = 1.5", [](auto& c) { return c.weather.unsafeSpell == 1.5; }},
      {"weather", "seed = 0", [](auto& c) { return c.weather.seed == 0u; }},
      {"weather", "seed = 18446744073709551615", [](auto& c) { return c.weather.seed == 18446744073709551615u; }},
      {"acquisition", "start_delay = 0", [](auto& c) { return c.acquisition.startDelay == 0.0; }},
      {"acquisition", "count = 7", [](auto& c) { return c.acquisition.count == 7; }},
      {"acquisition", "interval = 30.5", [](auto& c) { return c.acquisition.interval == 30.5; }},
      {"acquisition", "overhead = 15", [](auto& c) { return c.acquisition.overhead == 15.0; }},
      {"acquisition", "autofocus = 90", [](auto& c) { return c.acquisition.autofocus == 90.0; }},
      {"clock", "speed = 600", [](auto& c) { return c.clock.speed == 600.0; }},
      {"clock", "start = 2024-03-10T02:00:00Z", [](auto& c) { return c.clock.start == "2024-03-10T02:00:00Z"; }},
      {"host", "kind = SIMULATED", [](auto& c) { return c.host.kind == "simulated"; }},
      {"acquisition", "autofocus_command = focus --all ; run by the INDI host",
       [](auto& c) { return c.acquisition.autofocusCommand == "focus --all"; }},
      {"acquisition", "autofocus_timeout = 90.5", [](auto& c) { return c.acquisition.autofocusTimeout == 90.5; }},
  };
  for (const KeyCase& k : cases) {
    const std::string text = std::string("[") + k.section + "]\n" + k.line + "\n";
    EXPECT_TRUE(k.holds(parseObservatoryConfig(text, "t.ini"))) << k.line;
  }
}

TEST(ObservatoryIni, SiteKeysSayWhetherTheyWereGiven) {
  const ObservatoryConfig none = parseObservatoryConfig("[mount]\ncan_park = true\n", "t");
  EXPECT_FALSE(none.site.latitudeGiven);
  EXPECT_FALSE(none.site.longitudeGiven);
  const ObservatoryConfig one = parseObservatoryConfig("[site]\nlongitude = -111.6\n", "t");
  EXPECT_FALSE(one.site.latitudeGiven);
  EXPECT_TRUE(one.site.longitudeGiven);  // even at the default's value
}

TEST(ObservatoryIni, UtcOffsetFollowsLongitudeUnlessGiven) {
  EXPECT_EQ(parseObservatoryConfig("[site]\nlongitude = 100\n", "t").site.utcOffset, 7.0);
  EXPECT_EQ(parseObservatoryConfig("[site]\nlongitude = -7.4\n", "t").site.utcOffset, 0.0);
  EXPECT_EQ(parseObservatoryConfig("[site]\nlongitude = 7.5\n", "t").site.utcOffset, 1.0);
  EXPECT_EQ(parseObservatoryConfig("[site]\nlongitude = -172\n", "t").site.utcOffset, -11.0);
  EXPECT_EQ(parseObservatoryConfig("[site]\nutc_offset = 2\nlongitude = 100\n", "t").site.utcOffset, 2.0);
}

TEST(ObservatoryIni, LayoutFreedoms) {
  const ObservatoryConfig c = parseObservatoryConfig(
      "; heading\r\n\r\n  [ Site ]  \r\n\tLatitude=12.5 ; trailing comment\r\n[mount]\r\ncan_park = no\r\n", "t");
  EXPECT_EQ(c.site.latitude, 12.5);
  EXPECT_FALSE(c.mount.canPark);
}

struct BadIni {
  const char* text;
  const char* mustName;  // a key or the offending text
  int line;
};

class ObservatoryIniErrors : public ::testing::TestWithParam<BadIni> {};

TEST_P(ObservatoryIniErrors, NameTheKeyAndTheLine) {
  const BadIni& b = GetParam();
  const std::string error = errorOf([&] { parseObservatoryConfig(b.text, "observatory.ini"); });
  EXPECT_THAT(error, HasSubstr("observatory.ini line " + std::to_string(b.line) + ":"));
  EXPECT_THAT(error, HasSubstr(b.mustName));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ObservatoryIniErrors,
    ::testing::Values(BadIni{"[site]\nlatitude = 1\nlattitude = 2\n", "lattitude", 3},
                      BadIni{"[site]\n[sight]\nlatitude = 1\n", "[sight]", 2},
                      BadIni{"latitude = 1\n", "latitude", 1},
                      BadIni{"[site]\nlatitude 31\n", "latitude 31", 2},
                      BadIni{"[site\n", "[site", 1},
                      BadIni{"[site]\n= 4\n", "= 4", 2},
                      BadIni{"[site]\nlatitude = north\n", "site.latitude", 2},
                      BadIni{"[site]\nlatitude = 95\n", "site.latitude", 2},
                      BadIni{"[site]\nlatitude = 1\nlatitude = 2\n", "site.latitude", 3},
                      BadIni{"[mount]\nalignment_mode = 3\n", "mount.alignment_mode", 2},
                      BadIni{"[mount]\nalignment_mode = 1.5\n", "mount.alignment_mode", 2},
                      BadIni{"[mount]\ncan_park = maybe\n", "mount.can_park", 2},
                      BadIni{"[limits]\nhorizon = 0:10 90\n", "limits.horizon", 2},
                      BadIni{"[limits]\nhorizon = 0:10 400:3\n", "limits.horizon", 2},
                      BadIni{"[weather]\nunsafe = 2024-03-10T05:00:00Z\n", "weather.unsafe", 2},
                      BadIni{"[weather]\nunsafe = 2024-03-10T06:00Z/2024-03-10T05:00Z\n", "weather.unsafe", 2},
                      BadIni{"[weather]\nconnected = true\nclear_nights = 1.5\n", "weather.clear_nights", 3},
                      BadIni{"[weather]\nclear_nights = -0.1\n", "weather.clear_nights", 2},
                      BadIni{"[weather]\nclear_nights =\n", "weather.clear_nights", 2},
                      BadIni{"[weather]\nunsafe_spell = 0\n", "key 'weather.unsafe_spell': '0' must be greater than 0", 2},
                      BadIni{"[weather]\nunsafe_spell = -3\n", "weather.unsafe_spell", 2},
                      BadIni{"[weather]\nunsafe_spell = 0.001\n", "weather.unsafe_spell", 2},
                      BadIni{"[weather]\nunsafe_spell = long\n", "weather.unsafe_spell", 2},
                      BadIni{"[weather]\nseed = -1\n", "key 'weather.seed': '-1'", 2},
                      BadIni{"[weather]\nseed = lucky\n", "key 'weather.seed': 'lucky'", 2},
                      BadIni{"[weather]\nseed = 1.5\n", "weather.seed", 2},
                      BadIni{"[weather]\nseed = 18446744073709551616\n", "weather.seed", 2},
                      BadIni{"[weather]\nseed =\n", "weather.seed", 2},
                      BadIni{"[acquisition]\ncount = 0\n", "acquisition.count", 2},
                      BadIni{"[acquisition]\ninterval = 0\n", "acquisition.interval", 2},
                      BadIni{"[acquisition]\nstart_delay = -1\n", "acquisition.start_delay", 2},
                      BadIni{"[clock]\nspeed = fast\n", "clock.speed", 2},
                      BadIni{"[clock]\nstart = yesterday\n", "clock.start", 2},
                      BadIni{"[site]\nlatitude = 1\n[host]\nkind = ascom\n", "key 'host.kind': 'ascom'", 4},
                      BadIni{"[host]\nkind =\n", "host.kind", 2},
                      BadIni{"[acquisition]\nautofocus_timeout = 0\n", "acquisition.autofocus_timeout", 2}));

// ---- a back end's own keys -------------------------------------------------------------

// A back end of real devices with a section of its own, as a new one registers it.
ConfigBackEnd domeApi() {
  ConfigBackEnd b;
  b.kind = "dome-api";
  b.name = "the dome's API";
  b.kindHelp = "; dome-api: the devices behind an HTTP API ([dome-api] below).\n";
  b.text = "; [dome-api]\n; url = http://dome.local\n";
  b.keys = {{"dome-api.url", [](const std::string& v) { configvalue::notEmpty(v); }},
            {"dome-api.timeout", [](const std::string& v) { configvalue::positive(v); }},
            {"dome-api.camera", [](const std::string&) {}}};
  b.required = {{"dome-api.url", "the address of the API"}};
  b.refusesSimulatedKeys = true;
  return b;
}

class RegisteredBackEnd : public ::testing::Test {
 protected:
  void SetUp() override { registerConfigBackEnd(domeApi()); }
};

TEST_F(RegisteredBackEnd, ItsKindAndKeysAreRead) {
  const ObservatoryConfig c = parseObservatoryConfig(
      "[Dome-API]\nurl = http://roof:80 ; the roof's box\ncamera =\n[site]\nlatitude = -30.25\n[host]\nkind = DOME-API\n",
      "t");
  EXPECT_EQ(c.host.kind, "dome-api");
  EXPECT_EQ(c.site.latitude, -30.25);
  EXPECT_EQ(c.backEndKeys, (std::map<std::string, std::string>{{"dome-api.url", "http://roof:80"},
                                                                {"dome-api.camera", ""}}));
  // Its keys are read whatever the kind, so a folder can be switched by kind alone.
  EXPECT_EQ(parseObservatoryConfig("[dome-api]\ntimeout = 5\n", "t").backEndKeys.at("dome-api.timeout"), "5");
  // Registering again replaces, never doubles.
  registerConfigBackEnd(domeApi());
  const std::vector<ConfigBackEnd> known = configBackEnds();
  EXPECT_EQ(std::count_if(known.begin(), known.end(), [](const ConfigBackEnd& b) { return b.kind == "dome-api"; }), 1);
}

TEST_F(RegisteredBackEnd, ItsErrorsNameTheKeyAndTheLine) {
  EXPECT_THAT(errorOf([] { parseObservatoryConfig("[dome-api]\ntimeout = 0\n", "o.ini"); }),
              HasSubstr("o.ini line 2: key 'dome-api.timeout': '0' must be greater than 0"));
  EXPECT_THAT(errorOf([] { parseObservatoryConfig("[dome-api]\nport = 80\n", "o.ini"); }),
              HasSubstr("o.ini line 2: unknown key 'dome-api.port'"));
  EXPECT_THAT(errorOf([] { parseObservatoryConfig("[dome-api]\nurl = a\nurl = b\n", "o.ini"); }),
              HasSubstr("o.ini line 3: key 'dome-api.url' given twice"));
  EXPECT_THAT(errorOf([] { parseObservatoryConfig("[host]\nkind = ascom\n", "o.ini"); }),
              HasSubstr("key 'host.kind': 'ascom' is neither simulated nor dome-api"));
  // A required key, missing or empty, is named at kind's line, wherever kind stands.
  EXPECT_THAT(errorOf([] { parseObservatoryConfig("[host]\nkind = dome-api\n", "o.ini"); }),
              HasSubstr("o.ini line 2: kind = dome-api needs the key 'dome-api.url', the address of the API"));
  EXPECT_THAT(errorOf([] { parseObservatoryConfig("[dome-api]\ncamera = c\n[host]\nkind = dome-api\n", "o.ini"); }),
              HasSubstr("o.ini line 4: kind = dome-api needs the key 'dome-api.url'"));
  // The simulated observatory needs none of them.
  EXPECT_NO_THROW(parseObservatoryConfig("[host]\nkind = simulated\n", "o.ini"));
}

TEST_F(RegisteredBackEnd, FreshFileExplainsItsKindAndKeys) {
  const std::string ini = defaultObservatoryIni();
  const std::size_t help = ini.find("; dome-api: the devices behind an HTTP API");
  ASSERT_NE(help, std::string::npos);
  EXPECT_LT(ini.find("[host]"), help);
  EXPECT_LT(help, ini.find("kind = simulated"));
  const std::string block = "start = now\n\n; [dome-api]\n; url = http://dome.local\n";
  EXPECT_THAT(ini, HasSubstr(block));
  EXPECT_EQ(parseObservatoryConfig(ini, "t").host.kind, "simulated");
}

struct SimulatedOnly {
  const char* section;
  const char* line;
  const char* saysInstead;
};

class SimulatedOnlyKeys : public ::testing::TestWithParam<SimulatedOnly> {
 protected:
  void SetUp() override { registerConfigBackEnd(domeApi()); }
};

TEST_P(SimulatedOnlyKeys, AreErrorsOnRealDevicesNamingTheKeyAndItsLine) {
  const SimulatedOnly& k = GetParam();
  const std::string key = std::string(k.section) + "." + std::string(k.line).substr(0, std::string(k.line).find(' '));
  const std::string devices = "[dome-api]\nurl = http://roof\n";
  const std::string text = std::string("[") + k.section + "]\n" + k.line + "\n" + devices + "[host]\nkind = dome-api\n";
  const std::string error = errorOf([&] { parseObservatoryConfig(text, "observatory.ini"); });
  EXPECT_THAT(error, HasSubstr("observatory.ini line 2: key '" + key +
                               "' belongs to the simulated observatory; over the dome's API "));
  EXPECT_THAT(error, HasSubstr(k.saysInstead));
  // The simulated observatory reads the same text but for kind.
  const std::string simulated = std::string("[") + k.section + "]\n" + k.line + "\n" + devices;
  EXPECT_NO_THROW(parseObservatoryConfig(simulated, "observatory.ini")) << key;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, SimulatedOnlyKeys,
    ::testing::Values(SimulatedOnly{"clock", "speed = 10", "clock"},
                      SimulatedOnly{"clock", "start = now", "clock"},
                      SimulatedOnly{"weather", "connected = true", "weather device"},
                      SimulatedOnly{"weather", "unsafe =", "weather device"},
                      SimulatedOnly{"weather", "clear_nights = 0.5", "weather device"},
                      SimulatedOnly{"weather", "unsafe_spell = 3", "weather device"},
                      SimulatedOnly{"weather", "seed = 7", "weather device"},
                      SimulatedOnly{"mount", "can_park = true", "mount says"},
                      SimulatedOnly{"mount", "can_unpark = false", "mount says"},
                      SimulatedOnly{"acquisition", "start_delay = 3", "devices"},
                      SimulatedOnly{"acquisition", "overhead = 60", "devices"},
                      SimulatedOnly{"acquisition", "autofocus = 180", "autofocus"},
                      SimulatedOnly{"site", "utc_offset = -7", "clock and zone"}));

// ---- horizon ------------------------------------------------------------------------

TEST(Horizon, LinearBetweenPointsAndWrappingThroughNorth) {
  const auto c = parseObservatoryConfig("[limits]\nhorizon = 270:22 0:10 180:6 90:14\n", "t");
  const auto& h = c.limits.horizon;
  struct {
    double az, el;
  } cases[] = {{0, 10},   {45, 12},  {90, 14},   {135, 10},  {180, 6}, {225, 14},
               {270, 22}, {315, 16}, {359, 10.1333333333}, {360, 10}, {-45, 16}, {405, 12}};
  for (const auto& k : cases) EXPECT_NEAR(horizonElevation(h, k.az), k.el, 1e-9) << k.az;
}

TEST(Horizon, WrapsWhenNoPointSitsAtNorth) {
  const auto c = parseObservatoryConfig("[limits]\nhorizon = 90:20 270:40\n", "t");
  EXPECT_NEAR(horizonElevation(c.limits.horizon, 0.0), 30.0, 1e-9);
  EXPECT_NEAR(horizonElevation(c.limits.horizon, 180.0), 30.0, 1e-9);
  EXPECT_NEAR(horizonElevation(c.limits.horizon, 300.0), 40.0 - 20.0 * 30.0 / 180.0, 1e-9);
  EXPECT_NEAR(horizonElevation(c.limits.horizon, 60.0), 20.0 + 20.0 * 30.0 / 180.0, 1e-9);
}

TEST(Horizon, FlatWithoutPointsAndConstantWithOne) {
  EXPECT_EQ(horizonElevation({}, 123.0), 0.0);
  EXPECT_EQ(horizonElevation({{200.0, 7.0}}, 10.0), 7.0);
}

// ---- weather and clock --------------------------------------------------------------

TEST(WeatherIntervals, CoverFromStartUpToEnd) {
  const auto c = parseObservatoryConfig(
      "[weather]\nunsafe = 2024-03-10T05:00:00Z/2024-03-10T06:00:00Z, 2024-03-10 08:00:00/2024-03-10 08:30:00\n",
      "t");
  ASSERT_EQ(c.weather.unsafe.size(), 2u);
  const auto& u = c.weather.unsafe;
  EXPECT_FALSE(isUnsafeAt(u, utc("2024-03-10 04:59:59")));
  EXPECT_TRUE(isUnsafeAt(u, utc("2024-03-10 05:00:00")));
  EXPECT_TRUE(isUnsafeAt(u, utc("2024-03-10 05:59:59")));
  EXPECT_FALSE(isUnsafeAt(u, utc("2024-03-10 06:00:00")));
  EXPECT_TRUE(isUnsafeAt(u, utc("2024-03-10 08:10:00")));

  double at = 0.0;
  ASSERT_TRUE(firstUnsafeInstant(u, utc("2024-03-10 04:00:00"), at));
  EXPECT_EQ(at, utc("2024-03-10 05:00:00"));
  ASSERT_TRUE(firstUnsafeInstant(u, utc("2024-03-10 05:30:00"), at));
  EXPECT_EQ(at, utc("2024-03-10 05:30:00"));
  ASSERT_TRUE(firstUnsafeInstant(u, utc("2024-03-10 06:00:00"), at));
  EXPECT_EQ(at, utc("2024-03-10 08:00:00"));
  EXPECT_FALSE(firstUnsafeInstant(u, utc("2024-03-10 08:30:00"), at));
}

TEST(ClockStart, NowOrTheConfiguredInstant) {
  ObservatoryConfig c;
  EXPECT_EQ(clockStartUnixSeconds(c, 1234.5), 1234.5);
  c.clock.start = "2024-03-10T04:00:00Z";
  EXPECT_EQ(clockStartUnixSeconds(c, 1234.5), 1710043200.0);
  c.clock.start = "2024-03-10 04:00";
  EXPECT_EQ(clockStartUnixSeconds(c, 1234.5), 1710043200.0);
  c.clock.start = "soon";
  EXPECT_THAT(errorOf([&] { clockStartUnixSeconds(c, 0); }), HasSubstr("soon"));
}

}  // namespace
}  // namespace np
