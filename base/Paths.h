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

// True for a character that separates folders in a path: on Windows '/' does as well as
// '\', and users do write "C:/Observatory/".
constexpr bool isPathSeparator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

// The folder with exactly one separator at its end ("." for an empty folder).
inline std::string withSeparator(std::string folder) {
  if (folder.empty()) return {'.', kPathSeparator};
  if (!isPathSeparator(folder.back())) folder += kPathSeparator;
  return folder;
}

// The folder without separators at its end (a root keeps its one: "/", and on Windows
// "C:\", since "C:" is the current folder of drive C).
inline std::string withoutSeparator(std::string folder) {
#ifdef _WIN32
  const size_t keep = folder.find(':') == 1 ? 3 : 1;
#else
  const size_t keep = 1;
#endif
  while (folder.size() > keep && isPathSeparator(folder.back())) folder.pop_back();
  return folder;
}

// `name` inside `folder`: one separator between them, whether or not the folder ends in one.
inline std::string joinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || !isPathSeparator(path.back())) path += kPathSeparator;
  path += name;
  return path;
}

}  // namespace np
