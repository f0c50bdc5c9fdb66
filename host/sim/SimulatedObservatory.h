#pragma once
#include <string>

#include "base/Clock.h"
#include "host/HostOpening.h"
#include "host/HostSkeleton.h"

namespace np {

// The stand-in for the observatory-control host: one folder (see loadObservatoryConfig)
// and one shared clock. Everything it simulates is worked out from the clock's time
// whenever a member is called; it keeps no thread and no timer.
//
// The acquisition run. RunScript (after LoadScript of an existing file) reads the plan
// path from Plans/runplanonce.txt, deletes that file and reads the plan at once; a
// missing hand-over file or a plan that cannot be read ends the run right there (an END
// error line, ScriptActive never true). Otherwise the script is active from start_delay
// seconds later and the whole run is worked out at once by the acquisition's rules
// (AcquisitionRules.h) over simulated devices: #AUTOFOCUS takes `autofocus` seconds where
// the plan asks; each target takes `overhead` seconds and, group after group, count x
// interval seconds of exposures; slewing and focusing stop at the quit time. Besides its
// END and AbortScript, the run ends when a connected weather source turns unsafe. The
// weather, for Weather.Safe and for that abort, is sim::WeatherModel's: the configured
// unsafe intervals and the spells its model makes up. Each event goes to
// Logs/AcquireImages.log once the clock has reached its time; Park and Unpark are logged
// there too.
class SimulatedObservatory : public HostSkeleton {
 public:
  // Loads the folder's configuration (creating what is missing) and sets the clock's
  // utc offset from site.utc_offset. A folder whose observatory.ini names another back
  // end ([host] kind) is a RunTimeError. The clock is not owned; the files go through
  // `files` (null: the machine's own), which must outlive the host's objects.
  SimulatedObservatory(const std::string& folder, Clock& clock, FileSystem* files = nullptr);
  ~SimulatedObservatory() override;

  std::string scriptPath() const;  // folder + "/Scripts/AcquireImages.js"
  bool parked() const;

 private:
  class Devices;
  Devices* devices_;  // owned by the skeleton
};

// The simulated observatory of a folder: on a clock that starts at its clock.start and
// runs at its clock.speed times real time, or for a dry run on a clock the program moves
// itself; in its site's zone either way.
OpenedHost openSimulatedObservatory(const std::string& folder, const HostRequest& request);

}  // namespace np
