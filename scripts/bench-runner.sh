#!/usr/bin/env bash
# Times nightpick-sim over a day with a list of many target groups (default 1,000).
# Usage: scripts/bench-runner.sh [path/to/nightpick-sim] [groups] [hours]
set -euo pipefail
SIM=${1:-build/release/bin/nightpick-sim}
GROUPS_N=${2:-1000}
HOURS=${3:-24}
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
# Groups spread over the sky: right ascension through the day, declination -60..+80.
awk -v n="$GROUPS_N" 'BEGIN {
  for (i = 0; i < n; i++) {
    ra = (i * 24.0 / n); dec = -60 + (i * 7919 % 140);
    printf "#COUNT 2\r\nField %04d\t%02d:%02d:%02d\t%+03d:%02d:00\r\n**** remaining=5\r\n",
           i, int(ra), int((ra - int(ra)) * 60), int(((ra * 60) - int(ra * 60)) * 60), dec, (i * 13) % 60
  } }' > "$DIR/targets.txt"
for run in 1 2 3; do
  rm -rf "$DIR/observatory" "$DIR/config.ini"
  cp "$DIR/targets.txt" "$DIR/targets.keep"
  start=$(date +%s.%N)
  "$SIM" --program-dir "$DIR" --start 2026-12-07T12:00:00Z --hours "$HOURS" > "$DIR/out.txt" 2> "$DIR/err.txt"
  end=$(date +%s.%N)
  mv "$DIR/targets.keep" "$DIR/targets.txt"
  plans=$(grep -m1 '^Plans run:' "$DIR/out.txt")
  printf 'run %d: %d groups, %s h simulated: %.2f s wall (%s)\n' "$run" "$GROUPS_N" "$HOURS" \
    "$(echo "$end - $start" | bc)" "$plans"
done
