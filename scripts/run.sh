#!/usr/bin/env bash
# Runs Nightpick against the simulated observatory: the window where there is a display,
# otherwise one simulated night with the headless runner. Builds first if needed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh release programs >&2  # the programs only: no tests, no benchmarks
bin="$PWD/build/release/bin"
# A sample target list for a first run; an existing list is never touched.
if [ ! -e "$bin/targets.txt" ]; then
  cp docs/sample/targets.txt "$bin/targets.txt"
  echo "run: put a sample targets.txt into $bin" >&2
fi
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin/nightpick" "$@"
fi
echo "run: no display; running one simulated night headless (program folder $bin)" >&2
# One night unless the arguments say how long (or ask for something else than a run).
hours=(--hours 24)
for a in "$@"; do
  case "$a" in --hours|--hours=*|--explain|--report-from-log|--report-from-log=*) hours=() ;; esac
done
exec "$bin/nightpick-sim" --program-dir "$bin" "${hours[@]}" "$@"
