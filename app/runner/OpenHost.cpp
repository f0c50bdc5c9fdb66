#include "app/runner/OpenHost.h"

#include <utility>

#include "base/Errors.h"
#include "host/ObservatoryConfig.h"
#include "host/sim/SimulatedObservatory.h"
#ifdef NIGHTPICK_INDI
#include "base/Paths.h"
#include "host/indi/IndiObservatory.h"
#include "host/indi/LibraryOutput.h"
#include "targets/RunLog.h"
#endif

namespace np {

OpenedHost openHost(const std::string& hostFolder, FileSystem& files) {
  const ObservatoryConfig config = loadObservatoryConfig(hostFolder);
  OpenedHost opened;
  if (config.host.kind == HostKind::Indi) {
#ifdef NIGHTPICK_INDI
    // A real observatory runs on the computer's clock, in the computer's own zone.
    opened.clock = std::make_unique<SystemClock>();
    const std::string logDir = joinPath(withoutSeparator(hostFolder), kLogsFolderName);
    // The client library's chatter goes beside the run log, not among the status lines.
    indi::divertLibraryOutput(joinPath(logDir, indi::kLibraryLogName));
    // What the observatory says of its safety when no run has the run log open.
    auto appendToRunLog = [runLog = joinPath(logDir, std::string(kRunLogName)), &files](const std::string& line) {
      std::unique_ptr<TextWriter> log = files.OpenTextFileForAppending(runLog);
      log->WriteLine(line);
      log->Close();
    };
    auto observatory = std::make_unique<IndiObservatory>(hostFolder, config, *opened.clock, files, indi::Bounds{},
                                                         appendToRunLog);
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
