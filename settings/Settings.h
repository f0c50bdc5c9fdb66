#pragma once
#include <cstdint>
#include <string>

namespace np {

// The seven persisted settings, in file order, with their defaults.
struct Settings {
  double lastFocusJD = 0.0;                    // Julian date of the last autofocus request
  std::int16_t focusInterval = 30;             // minutes between autofocus runs
  std::string baseDir = "C:\\Astronomy\\Nightpick\\";  // passed through unchanged
  float maxElevation = 90.0f;                  // observing window, degrees
  float minAzimuth = 0.0f;
  float maxAzimuth = 360.0f;
  float sunElev = -18.0f;                      // Sun elevation of dusk and dawn, degrees

  bool operator==(const Settings&) const = default;
};

}  // namespace np
