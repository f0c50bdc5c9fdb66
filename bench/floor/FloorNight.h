#pragma once
// The floor of a night: what a night of selection passes costs at least. Every pass
// reads the list line by line, computes one elevation per group with plain
// trigonometry, writes the log lines a pass writes for each group above the minimum
// elevation, lowers the best group's count and rewrites the list (beside it, then renamed
// over it). The sidereal time moves on by a fixed step from pass to pass.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/floor/FloorGroup.h"

namespace np::floor {

// `passes` passes over the list at `listPath` (angles as decimal numbers), appending to
// the log at `logPath`; false when a file cannot be read or written.
inline bool floorNight(const std::string& listPath, const std::string& logPath, long passes, double latitude = 31.96,
                       double minimumElevation = 10.0, double lstStep = 0.25) {
  const std::string newPath = listPath + ".new";
  std::FILE* log = std::fopen(logPath.c_str(), "ab");
  if (log == nullptr) return false;
  std::vector<std::string> lines;
  char line[512], out[1024];
  double lst = 0.0;
  for (long pass = 0; pass < passes; ++pass, lst = std::fmod(lst + lstStep, 24.0)) {
    std::FILE* in = std::fopen(listPath.c_str(), "rb");
    if (in == nullptr) return std::fclose(log), false;
    lines.clear();
    const Sky sky(lst, latitude, minimumElevation);
    float best = -10000.0f;
    std::size_t bestDelimiter = 0;
    int bestRemaining = 0;
    while (std::fgets(line, sizeof line, in) != nullptr) {
      std::size_t n = std::strlen(line);
      while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = '\0';
      lines.emplace_back(line, n);
      if (std::strncmp(line, "****", 4) != 0 || lines.size() < 2) continue;
      const std::string& target = lines[lines.size() - 2];
      const int remaining = std::atoi(line + 15);
      bool leads = false;
      char* p = judgeGroup(sky, target.data(), target.size(), remaining, best, leads, out);
      if (p == nullptr) continue;
      if (leads) {
        bestDelimiter = lines.size() - 1;
        bestRemaining = remaining;
      }
      std::fwrite(out, 1, static_cast<std::size_t>(p - out), log);
    }
    std::fclose(in);
    std::fflush(log);
    if (best <= -10000.0f) continue;

    lines[bestDelimiter] = "**** remaining=" + std::to_string(bestRemaining - 1);
    std::FILE* rewrite = std::fopen(newPath.c_str(), "wb");
    if (rewrite == nullptr) return std::fclose(log), false;
    for (const std::string& l : lines) {
      std::fwrite(l.data(), 1, l.size(), rewrite);
      std::fwrite("\r\n", 1, 2, rewrite);
    }
    if (std::fclose(rewrite) != 0 || std::rename(newPath.c_str(), listPath.c_str()) != 0) return std::fclose(log), false;
  }
  return std::fclose(log) == 0;
}

}  // namespace np::floor
