#pragma once
#include <memory>
#include <string>

#include "base/Clock.h"
#include "host/HostInterfaces.h"
#include "host/AcquisitionLog.h"
#include "host/ObservatoryConfig.h"

namespace np {

namespace sim {
struct SimState;
}

// The stand-in for the observatory-control host: one folder (see loadObservatoryConfig)
// and one shared clock. Everything it simulates is worked out from the clock's time
// whenever a member is called; it keeps no thread and no timer. The objects it creates
// share one state, stay valid after the factory is gone, and need the clock to outlive
// them.
//
// The acquisition run. RunScript (after LoadScript of an existing file) reads the plan
// path from Plans/runplanonce.txt, deletes that file and reads the plan at once; a
// missing hand-over file or a plan that cannot be read ends the run right there (an END
// error line, ScriptActive never true). Otherwise the script is active from start_delay
// seconds later: #AUTOFOCUS takes `autofocus` seconds; each target line is judged where
// the target stands at its turn (below the minimum elevation or the horizon: SKIPPED,
// no time spent), then takes `overhead` seconds and, group after group, count x interval
// seconds of exposures. The run ends when the plan is done; at its #QUITAT (an exposure under way
// is finished first, slewing and focusing stop at the quit time); at AbortScript; or
// when a connected weather source turns unsafe. A run that became active stays active
// for at least one second unless aborted, so a caller polling once a second sees it. The
// weather, for Weather.Safe and for that abort, is sim::WeatherModel's: the configured
// unsafe intervals and the spells its model makes up.
// Each event goes to Logs/AcquireImages.log (format in AcquisitionLog.h) once the clock
// has reached its time; Park and Unpark are logged there too.
class SimulatedObservatory : public IHostFactory {
 public:
  // Loads the folder's configuration (creating what is missing) and sets the clock's
  // utc offset from site.utc_offset. A folder whose observatory.ini names another back
  // end ([host] kind) is a RunTimeError. The clock is not owned.
  SimulatedObservatory(const std::string& folder, Clock& clock);
  ~SimulatedObservatory() override;
  SimulatedObservatory(const SimulatedObservatory&) = delete;
  SimulatedObservatory& operator=(const SimulatedObservatory&) = delete;

  std::unique_ptr<IUtil> createUtil() override;
  std::unique_ptr<ITelescope> createTelescope() override;
  std::unique_ptr<IApplication> createApplication() override;

  // What the host's objects see, for tests and tools.
  const ObservatoryConfig& config() const;
  const std::string& folder() const;        // no trailing separator (acpApp.Path)
  std::string planDir() const;              // folder + "/Plans"
  std::string logDir() const;               // folder + "/Logs"
  std::string scriptPath() const;           // folder + "/Scripts/AcquireImages.js"
  std::string acquisitionLogPath() const;   // folder + "/Logs/AcquireImages.log"
  bool parked() const;
  std::string loadedScript() const;         // empty before the first LoadScript
  int runCount() const;                     // RunScript calls so far
  bool scriptActive();                      // as util.ScriptActive now
  bool scriptRunning();                     // a run under way, its start delay included
  // Brings the acquisition up to the clock's now (its log included).
  void update();

 private:
  std::shared_ptr<sim::SimState> state_;
};

}  // namespace np
