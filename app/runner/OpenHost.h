#pragma once
// The host a program runs against, chosen in one place for every program: the window
// (Linux and Windows), nightpick-headless, nightpick-sim and its --explain.
#include <string>

#include "host/HostOpening.h"

namespace np {

// The kind of host a program opens whatever its observatory folder holds: the Windows
// program's is the host by automation ("com"), which keeps its own folders. Empty: the
// kind the folder's observatory.ini names.
struct HostChoice {
  std::string kind;
};

// Makes the kinds and keys of this build's back ends known to every read of
// observatory.ini; each program calls it before it reads one (openHost does too). Any
// number of times.
void registerBackEnds();

// Opens the host of the folder: the back end `choice` names, or else the one its
// observatory.ini names ([host] kind; the file is created with defaults when missing):
// the simulated observatory, or, with host.kind = indi, the INDI observatory on the
// computer's clock and zone, connected to its server and devices. Without a run-log
// appender in `request`, a keeper of the observatory appends to the folder's
// Logs/Nightpick.log. Every file of the host goes through `files`, the program's file
// system, which must outlive the host. A folder, an observatory.ini or a server that cannot be used, a
// kind this build does not drive, and a dry run of any host but the simulated one are
// RunTimeErrors naming the cause.
OpenedHost openHost(const std::string& hostFolder, FileSystem& files, HostRequest request = {},
                    const HostChoice& choice = {});

}  // namespace np
