// The floor of a night: what a night of selection passes costs at least. Every pass
// reads the list line by line, computes one elevation per group with plain
// trigonometry, writes the log lines a pass writes for each group above the minimum
// elevation, lowers the best group's count and rewrites the list (beside it, then renamed
// over it). The sidereal time moves on by a fixed step from pass to pass.
//
// Usage: bench_floor_night LIST LOG PASSES [LATITUDE [MINIMUM_ELEVATION [LST_STEP_HOURS]]]
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

char* general(char* out, double value, int digits) {
  if (value == 0.0) {
    *out++ = '0';
    return out;
  }
  char* end = std::to_chars(out, out + 32, value, std::chars_format::general, digits).ptr;
  for (char* c = out; c != end; ++c)
    if (*c == 'e') *c = 'E';
  return end;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s LIST LOG PASSES [LATITUDE [MINIMUM_ELEVATION [LST_STEP_HOURS]]]\n", argv[0]);
    return 2;
  }
  const std::string listPath = argv[1];
  const std::string newPath = listPath + ".new";
  const int passes = std::atoi(argv[3]);
  const double latitude = argc > 4 ? std::atof(argv[4]) : 31.96;
  const double minimumElevation = argc > 5 ? std::atof(argv[5]) : 10.0;
  const double lstStep = argc > 6 ? std::atof(argv[6]) : 0.25;
  constexpr double kRad = 3.14159265358979323846 / 180.0;
  const double sinLat = std::sin(latitude * kRad), cosLat = std::cos(latitude * kRad);

  std::FILE* log = std::fopen(argv[2], "ab");
  if (log == nullptr) return 1;
  std::vector<std::string> lines;
  char line[512], out[1024];
  double lst = 0.0;
  for (int pass = 0; pass < passes; ++pass, lst = std::fmod(lst + lstStep, 24.0)) {
    std::FILE* in = std::fopen(listPath.c_str(), "rb");
    if (in == nullptr) return 1;
    lines.clear();
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
      const std::size_t tab1 = target.find('\t');
      if (tab1 == std::string::npos) continue;
      const std::size_t tab2 = target.find('\t', tab1 + 1);
      if (tab2 == std::string::npos) continue;
      const float ra = std::strtof(target.c_str() + tab1 + 1, nullptr);
      const float dec = std::strtof(target.c_str() + tab2 + 1, nullptr);
      double ha = std::fmod(lst - ra, 24.0);
      if (ha > 12.0) ha -= 24.0;
      if (ha <= -12.0) ha += 24.0;
      const double elevation =
          std::asin(sinLat * std::sin(dec * kRad) + cosLat * std::cos(dec * kRad) * std::cos(ha * 15.0 * kRad)) / kRad;
      if (elevation <= minimumElevation + 1.0 || remaining == 0) continue;
      double transit = static_cast<double>(dec + 90.0f) - latitude;
      if (transit > 90.0) transit = 180.0 - transit;
      const float score = static_cast<float>((6.0 - std::fabs(ha)) * 30.0 + (90.0 - transit));

      char* p = out;
      auto put = [&p](const char* s, std::size_t len) {
        std::memcpy(p, s, len);
        p += len;
      };
      put("Target: ", 8);
      put(target.data(), tab1);
      put(" RA=", 4);
      p = general(p, ra, 7);
      put(", DEC=", 6);
      p = general(p, dec, 7);
      put("\r\n  Score=", 10);
      p = general(p, score, 7);
      put(" Elev=", 6);
      p = general(p, elevation, 15);
      put(" TransitAlt=", 12);
      p = general(p, transit, 15);
      put(" HADiff=", 8);
      p = general(p, std::fabs(ha), 15);
      put("\r\n", 2);
      if (score > best) {
        best = score;
        bestDelimiter = lines.size() - 1;
        bestRemaining = remaining;
        put("  >>> New bestscore = ", 22);
        p = general(p, score, 7);
        put("\r\n", 2);
      }
      std::fwrite(out, 1, static_cast<std::size_t>(p - out), log);
    }
    std::fclose(in);
    std::fflush(log);
    if (best <= -10000.0f) continue;

    lines[bestDelimiter] = "**** remaining=" + std::to_string(bestRemaining - 1);
    std::FILE* rewrite = std::fopen(newPath.c_str(), "wb");
    if (rewrite == nullptr) return 1;
    for (const std::string& l : lines) {
      std::fwrite(l.data(), 1, l.size(), rewrite);
      std::fwrite("\r\n", 1, 2, rewrite);
    }
    if (std::fclose(rewrite) != 0 || std::rename(newPath.c_str(), listPath.c_str()) != 0) return 1;
  }
  std::fclose(log);
  return 0;
}
