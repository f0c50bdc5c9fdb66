#include "base/TempName.h"

#include "base/Errors.h"
#include "base/Paths.h"

#include <atomic>
#include <charconv>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <unistd.h>
#endif

namespace np {

unsigned long currentProcessId() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}

std::string tempNameBeside(const std::string& path) {
  static std::atomic<unsigned long> calls{0};
  return path + "." + std::to_string(currentProcessId()) + "-" + std::to_string(++calls) + ".tmp";
}

std::optional<unsigned long> tempNameOwner(std::string_view fileName, std::string_view baseName) {
  constexpr std::string_view kSuffix = ".tmp";
  if (fileName.size() <= baseName.size() + 1 + kSuffix.size() || fileName.substr(0, baseName.size()) != baseName ||
      fileName[baseName.size()] != '.' || !fileName.ends_with(kSuffix))
    return std::nullopt;
  // "<process>-<call>", both plain decimal numbers.
  const std::string_view tag = fileName.substr(baseName.size() + 1, fileName.size() - baseName.size() - 1 - kSuffix.size());
  const std::size_t dash = tag.find('-');
  if (dash == std::string_view::npos || dash == 0 || dash + 1 == tag.size()) return std::nullopt;
  auto digits = [](std::string_view t) { return t.find_first_not_of("0123456789") == std::string_view::npos; };
  if (!digits(tag.substr(0, dash)) || !digits(tag.substr(dash + 1))) return std::nullopt;
  unsigned long process = 0;
  const auto res = std::from_chars(tag.data(), tag.data() + dash, process);
  if (res.ec != std::errc() || res.ptr != tag.data() + dash) return std::nullopt;
  return process;
}

bool processIsRunning(unsigned long process) {
#ifdef _WIN32
  HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(process));
  if (h == nullptr) return ::GetLastError() != ERROR_INVALID_PARAMETER;  // no such process
  DWORD code = 0;
  const bool running = !::GetExitCodeProcess(h, &code) || code == STILL_ACTIVE;
  ::CloseHandle(h);
  return running;
#else
  if (process == 0 || process > static_cast<unsigned long>(INT32_MAX)) return false;  // no process has that id
  if (::kill(static_cast<pid_t>(process), 0) == 0) return true;
  return errno != ESRCH;
#endif
}

int removeAbandonedTempFiles(FileSystem& files, const std::string& folder, std::string_view baseName) {
  std::vector<std::string> names;
  try {
    names = files.FileNames(folder);
  } catch (const RunTimeError&) {
    return 0;  // a folder that cannot be listed keeps its strays; the run does not depend on it
  }
  int removed = 0;
  const unsigned long self = currentProcessId();
  for (const std::string& name : names) {
    const std::optional<unsigned long> owner = tempNameOwner(name, baseName);
    if (!owner || *owner == self || processIsRunning(*owner)) continue;
    try {
      files.Remove(joinPath(folder, name));
      ++removed;
    } catch (const RunTimeError&) {
    }
  }
  return removed;
}

}  // namespace np
