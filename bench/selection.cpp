// A selection pass over lists of 1,000, 10,000 and 100,000 groups against the simulated
// observatory, with the list and the run log on disk, as a night pays for it: the log is
// opened for appending, as the observing loop opens it. Beside it, the floor: a plain
// loop that reads the same file, computes each elevation with plain trigonometry and
// writes the same log lines. BM_SelectionPass reports both per group and their ratio.
#include <benchmark/benchmark.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <memory>
#include <random>
#include <string>

#include "base/Ui.h"
#include "base/Clock.h"
#include "base/FileSystem.h"
#include "host/ErfaEphemeris.h"
#include "host/sim/SimulatedObservatory.h"
#include "host/SkyMath.h"
#include "bench/PassWorld.h"
#include "bench/floor/FloorGroup.h"
#include "selection/Selection.h"

namespace {

using namespace np::bench;

// ---- The floor -------------------------------------------------------------------------

// The least a pass can cost: the same file read line by line, one elevation per group
// with plain trigonometry, the same tests at the default site (a flat horizon, a
// minimum elevation of 10 degrees, no other limit that bites) and the same log lines.
// Returns the number of groups that were logged.
int floorPass(const std::string& listPath, std::FILE* log, double localSidereal, double latitude,
              double minimumElevation) {
  const np::floor::Sky sky(localSidereal, latitude, minimumElevation);
  std::FILE* in = std::fopen(listPath.c_str(), "rb");
  if (in == nullptr) return -1;
  char line[512], target[512], out[1024];
  target[0] = '\0';
  float best = -10000.0f;
  int logged = 0;
  while (std::fgets(line, sizeof line, in) != nullptr) {
    std::size_t n = std::strlen(line);
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = '\0';
    if (std::strncmp(line, "****", 4) != 0) {
      std::memcpy(target, line, n + 1);
      continue;
    }
    const int remaining = std::atoi(line + 15);
    bool leads = false;
    char* p = np::floor::judgeGroup(sky, target, std::strlen(target), remaining, best, leads, out);
    if (p == nullptr) continue;
    std::fwrite(out, 1, static_cast<std::size_t>(p - out), log);
    ++logged;
  }
  std::fclose(in);
  std::fflush(log);
  return logged;
}

// ---- The benchmarks --------------------------------------------------------------------

double secondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void BM_Floor(benchmark::State& state) {
  const int groups = static_cast<int>(state.range(0));
  PassWorld world(groups);
  const std::string logPath = world.folder.file("floor.log");
  std::FILE* log = std::fopen(logPath.c_str(), "ab");
  const double lst = world.localSidereal();
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::resize_file(logPath, 0);
    state.ResumeTiming();
    benchmark::DoNotOptimize(floorPass(world.folder.file("targets.txt"), log, lst, world.host.config().site.latitude,
                                       world.host.config().limits.minimumElevation));
  }
  std::fclose(log);
  state.SetItemsProcessed(state.iterations() * groups);
}
BENCHMARK(BM_Floor)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Each iteration times one selection pass and one floor pass on the same list, each on a
// log of its own emptied beforehand; the iteration's time is the pass's.
void BM_SelectionPass(benchmark::State& state) {
  const int groups = static_cast<int>(state.range(0));
  PassWorld world(groups);
  const std::string logPath = world.folder.file("Nightpick.log");
  const std::string floorLogPath = world.folder.file("floor.log");
  auto log = world.files.OpenTextFileForAppending(logPath);
  std::FILE* floorLog = std::fopen(floorLogPath.c_str(), "ab");
  np::Settings settings;
  bool stopFlag = false;
  const np::Services services = world.services();
  const double lst = world.localSidereal();

  double passSeconds = 0, floorSeconds = 0;
  for (auto _ : state) {
    std::filesystem::resize_file(logPath, 0);
    std::filesystem::resize_file(floorLogPath, 0);
    auto t0 = std::chrono::steady_clock::now();
    const std::optional<np::ChosenGroup> chosen = np::selectTarget(services, *log, settings, stopFlag);
    log->Flush();  // as the loop does at the end of every pass
    const double pass = secondsSince(t0);
    benchmark::DoNotOptimize(chosen);

    t0 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(floorPass(world.folder.file("targets.txt"), floorLog, lst,
                                       world.host.config().site.latitude, world.host.config().limits.minimumElevation));
    floorSeconds += secondsSince(t0);
    passSeconds += pass;
    state.SetIterationTime(pass);
  }
  std::fclose(floorLog);
  if (world.messages.shown != 0) state.SkipWithError("unexpected message box");
  const double n = static_cast<double>(state.iterations()) * groups;
  state.SetItemsProcessed(state.iterations() * groups);
  state.counters["us_per_group"] = 1e6 * passSeconds / n;
  state.counters["floor_us_per_group"] = 1e6 * floorSeconds / n;
  state.counters["x_floor"] = floorSeconds > 0 ? passSeconds / floorSeconds : 0.0;
}
BENCHMARK(BM_SelectionPass)->Arg(1000)->Arg(10000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
