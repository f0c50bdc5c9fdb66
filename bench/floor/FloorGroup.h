#pragma once
// The floor's one group: what a selection pass costs at least for it. Plain C++ with
// nothing of the program: the target line's coordinates read with strtof, one elevation
// from plain trigonometry, the minimum-elevation and count tests at the default site, and
// the log lines a pass writes for an eligible group, formatted into a buffer.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace np::floor {

inline char* general(char* out, double value, int digits) {
  if (value == 0.0) {
    *out++ = '0';
    return out;
  }
  char* end = std::to_chars(out, out + 32, value, std::chars_format::general, digits).ptr;
  for (char* c = out; c != end; ++c)
    if (*c == 'e') *c = 'E';
  return end;
}

inline constexpr double kRad = 3.14159265358979323846 / 180.0;

// The site and the instant; the latitude's sine and cosine are worked out once.
struct Sky {
  Sky(double lst, double lat, double minElevation)
      : localSidereal(lst), latitude(lat), minimumElevation(minElevation),
        sinLat(std::sin(lat * kRad)), cosLat(std::cos(lat * kRad)) {}
  double localSidereal;  // hours
  double latitude, minimumElevation, sinLat, cosLat;
};

// Judges the group of `target` (its target line, `length` characters) with `remaining`.
// An eligible group's log lines go to `out` (at least 1024 bytes) and their end is
// returned, with `leads` set when its score beats `best` (which then takes it); a group
// that is not eligible, or whose line has no coordinates, returns nullptr.
inline char* judgeGroup(const Sky& sky, const char* target, std::size_t length, int remaining, float& best,
                        bool& leads, char* out) {
  const char* end = target + length;
  const char* tab1 = static_cast<const char*>(std::memchr(target, '\t', length));
  if (tab1 == nullptr) return nullptr;
  const char* tab2 = static_cast<const char*>(std::memchr(tab1 + 1, '\t', static_cast<std::size_t>(end - tab1 - 1)));
  if (tab2 == nullptr) return nullptr;
  const float ra = std::strtof(tab1 + 1, nullptr), dec = std::strtof(tab2 + 1, nullptr);
  double ha = std::fmod(sky.localSidereal - ra, 24.0);
  if (ha > 12.0) ha -= 24.0;
  if (ha <= -12.0) ha += 24.0;
  const double elevation = std::asin(sky.sinLat * std::sin(dec * kRad) +
                                     sky.cosLat * std::cos(dec * kRad) * std::cos(ha * 15.0 * kRad)) /
                           kRad;
  if (elevation <= sky.minimumElevation + 1.0 || remaining == 0) return nullptr;
  double transit = static_cast<double>(dec + 90.0f) - sky.latitude;
  if (transit > 90.0) transit = 180.0 - transit;
  const float score = static_cast<float>((6.0 - std::fabs(ha)) * 30.0 + (90.0 - transit));

  char* p = out;
  auto put = [&p](const char* s, std::size_t len) {
    std::memcpy(p, s, len);
    p += len;
  };
  put("Target: ", 8);
  put(target, static_cast<std::size_t>(tab1 - target));
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
  leads = score > best;
  if (leads) {
    best = score;
    put("  >>> New bestscore = ", 22);
    p = general(p, score, 7);
    put("\r\n", 2);
  }
  return p;
}

}  // namespace np::floor
