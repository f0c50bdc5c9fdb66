#include "host/indi/IndiSettings.h"

#include "host/HostText.h"

namespace np::indi {
namespace {

bool readOnStop(const std::string& value) {
  const std::string v = hosttext::lower(value);
  if (v == "secure") return true;
  if (v == "leave") return false;
  throw ConfigValueError{"'" + value + "' is neither secure nor leave"};
}

void anyName(const std::string&) {}

ConfigBackEnd indiConfigBackEnd() {
  ConfigBackEnd b;
  b.kind = kIndiKind;
  b.name = "INDI";
  b.kindHelp =
      "; indi: the devices of an INDI server ([indi] below). The keys that describe what only\n"
      "; the simulated observatory makes up (utc_offset, can_park, can_unpark, [weather],\n"
      "; start_delay, overhead, autofocus and [clock]) are then errors: remove them.\n";
  b.text =
      "; With kind = indi: the INDI server and the names of its devices, as the server gives them.\n"
      "; [indi]\n"
      "; The server, host:port.\n"
      "; server = localhost:7624\n"
      "; The mount and the camera (both needed).\n"
      "; mount = Telescope Simulator\n"
      "; camera = CCD Simulator\n"
      "; The filter wheel, focuser, dome and weather station; empty or left out: none.\n"
      "; filter_wheel =\n"
      "; focuser =\n"
      "; dome =\n"
      "; weather =\n"
      "; Seconds to wait for the server and the devices to connect.\n"
      "; connect_timeout = 30\n"
      "; The folder the images are saved in; a relative one is in this folder.\n"
      "; images = Images\n"
      ";\n"
      "; With kind = indi, Nightpick is the observatory's keeper: every end of a run (a stop, a\n"
      "; failure, a device lost, the service stopped) aborts the exposure, parks the mount and\n"
      "; then closes the dome or roof. leave: the devices stay as they are, for an operator who\n"
      "; takes over by hand.\n"
      "; [safety]\n"
      "; on_stop = secure\n";
  b.keys = {
      {"indi.server", [](const std::string& v) { configvalue::notEmpty(v); }},
      {"indi.mount", anyName},
      {"indi.camera", anyName},
      {"indi.filter_wheel", anyName},
      {"indi.focuser", anyName},
      {"indi.dome", anyName},
      {"indi.weather", anyName},
      {"indi.connect_timeout", [](const std::string& v) { configvalue::positive(v); }},
      {"indi.images", [](const std::string& v) { configvalue::notEmpty(v); }},
      {"safety.on_stop", [](const std::string& v) { readOnStop(v); }},
  };
  b.required = {{"indi.mount", "the INDI name of the device"}, {"indi.camera", "the INDI name of the device"}};
  b.refusesSimulatedKeys = true;
  return b;
}

}  // namespace

void registerIndiConfig() {
  static const bool registered = (registerConfigBackEnd(indiConfigBackEnd()), true);
  (void)registered;
}

IndiSettings indiSettings(const ObservatoryConfig& config) {
  IndiSettings s;
  // Each value was checked when the file was read.
  auto given = [&](const char* key, auto read) {
    if (auto it = config.backEndKeys.find(key); it != config.backEndKeys.end()) read(it->second);
  };
  given("indi.server", [&](const std::string& v) { s.server = v; });
  given("indi.mount", [&](const std::string& v) { s.mount = v; });
  given("indi.camera", [&](const std::string& v) { s.camera = v; });
  given("indi.filter_wheel", [&](const std::string& v) { s.filterWheel = v; });
  given("indi.focuser", [&](const std::string& v) { s.focuser = v; });
  given("indi.dome", [&](const std::string& v) { s.dome = v; });
  given("indi.weather", [&](const std::string& v) { s.weather = v; });
  given("indi.connect_timeout", [&](const std::string& v) { s.connectTimeout = configvalue::positive(v); });
  given("indi.images", [&](const std::string& v) { s.images = v; });
  given("safety.on_stop", [&](const std::string& v) { s.secureOnStop = readOnStop(v); });
  return s;
}

}  // namespace np::indi
