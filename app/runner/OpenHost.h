#pragma once
// The host a program runs against, chosen in one place: the programs that run for real
// (the window, nightpick-headless) open it here, with the clock that goes with it.
#include <memory>
#include <string>

#include "base/Clock.h"
#include "base/FileSystem.h"
#include "host/HostInterfaces.h"

namespace np {

struct OpenedHost {
  // The computer's clock as the host keeps it; it outlives the host (members go in
  // reverse order), and the host's objects must go before it too.
  std::unique_ptr<Clock> clock;
  std::unique_ptr<IHostFactory> host;
  std::string hostFolder;  // the host's folder, without a trailing separator
};

// Opens the host of the folder (its observatory.ini, created with defaults when missing):
// the simulated observatory, on a clock that starts at its clock.start and runs at its
// clock.speed times real time, in its site's zone; or, with host.kind = indi, the INDI
// observatory on the computer's clock and zone, connected to its server and devices. A
// folder, an observatory.ini or a server that cannot be used is a RunTimeError naming
// the cause. The INDI observatory writes its images through `files`, the program's file
// system, which must outlive the host.
OpenedHost openHost(const std::string& hostFolder, FileSystem& files);

}  // namespace np
