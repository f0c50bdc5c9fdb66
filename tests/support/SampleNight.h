#pragma once
// The README's sample night (docs/sample/targets.txt, 24 hours from 2026-12-07 12:00 UTC
// on the default observatory) as the headless runner gives it, and as it was recorded
// from the Linux build's nightpick-sim (tests/data/sample-night/).
#include <functional>
#include <memory>
#include <string>

#include "host/HostInterfaces.h"

namespace np::test {

struct SampleNight {
  std::string out, err;                // what the runner printed
  std::string list, config;            // targets.txt and config.ini after the night
  std::string runLog, plan, acquisition;  // Nightpick.log, nightpickplan.txt, AcquireImages.log
};

// Runs the night in a fresh program folder; `reachHost` as HeadlessOptions::reachHost.
SampleNight runSampleNight(
    const std::function<std::unique_ptr<IHostFactory>(IHostFactory&)>& reachHost = {});

// The night as recorded.
SampleNight recordedSampleNight();

// Each file that differs, by name ("stdout.txt", ...); empty when all are the same.
std::string differences(const SampleNight& got, const SampleNight& expected);

}  // namespace np::test
