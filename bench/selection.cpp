// A selection pass over lists of 1,000 and 10,000 groups against the simulated
// observatory, with the list and the run log on disk.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <memory>
#include <random>
#include <string>

#include "base/Ui.h"
#include "base/Clock.h"
#include "base/FileSystem.h"
#include "host/sim/SimulatedObservatory.h"
#include "selection/Selection.h"

namespace {

constexpr double kNightUnix = 1710043200.0;  // 2024-03-10 04:00 UTC: night at the default site

// The list holds no faults: any message would be a fault of the benchmark itself.
class QuietMessages : public np::MessageSink {
 public:
  void showMessage(const std::string&) override { ++shown; }
  int shown = 0;
};

class NoEvents : public np::EventPump {
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
void writeList(const std::string& path, int groups) {
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

void BM_SelectionPass(benchmark::State& state) {
  const int groups = static_cast<int>(state.range(0));
  ScratchFolder folder;
  np::ManualClock clock(kNightUnix);
  np::SimulatedObservatory host(folder.file("observatory"), clock);
  auto util = host.createUtil();
  auto telescope = host.createTelescope();
  np::LocalFileSystem files;
  writeList(folder.file("targets.txt"), groups);
  auto log = files.CreateTextFile(folder.file("Nightpick.log"));
  QuietMessages messages;
  NoEvents events;
  np::Settings settings;
  bool stopFlag = false;
  std::unique_ptr<np::ICoordinateTransform> ct;
  np::SelectionContext context{files,    *util,  *telescope, *log, messages, settings, stopFlag, events,
                               [](const std::string&) {}, ct, folder.file("targets.txt"), np::NumberLocale{}};

  std::int64_t start = 0;
  for (auto _ : state) {
    float bestScore = 0;
    std::string bestTarget;
    const bool chosen = np::selectTarget(context, bestScore, bestTarget, start);
    benchmark::DoNotOptimize(chosen);
    benchmark::DoNotOptimize(bestScore);
  }
  if (messages.shown != 0) state.SkipWithError("unexpected message box");
  state.SetItemsProcessed(state.iterations() * groups);
  state.counters["groups"] = groups;
}
BENCHMARK(BM_SelectionPass)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
