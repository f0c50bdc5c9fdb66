#include "base/TempName.h"

#include "base/Errors.h"
#include "base/Paths.h"

#include <atomic>
#include <charconv>

namespace np {

// currentProcessId and processIsRunning are the platform's (base/posix, base/windows).

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
