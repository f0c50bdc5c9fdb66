#pragma once
// The INDI observatory's keys of observatory.ini: [indi], the server and the names of its
// devices, and [safety], what every end of a run leaves the observatory as.
#include <string>

#include "host/ObservatoryConfig.h"

namespace np::indi {

inline constexpr const char* kIndiKind = "indi";

struct IndiSettings {
  std::string server = "localhost:7624";  // host:port
  std::string mount;                      // required with kind = indi
  std::string camera;                     // required with kind = indi
  std::string filterWheel;                // empty: no such device
  std::string focuser;
  std::string dome;
  std::string weather;
  double connectTimeout = 30.0;   // seconds to wait for the server and the devices
  std::string images = "Images";  // folder of the images; relative: in the observatory folder
  // Every end of a run secures the observatory (abort the exposure, park the mount, close
  // the roof), or leaves the devices as they are for an operator who takes over by hand.
  bool secureOnStop = true;  // safety.on_stop = secure | leave
};

// Makes kind = indi and its keys known to the reads of observatory.ini; any number of times.
void registerIndiConfig();

// The INDI keys of a configuration read after registerIndiConfig, each at its default
// when the file leaves it out.
IndiSettings indiSettings(const ObservatoryConfig& config);

}  // namespace np::indi
