// Processes on POSIX systems (Linux), for the temporary names of base/TempName.h.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>

#include "base/TempName.h"

namespace np {

unsigned long currentProcessId() { return static_cast<unsigned long>(getpid()); }

bool processIsRunning(unsigned long process) {
  if (process == 0 || process > static_cast<unsigned long>(INT32_MAX)) return false;  // no process has that id
  if (::kill(static_cast<pid_t>(process), 0) == 0) return true;
  return errno != ESRCH;
}

}  // namespace np
