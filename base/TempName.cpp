#include "base/TempName.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace np {

std::string tempNameBeside(const std::string& path) {
  static std::atomic<unsigned long> calls{0};
#ifdef _WIN32
  const unsigned long process = GetCurrentProcessId();
#else
  const unsigned long process = static_cast<unsigned long>(getpid());
#endif
  return path + "." + std::to_string(process) + "-" + std::to_string(++calls) + ".tmp";
}

}  // namespace np
