#pragma once
#include <memory>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "host/HostInterfaces.h"
#include "host/AcquisitionLog.h"
#include "host/sim/SimulatedObservatory.h"
#include "support/TempDir.h"

namespace np::test {

// 2024-03-10 04:00:00 UTC (21:00 local on the 9th at the default site): night at the
// default site, the Sun about 24 degrees below the horizon.
inline constexpr double kSimNightUnix = 1710043200.0;

// A simulated observatory in a fresh temporary folder (`hostDir()`, below the TempDir)
// on a manual clock, with its three host objects.
class SimFixture {
 public:
  // `ini` becomes observatory.ini before the observatory starts; empty leaves the
  // observatory to write its defaults.
  explicit SimFixture(const std::string& ini = "", double startUnix = kSimNightUnix);

  TempDir dir;
  ManualClock clock;
  std::unique_ptr<SimulatedObservatory> host;
  std::unique_ptr<IUtil> util;
  std::unique_ptr<ITelescope> telescope;
  std::unique_ptr<IApplication> app;

  const std::string& hostDir() const { return host->folder(); }

  // Writes `ini` as observatory.ini and starts the observatory anew on it, with new host
  // objects (the old ones must no longer be used).
  void restart(const std::string& ini);

  // Writes a plan (lines joined with CR LF) into the plan folder and returns its path.
  std::string writePlan(const std::vector<std::string>& lines, const std::string& name = "testplan.txt");
  // Writes Plans/runplanonce.txt naming `planPath`.
  void handOver(const std::string& planPath);
  // Writes the plan, hands it over, loads the acquisition script and runs it.
  void runPlan(const std::vector<std::string>& lines);
  // Advances the clock in `step`-second steps until no script runs (its start delay
  // included), at most `limitSeconds`; returns the seconds advanced.
  double runUntilIdle(double step = 1.0, double limitSeconds = 7 * 86400.0);

  // What AcquireImages.log holds up to the clock's now.
  std::vector<AcquisitionEvent> events();
  // The events of one kind.
  std::vector<AcquisitionEvent> events(const std::string& kind);

  // Right ascension (hours) on the meridian of the site at an instant.
  double meridianRa(double unixSeconds) const;
};

}  // namespace np::test
