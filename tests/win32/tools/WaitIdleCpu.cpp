// How much processor time the responsive wait costs while nothing happens: one long
// WaitSeconds(n), then n pauses as the observing loop makes them (pending events once,
// then WaitSeconds(1)), each measured with GetProcessTimes against the wall clock.
//
//   wait-idle-cpu [seconds]      (default 20)
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "base/Ui.h"
#include "night/win32/Win32EventPump.h"

namespace {

double processCpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
  const auto seconds = [](const FILETIME& f) {
    return static_cast<double>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

template <class F>
void measure(const char* what, F&& wait) {
  const double cpu0 = processCpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  wait();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double cpu = processCpuSeconds() - cpu0;
  std::printf("%-28s wall %7.3f s  cpu %7.4f s  (%.3f%% of one core)\n", what, wall, cpu, 100.0 * cpu / wall);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
  if (seconds <= 0) {
    std::fprintf(stderr, "usage: wait-idle-cpu [seconds > 0]\n");
    return 2;
  }
  // A window on the thread, as the program has: the wait also watches its input.
  HWND window = CreateWindowExW(0, L"STATIC", L"idle", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  np::Win32EventPump pump;
  std::printf("timer %s, %d s each\n", pump.timerName().c_str(), seconds);
  measure("one WaitSeconds(n)", [&] { pump.WaitSeconds(seconds); });
  measure("n pauses of one second", [&] {
    for (int i = 0; i < seconds; ++i) np::Pause(pump);
  });
  if (window) DestroyWindow(window);
  return 0;
}
