// Processes on Windows, for the temporary names of base/TempName.h.
#include <windows.h>

#include "base/TempName.h"

namespace np {

unsigned long currentProcessId() { return GetCurrentProcessId(); }

bool processIsRunning(unsigned long process) {
  HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(process));
  if (h == nullptr) return ::GetLastError() != ERROR_INVALID_PARAMETER;  // no such process
  DWORD code = 0;
  const bool running = !::GetExitCodeProcess(h, &code) || code == STILL_ACTIVE;
  ::CloseHandle(h);
  return running;
}

}  // namespace np
