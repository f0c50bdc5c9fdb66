#include "app/runner/OpenHost.h"

#include <utility>
#include <vector>

#include "base/Errors.h"
#include "base/FileSystem.h"
#include "base/Paths.h"
#include "host/ObservatoryConfig.h"
#include "host/sim/SimulatedObservatory.h"
#include "targets/RunLog.h"
#ifdef NIGHTPICK_INDI
#include "host/indi/IndiObservatory.h"
#endif
#ifdef _WIN32
#include "host/com/ComHost.h"
#endif

namespace np {
namespace {

struct BackEnd {
  const char* kind;  // as observatory.ini's [host] kind names it
  HostOpener open;
};

// The back ends of this build: a new one is one line here (and its folder under host/).
const std::vector<BackEnd>& backEnds() {
  static const std::vector<BackEnd> list = {
      {"simulated", openSimulatedObservatory},
#ifdef NIGHTPICK_INDI
      {"indi", openIndiObservatory},
#endif
#ifdef _WIN32
      {"com", com::openComHost},
#endif
  };
  return list;
}

const char* kindName(HostKind kind) { return kind == HostKind::Indi ? "indi" : "simulated"; }

}  // namespace

OpenedHost openHost(const std::string& hostFolder, FileSystem& files, HostRequest request, const HostChoice& choice) {
  const std::string folder = withoutSeparator(hostFolder);
  const std::string kind = choice.kind.empty() ? kindName(loadObservatoryConfig(folder).host.kind) : choice.kind;
  request.files = &files;
  if (!request.appendToRunLog) {
    // What the observatory says of itself when no run has the run log open.
    request.appendToRunLog = [runLog = joinPath(joinPath(folder, kLogsFolderName), std::string(kRunLogName)),
                              &files](const std::string& line) {
      std::unique_ptr<TextWriter> log = files.OpenTextFileForAppending(runLog);
      log->WriteLine(line);
      log->Close();
    };
  }
  for (const BackEnd& backEnd : backEnds()) {
    if (kind == backEnd.kind) return backEnd.open(folder, request);
  }
  throw RunTimeError("observatory.ini in '" + hostFolder + "' names " +
                     (kind == "indi" ? std::string("an INDI observatory") : "the host '" + kind + "'") +
                     " (host.kind = " + kind + "), which this build does not drive");
}

}  // namespace np
