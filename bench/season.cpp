// A season of nights through nightpick-sim's own run (runHeadless: the observing loop,
// the selection and the list rewrite on the simulated observatory, the season report at
// the end) for 30 and 180 nights of 1,000 groups whose counts never run out, and beside
// each its floor: plain C++ doing as many passes over the same list, writing the same log
// lines and rewriting the list (bench/floor/FloorNight.h).
//
// Each runs in a child process of its own, so that its peak memory is its own: the
// counters give the passes, the peak resident memory (MiB) and, on the floor's line, the
// season's time over the floor's ("x_floor"). Wall time is what is measured.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>

#include "app/runner/HeadlessRun.h"
#include "bench/floor/FloorNight.h"

namespace {

class ScratchFolder {
 public:
  ScratchFolder() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() / ("np-season-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string path() const { return path_.string(); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// 1,000 groups spread over the sky (right ascension through the day, declination
// -60..+80), the observatory's default four images each, a count that lasts the season. `decimal`: the angles as
// plain numbers, for the floor.
void writeList(const std::string& path, bool decimal) {
  std::ofstream out(path, std::ios::binary);
  char line[128];
  for (int i = 0; i < 1000; ++i) {
    const double ra = i * 24.0 / 1000;
    const int dec = -60 + (i * 7919) % 140, decMinutes = (i * 13) % 60;
    const int h = static_cast<int>(ra), m = static_cast<int>((ra - h) * 60),
              s = static_cast<int>((ra * 60 - static_cast<int>(ra * 60)) * 60);
    if (decimal)
      std::snprintf(line, sizeof line, "Field %04d\t%.6f\t%.6f", i, h + m / 60.0 + s / 3600.0,
                    dec < 0 ? dec - decMinutes / 60.0 : dec + decMinutes / 60.0);
    else
      std::snprintf(line, sizeof line, "Field %04d\t%02d:%02d:%02d\t%+03d:%02d:00", i, h, m, s, dec, decMinutes);
    out << line << "\r\n**** remaining=9999\r\n";
  }
}

struct Outcome {
  double seconds = 0;
  long passes = 0;
  double peakMiB = 0;
  bool ok = false;
};

// Runs `work` (which returns its number of passes, negative on failure) in a child
// process: its wall time, passes and peak resident memory.
Outcome inChild(const std::function<long()>& work) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const auto begin = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    const long passes = work();
    (void)!::write(fds[1], &passes, sizeof passes);
    ::_exit(passes >= 0 ? 0 : 1);
  }
  ::close(fds[1]);
  Outcome o;
  long passes = -1;
  const bool read = ::read(fds[0], &passes, sizeof passes) == static_cast<ssize_t>(sizeof passes);
  ::close(fds[0]);
  int status = 0;
  rusage usage{};
  if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return {};
  o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  o.passes = passes;
  o.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  o.ok = read && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return o;
}

std::map<long, Outcome> seasons;  // by nights: what the floor is held against

void BM_Season(benchmark::State& state) {
  const long nights = state.range(0);
  for (auto _ : state) {
    ScratchFolder folder;
    writeList(folder.file("targets.txt"), false);
    const Outcome o = inChild([&] {
      np::HeadlessOptions options;
      options.programDir = folder.path();
      options.start = "2026-12-07T12:00:00Z";
      options.hours = 24.0 * static_cast<double>(nights);
      std::ofstream out("/dev/null"), err("/dev/null");
      const np::HeadlessResult r = np::runHeadless(options, out, err);
      return r.exitCode == 0 && r.isSeason ? static_cast<long>(r.season.searches) : -1L;
    });
    if (!o.ok) state.SkipWithError("the season did not run");
    state.SetIterationTime(o.seconds);
    seasons[nights] = o;
    state.counters["passes"] = static_cast<double>(o.passes);
    state.counters["peak_MiB"] = o.peakMiB;
  }
}

void BM_SeasonFloor(benchmark::State& state) {
  const long nights = state.range(0);
  const auto season = seasons.find(nights);
  if (season == seasons.end()) {
    state.SkipWithError("no season of that length ran before");
    return;
  }
  for (auto _ : state) {
    ScratchFolder folder;
    writeList(folder.file("floor.txt"), true);
    const Outcome o = inChild([&] {
      return np::floor::floorNight(folder.file("floor.txt"), folder.file("floor.log"), season->second.passes)
                 ? season->second.passes
                 : -1L;
    });
    if (!o.ok) state.SkipWithError("the floor did not run");
    state.SetIterationTime(o.seconds);
    state.counters["passes"] = static_cast<double>(o.passes);
    state.counters["peak_MiB"] = o.peakMiB;
    state.counters["x_floor"] = season->second.seconds / o.seconds;
  }
}

// Each season before its floor; one run each (a season is seconds long).
BENCHMARK(BM_Season)->Arg(30)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_SeasonFloor)->Arg(30)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_Season)->Arg(180)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_SeasonFloor)->Arg(180)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
