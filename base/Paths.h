#pragma once
// The path rules of the platform, in one place: its separator, and how a name is joined
// to a folder. Folders that the host reports carry no separator at the end; the program
// folder carries exactly one.
#include <string>
#include <string_view>

namespace np {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The folder with exactly one separator at its end ("." for an empty folder).
inline std::string withSeparator(std::string folder) {
  if (folder.empty()) folder = ".";
  if (folder.back() != kPathSeparator) folder += kPathSeparator;
  return folder;
}

// The folder without separators at its end (the root keeps its one).
inline std::string withoutSeparator(std::string folder) {
  while (folder.size() > 1 && folder.back() == kPathSeparator) folder.pop_back();
  return folder;
}

// `name` inside `folder`: one separator between them, whether or not the folder ends in one.
inline std::string joinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || path.back() != kPathSeparator) path += kPathSeparator;
  path += name;
  return path;
}

}  // namespace np
