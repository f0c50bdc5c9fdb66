#pragma once
// The host a program runs against, chosen in one place for every program: the window
// (Linux and Windows), nightpick-headless, nightpick-sim and its --explain.
#include <string>

#include "host/HostOpening.h"

namespace np {

// The kind of host a program opens when its observatory folder has no observatory.ini:
// the Windows program's is the host by automation ("com"); the others create the file
// with its defaults, a simulated observatory.
struct HostChoice {
  std::string kindWithoutIni;
};

// Opens the host of the folder: the back end its observatory.ini names ([host] kind; the
// file is created with defaults when missing, unless `choice` names a kind for that):
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
