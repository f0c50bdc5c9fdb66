#include "app/runner/OpenHost.h"

#include <utility>

#include "base/Errors.h"
#include "host/ObservatoryConfig.h"
#include "host/sim/SimulatedObservatory.h"
#ifdef NIGHTPICK_INDI
#include "host/indi/IndiObservatory.h"
#endif

namespace np {

OpenedHost openHost(const std::string& hostFolder) {
  const ObservatoryConfig config = loadObservatoryConfig(hostFolder);
  OpenedHost opened;
  if (config.host.kind == HostKind::Indi) {
#ifdef NIGHTPICK_INDI
    // A real observatory runs on the computer's clock, in the computer's own zone.
    opened.clock = std::make_unique<SystemClock>();
    auto observatory = std::make_unique<IndiObservatory>(hostFolder, config, *opened.clock);
    opened.hostFolder = observatory->folder();
    opened.host = std::move(observatory);
    return opened;
#else
    throw RunTimeError("observatory.ini in '" + hostFolder +
                       "' names an INDI observatory (host.kind = indi), which this build does not drive");
#endif
  }
  opened.clock = std::make_unique<RealTimeClock>(clockStartUnixSeconds(config, systemUnixSeconds()), config.clock.speed);
  auto observatory = std::make_unique<SimulatedObservatory>(hostFolder, *opened.clock);  // also sets the clock's zone
  opened.hostFolder = observatory->folder();
  opened.host = std::move(observatory);
  return opened;
}

}  // namespace np
