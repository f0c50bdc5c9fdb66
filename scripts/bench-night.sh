#!/usr/bin/env bash
# A simulated day through nightpick-sim beside its floor (bench_floor_night: the same
# list read, one elevation per group, the same log lines written and the list rewritten,
# as many passes as the night made), with the CPU time and the peak memory of each from
# /usr/bin/time -v. RUNS > 1 runs the night again in the same folder (the run log grows)
# and reports every run.
# Usage: scripts/bench-night.sh [groups] [runs] [program folder of the build] [floor program]
set -euo pipefail
GROUPS_N=${1:-10000}
RUNS=${2:-1}
BIN=${3:-build/release/bin}
SIM=$BIN/nightpick-sim
FLOOR=${4:-build/release/bench/bench_floor_night}
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing: run scripts/setup.sh" >&2; exit 1; }
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
# Groups spread over the sky: right ascension through the day, declination -60..+80.
awk -v n="$GROUPS_N" 'BEGIN {
  for (i = 0; i < n; i++) {
    ra = (i * 24.0 / n); dec = -60 + (i * 7919 % 140);
    printf "#COUNT 2\r\nField %04d\t%02d:%02d:%02d\t%+03d:%02d:00\r\n**** remaining=5\r\n",
           i, int(ra), int((ra - int(ra)) * 60), int(((ra * 60) - int(ra * 60)) * 60), dec, (i * 13) % 60
  } }' > "$DIR/targets.keep"
# The floor reads decimal angles: the same list with its angles as numbers.
awk -F'\t' 'BEGIN { OFS = "\t" } NF == 3 {
  split($2, r, ":"); split($3, d, ":"); s = (substr($3, 1, 1) == "-") ? -1 : 1;
  $2 = sprintf("%.6f", r[1] + r[2] / 60 + r[3] / 3600);
  $3 = sprintf("%.6f", s * ((d[1] < 0 ? -d[1] : d[1]) + d[2] / 60)) "\r" } { print }' \
  "$DIR/targets.keep" | sed 's/\r\r$/\r/' > "$DIR/floor.keep"

cpu() { awk -F': ' '/User time/ { u = $2 } /System time/ { s = $2 } END { printf "%.2f", u + s }' "$1"; }
rss() { awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$1"; }

for run in $(seq 1 "$RUNS"); do
  cp "$DIR/targets.keep" "$DIR/targets.txt"
  rm -f "$DIR/config.ini"
  /usr/bin/time -v "$SIM" --program-dir "$DIR" --start 2026-12-07T12:00:00Z --hours 24 \
    > "$DIR/out.txt" 2> "$DIR/time.txt" || { cat "$DIR/time.txt" >&2; exit 1; }
  passes=$(sed -n 's/^Plans run: [0-9]* (\([0-9]*\) searches.*/\1/p' "$DIR/out.txt")
  log=$(stat -c %s "$DIR/observatory/Logs/Nightpick.log")
  cp "$DIR/floor.keep" "$DIR/floor.txt"
  rm -f "$DIR/floor.log"
  /usr/bin/time -v "$FLOOR" "$DIR/floor.txt" "$DIR/floor.log" "$passes" 2> "$DIR/floor-time.txt" \
    || { cat "$DIR/floor-time.txt" >&2; exit 1; }
  printf 'run %d: %d groups, %d passes, run log %d MiB: nightpick-sim %s s CPU, %s MiB peak; floor %s s CPU, %s MiB peak; %.2fx floor\n' \
    "$run" "$GROUPS_N" "$passes" $((log / 1048576)) "$(cpu "$DIR/time.txt")" "$(rss "$DIR/time.txt")" \
    "$(cpu "$DIR/floor-time.txt")" "$(rss "$DIR/floor-time.txt")" \
    "$(echo "$(cpu "$DIR/time.txt") / $(cpu "$DIR/floor-time.txt")" | bc -l)"
done
