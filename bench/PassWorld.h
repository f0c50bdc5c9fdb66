#pragma once
// What the selection benchmarks share: a list of any number of groups spread over the sky,
// written as targets.txt into a scratch folder, and the simulated observatory beside it at
// an instant of night, with the services a pass is given.
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <memory>
#include <random>
#include <string>

#include "base/Clock.h"
#include "base/FileSystem.h"
#include "base/Ui.h"
#include "host/ErfaEphemeris.h"
#include "host/SkyMath.h"
#include "host/sim/SimulatedObservatory.h"
#include "targets/Services.h"

namespace np::bench {

inline constexpr double kNightUnix = 1710043200.0;  // 2024-03-10 04:00 UTC: night at the default site

// The list holds no faults: any message would be a fault of the benchmark itself.
class QuietMessages : public MessageSink {
 public:
  void showMessage(const std::string&) override { ++shown; }
  int shown = 0;
};

class NoEvents : public EventPump {
 public:
  void DoEvents() override {}
  void WaitSeconds(int) override {}
};

class ScratchFolder {
 public:
  ScratchFolder() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() / ("np-bench-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// `groups` groups of one plan line, a target line and a delimiter line, spread over the
// whole sky; one in ten is finished.
inline void writeList(const std::string& path, int groups) {
  std::mt19937 random(12345);
  std::uniform_real_distribution<double> ra(0, 24), dec(-40, 80);
  std::ofstream out(path, std::ios::binary);
  out << std::fixed << std::setprecision(5);
  for (int g = 0; g < groups; ++g) {
    out << "#COUNT 2\r\n";
    out << "T" << g << '\t' << ra(random) << '\t' << dec(random) << "\r\n";
    out << "**** remaining=" << (g % 10 == 0 ? 0 : 3) << "\r\n";
  }
}

// targets.txt of `groups` groups in a scratch folder, the simulated observatory in its
// "observatory" folder on a manual clock at night, and the services of a pass over them.
struct PassWorld {
  explicit PassWorld(int groups)
      : clock(kNightUnix), host(folder.file("observatory"), clock), util(host.createUtil()),
        telescope(host.createTelescope()), application(host.createApplication()) {
    writeList(folder.file("targets.txt"), groups);
  }
  ScratchFolder folder;
  ManualClock clock;
  SimulatedObservatory host;
  std::unique_ptr<IUtil> util;
  std::unique_ptr<ITelescope> telescope;
  std::unique_ptr<IApplication> application;
  ErfaEphemerisFactory ephemeris;
  LocalFileSystem files;
  QuietMessages messages;
  NoEvents events;

  double localSidereal() { return localSiderealHours(util->SysJulianDate(), host.config().site.longitude); }

  Services services() {
    return Services{.util = *util,
                    .telescope = *telescope,
                    .acpApp = *application,
                    .ephemeris = ephemeris,
                    .files = files,
                    .clock = clock,
                    .events = events,
                    .messages = messages,
                    .setStatusText = [](const std::string&) {},
                    .locale = NumberLocale{},
                    .programFolder = folder.file("")};  // with its trailing separator
  }
};

}  // namespace np::bench
