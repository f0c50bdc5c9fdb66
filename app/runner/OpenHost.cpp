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
#include "host/indi/IndiSettings.h"
#endif
#ifdef _WIN32
#include "host/com/ComHost.h"
#endif

namespace np {
namespace {

struct BackEnd {
  const char* kind;  // as observatory.ini's [host] kind names it
  HostOpener open;
  void (*registerConfig)();  // makes its kind and keys known to observatory.ini; none: no keys of its own
};

// The back ends of this build: a new one is one line here (and its folder under host/).
const std::vector<BackEnd>& backEnds() {
  static const std::vector<BackEnd> list = {
      {kSimulatedKind, openSimulatedObservatory, nullptr},
#ifdef NIGHTPICK_INDI
      {indi::kIndiKind, openIndiObservatory, indi::registerIndiConfig},
#endif
#ifdef _WIN32
      {"com", com::openComHost, nullptr},
#endif
  };
  return list;
}

}  // namespace

void registerBackEnds() {
  for (const BackEnd& backEnd : backEnds()) {
    if (backEnd.registerConfig) backEnd.registerConfig();
  }
}

OpenedHost openHost(const std::string& hostFolder, FileSystem& files, HostRequest request, const HostChoice& choice) {
  registerBackEnds();
  const std::string folder = withoutSeparator(hostFolder);
  const std::string kind = choice.kind.empty() ? loadObservatoryConfig(folder).host.kind : choice.kind;
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
  throw RunTimeError("observatory.ini in '" + hostFolder + "' names the host '" + kind + "' (host.kind = " + kind +
                     "), which this build does not drive");
}

}  // namespace np
