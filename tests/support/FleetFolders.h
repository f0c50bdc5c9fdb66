#pragma once
// Program folders for the fleet's runs: each a site with its own simulated observatory at
// a latitude and longitude of its own, and lists spread over the sky.
#include <cstdio>
#include <filesystem>
#include <string>

#include "base/NumberText.h"
#include "support/TempDir.h"

namespace np::test {

// A program folder with targets.txt and observatory/observatory.ini placing the site.
class SiteFolder {
 public:
  SiteFolder(double latitude, double longitude, const std::string& list, const std::string& moreIni = "") {
    std::filesystem::create_directories(hostDir());
    writeFileBytes(dir.file("targets.txt"), list);
    writeFileBytes(hostDir() + "/observatory.ini", "[site]\nlatitude = " + formatGeneral(latitude, 15) +
                                                       "\nlongitude = " + formatGeneral(longitude, 15) + "\n" + moreIni);
  }
  std::string path() const { return dir.path(); }
  std::string hostDir() const { return dir.path() + "/observatory"; }
  std::string listText() const { return readFileBytes(dir.file("targets.txt")); }
  std::string runLog() const { return readFileBytes(hostDir() + "/Logs/Nightpick.log"); }

  TempDir dir;
};

// `groups` groups spread through the right ascensions from `raFrom` to `raTo` hours and
// the declinations from -15 to +65 degrees, lines ended by CR LF. Each has `runs` runs
// but, when `oddCounts`, every 50th (from the 5th) a negative count and every 67th (from
// the 20th) a count that cannot be read.
inline std::string spreadFleetList(int groups, int runs, bool oddCounts = false, int raFrom = 0, int raTo = 24) {
  std::string list;
  for (int i = 0; i < groups; ++i) {
    const int ra = raFrom * 60 + (i * (raTo - raFrom) * 60 / groups + (i % 7) * 11) % ((raTo - raFrom) * 60);
    const int dec = -15 + (i * 37) % 80;
    char target[96];
    std::snprintf(target, sizeof target, "Field %03d\t%02d:%02d:00\t%+03d:%02d:00", i, ra / 60 % 24, ra % 60, dec,
                  (i * 13) % 60);
    std::string count = std::to_string(runs);
    if (oddCounts && i % 50 == 5) count = "-1";
    if (oddCounts && i % 67 == 20) count = "many";
    list += "#COUNT 2\r\n" + std::string(target) + "\r\n**** remaining=" + count + "\r\n";
  }
  return list;
}

}  // namespace np::test
