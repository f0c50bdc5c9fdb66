#include "runner/OpenHost.h"

#include <utility>

#include "host/sim/ObservatoryConfig.h"
#include "host/sim/SimulatedObservatory.h"

namespace np {

OpenedHost openHost(const std::string& hostFolder) {
  const ObservatoryConfig config = loadObservatoryConfig(hostFolder);
  OpenedHost opened;
  opened.clock = std::make_unique<RealTimeClock>(clockStartUnixSeconds(config, systemUnixSeconds()), config.clock.speed);
  auto observatory = std::make_unique<SimulatedObservatory>(hostFolder, *opened.clock);  // also sets the clock's zone
  opened.hostFolder = observatory->folder();
  opened.host = std::move(observatory);
  return opened;
}

}  // namespace np
