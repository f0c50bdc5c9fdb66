// The INDI observatory's keys of observatory.ini, read without a server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "host/ObservatoryConfig.h"
#include "host/indi/IndiSettings.h"
#include "support/TestText.h"

namespace np::indi {
namespace {

using test::errorOf;
using ::testing::HasSubstr;

class IndiSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { registerIndiConfig(); }
};

IndiSettings settingsOf(const std::string& text) { return indiSettings(parseObservatoryConfig(text, "t.ini")); }

TEST_F(IndiSettingsTest, EveryKeyReachesItsMemberAndTheRestKeepTheirDefaults) {
  struct KeyCase {
    const char* line;
    std::function<bool(const IndiSettings&)> holds;
  };
  const KeyCase cases[] = {
      {"[indi]\nserver = dome.local:7625", [](auto& s) { return s.server == "dome.local:7625"; }},
      {"[indi]\nmount = EQMod Mount", [](auto& s) { return s.mount == "EQMod Mount"; }},
      {"[indi]\ncamera = ZWO CCD ; the main one", [](auto& s) { return s.camera == "ZWO CCD"; }},
      {"[indi]\nfilter_wheel = Wheel", [](auto& s) { return s.filterWheel == "Wheel"; }},
      {"[indi]\nfocuser = Focuser", [](auto& s) { return s.focuser == "Focuser"; }},
      {"[indi]\ndome = Roof", [](auto& s) { return s.dome == "Roof"; }},
      {"[indi]\nweather = Sky Monitor", [](auto& s) { return s.weather == "Sky Monitor"; }},
      {"[indi]\nconnect_timeout = 5.5", [](auto& s) { return s.connectTimeout == 5.5; }},
      {"[indi]\nimages = /data/images", [](auto& s) { return s.images == "/data/images"; }},
      {"[safety]\non_stop = LEAVE", [](auto& s) { return !s.secureOnStop; }},
      {"[safety]\non_stop = secure", [](auto& s) { return s.secureOnStop; }},
  };
  for (const KeyCase& k : cases) EXPECT_TRUE(k.holds(settingsOf(std::string(k.line) + "\n"))) << k.line;

  const IndiSettings d = settingsOf("[site]\nlatitude = 1\n");
  EXPECT_EQ(d.server, "localhost:7624");
  EXPECT_EQ(d.mount, "");
  EXPECT_EQ(d.connectTimeout, 30.0);
  EXPECT_EQ(d.images, "Images");
  EXPECT_TRUE(d.secureOnStop);
}

TEST_F(IndiSettingsTest, KindMayComeAfterEveryOtherKeyAndNeedsMountAndCamera) {
  const std::string devices = "[indi]\nmount = Mount A\ncamera = Camera B\n";
  const ObservatoryConfig c = parseObservatoryConfig(
      "[site]\nlatitude = -30.25\n[acquisition]\nautofocus_command = af\n" + devices + "[host]\nkind = INDI\n", "t");
  EXPECT_EQ(c.host.kind, "indi");
  EXPECT_EQ(c.acquisition.autofocusCommand, "af");
  EXPECT_EQ(indiSettings(c).mount, "Mount A");

  EXPECT_THAT(errorOf([] { parseObservatoryConfig("[host]\nkind = indi\n[indi]\ncamera = C\n", "o.ini"); }),
              HasSubstr("o.ini line 2: kind = indi needs the key 'indi.mount', the INDI name of the device"));
  EXPECT_THAT(
      errorOf([] { parseObservatoryConfig("[indi]\nmount = M\ncamera =\n[host]\nkind = indi\n", "o.ini"); }),
      HasSubstr("o.ini line 5: kind = indi needs the key 'indi.camera'"));
  // A key that only the simulated observatory reads, before kind, is still seen.
  EXPECT_THAT(errorOf([&] { parseObservatoryConfig("[clock]\nspeed = 60\n" + devices + "[host]\nkind = indi\n", "o.ini"); }),
              HasSubstr("o.ini line 2: key 'clock.speed' belongs to the simulated observatory; over INDI the "
                        "computer's clock is used (remove the key or use kind = simulated)"));
}

TEST_F(IndiSettingsTest, WrongValuesNameTheKeyAndTheLine) {
  const std::pair<const char*, const char*> bad[] = {
      {"[indi]\nconnect_timeout = -1\n", "line 2: key 'indi.connect_timeout'"},
      {"[indi]\nserver =\n", "line 2: key 'indi.server': a value is missing"},
      {"[indi]\nport = 7624\n", "line 2: unknown key 'indi.port'"},
      {"[safety]\non_stop = maybe\n", "line 2: key 'safety.on_stop': 'maybe' is neither secure nor leave"},
      {"[host]\nkind = ascom\n", "line 2: key 'host.kind': 'ascom' is neither simulated nor indi"},
  };
  for (const auto& [text, names] : bad) EXPECT_THAT(errorOf([&] { parseObservatoryConfig(text, "o.ini"); }), HasSubstr(names));
}

// The commented example of a fresh observatory.ini reads as it stands once uncommented.
TEST_F(IndiSettingsTest, FreshFileExplainsTheKindAndItsExampleReads) {
  const std::string fresh = defaultObservatoryIni();
  EXPECT_THAT(fresh, HasSubstr("[host]\n; simulated: the simulated observatory, all of it described by this file.\n"
                               "; indi: the devices of an INDI server ([indi] below)."));
  std::string text;
  int uncommented = 0;
  for (const std::string& line : test::splitLines(fresh)) {
    bool example = line == "; [indi]" || line == "; [safety]";
    for (const char* key : {"server =", "mount =", "camera =", "filter_wheel =", "focuser =", "dome =", "weather =",
                            "connect_timeout =", "images =", "on_stop ="}) {
      example = example || line.rfind(std::string("; ") + key, 0) == 0;
    }
    uncommented += example;
    text += (example ? line.substr(2) : line) + "\n";
  }
  EXPECT_EQ(uncommented, 12);
  const IndiSettings s = settingsOf(text);
  EXPECT_EQ(s.server, "localhost:7624");
  EXPECT_EQ(s.mount, "Telescope Simulator");
  EXPECT_EQ(s.camera, "CCD Simulator");
  EXPECT_EQ(s.filterWheel, "");
  EXPECT_EQ(s.connectTimeout, 30.0);
  EXPECT_EQ(s.images, "Images");
  EXPECT_TRUE(s.secureOnStop);
}

}  // namespace
}  // namespace np::indi
