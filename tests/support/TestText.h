#pragma once
// Small text helpers shared by the tests (header-only, so the Qt tests can use them too).
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "base/Errors.h"

namespace np::test {

// config.ini as the program writes it with every default.
inline const std::string kDefaultConfigText =
    "lastFocusJD,0\r\n"
    "focusInterval,30\r\n"
    "baseDir,C:\\Astronomy\\Nightpick\\\r\n"
    "maxElevation,90\r\n"
    "minAzimuth,0\r\n"
    "maxAzimuth,360\r\n"
    "sunElev,-18\r\n";

// Lines joined, each ended by CR LF, as the program writes its files.
inline std::string crlf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// The lines of a text, each without its LF and a CR before it.
// How many of the lines start with `prefix`.
inline int countPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  int n = 0;
  for (const std::string& line : lines) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

inline std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The text of the RunTimeError that `op` throws, or "(no error)".
inline std::string errorOf(const std::function<void()>& op) {
  try {
    op();
  } catch (const RunTimeError& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace np::test
