#!/usr/bin/env bash
# Measures the processor time the windowed program spends in its responsive wait: a
# small harness shows a window and makes the observing loop's pauses (process pending
# events, then WaitSeconds(1)) for a given number of seconds, and the processor time of
# that stretch is read from /proc/<pid>/stat (utime + stime) at its start and end.
#
#   scripts/measure-idle-cpu.sh [SECONDS]      (default 30)
#
# Runs under Xvfb when xvfb-run is installed, otherwise on Qt's offscreen platform.
set -euo pipefail

SECONDS_TO_WAIT="${1:-30}"
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ -z "${DISPLAY:-}" ] && [ -z "${NP_MEASURE_PLATFORM:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
  NP_MEASURE_PLATFORM="xcb under Xvfb" exec xvfb-run -a "$0" "$SECONDS_TO_WAIT"
fi
if [ -z "${DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=offscreen
  NP_MEASURE_PLATFORM="offscreen"
fi
echo "platform: ${NP_MEASURE_PLATFORM:-xcb on $DISPLAY}"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

cat > "$WORK/harness.cpp" <<'CPP'
#include <QApplication>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include "base/Clock.h"
#include "night/qt/QtEventPump.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
  QWidget window;
  window.resize(400, 200);
  window.show();
  np::RealTimeClock clock(0.0, 1.0);
  np::QtEventPump pump(clock);
  for (int i = 0; i < 3; ++i) np::Pause(pump);  // let the window settle
  std::printf("waiting %d\n", static_cast<int>(getpid()));
  std::fflush(stdout);
  std::getchar();  // the script has read the start figure
  for (int i = 0; i < seconds; ++i) np::Pause(pump);
  std::printf("done\n");
  std::fflush(stdout);
  std::getchar();  // the script has read the end figure
  return 0;
}
CPP

CXX="${CXX:-g++}"
# shellcheck disable=SC2046
"$CXX" -std=c++20 -O2 -fPIC -I"$ROOT" "$WORK/harness.cpp" "$ROOT/night/qt/QtEventPump.cpp" \
  $(pkg-config --cflags --libs Qt6Widgets) -o "$WORK/harness"

cpu_ticks() {  # utime + stime of a process, in clock ticks
  awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"
}

run() {
  coproc HARNESS { "$@" 2>/dev/null; }
  local line pid start end
  read -r line <&"${HARNESS[0]}"
  pid="${line#waiting }"
  start=$(cpu_ticks "$pid")
  local t0=$EPOCHREALTIME
  echo >&"${HARNESS[1]}"
  read -r line <&"${HARNESS[0]}"
  end=$(cpu_ticks "$pid")
  local t1=$EPOCHREALTIME
  echo >&"${HARNESS[1]}"
  wait "$HARNESS_PID" || true
  local hz
  hz=$(getconf CLK_TCK)
  awk -v s="$start" -v e="$end" -v hz="$hz" -v t0="$t0" -v t1="$t1" -v n="$SECONDS_TO_WAIT" 'BEGIN {
    cpu = (e - s) / hz; wall = t1 - t0;
    printf "idle wait: %d pauses over %.2f s wall, processor time %.3f s (%.3f%% of one core, %.2f ms per pause)\n",
           n, wall, cpu, 100 * cpu / wall, 1000 * cpu / n }'
}

run "$WORK/harness" "$SECONDS_TO_WAIT"
