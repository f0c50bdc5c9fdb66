#pragma once
// How a program opens its host: each back end has one opener, and the programs' list of
// back ends (openHost, app/runner/OpenHost.h) names each with its kind.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/Clock.h"
#include "base/FileSystem.h"
#include "host/HostInterfaces.h"

namespace np {

class HostSkeleton;

// What a program asks of the host it opens.
struct HostRequest {
  // A dry run (nightpick-sim, --explain): a clock the program moves itself, from this
  // UTC instant. Only the simulated observatory runs so. Empty: the host's own clock.
  std::optional<double> manualStart;
  // Appends a line to the run log while no run has it open (a keeper of the observatory
  // says there how it left it).
  std::function<void(const std::string& line)> appendToRunLog;
  // The program's file system, which outlives the host: the images go through it.
  FileSystem* files = nullptr;
};

struct OpenedHost {
  // The host's clock; it outlives the host (members go in reverse order), and the host's
  // objects must go before it too.
  std::unique_ptr<Clock> clock;
  ManualClock* manualClock = nullptr;  // the clock, for a dry run
  std::unique_ptr<IHostFactory> host;
  HostSkeleton* skeleton = nullptr;    // the host, when it is one of Nightpick's own back ends
  std::string hostFolder;              // the host's folder, without a trailing separator
};

// A back end's opener: the host of the folder, whose observatory.ini names its kind.
using HostOpener = std::function<OpenedHost(const std::string& folder, const HostRequest& request)>;

}  // namespace np
