#!/usr/bin/env bash
# The service unit that the Linux archive carries for nightpick-headless: a copy with its
# program folder (/opt/nightpick) replaced by the build's program folder passes
# "systemd-analyze verify" without a warning, and says what the README promises of it.
# Exits 77 (skipped) only when systemd-analyze is missing or cannot verify any unit here.
set -euo pipefail
source_dir="$1" build_dir="$2"
unit="$source_dir/docs/linux/nightpick-headless.service"
bin="$build_dir/bin"
[ -x "$bin/nightpick-headless" ] || { echo "nightpick-headless is not built in $bin"; exit 1; }

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

if ! command -v systemd-analyze >/dev/null; then
  echo "SKIP: systemd-analyze is not installed (Debian package systemd)"
  exit 77
fi
# Whether systemd-analyze can verify anything at all in this sandbox.
printf '[Service]\nType=oneshot\nExecStart=/bin/true\n' >"$dir/probe.service"
if ! probe=$(systemd-analyze verify "$dir/probe.service" 2>&1) || [ -n "$probe" ]; then
  echo "SKIP: systemd-analyze verify does not work here: $probe"
  exit 77
fi

grep -q '/opt/nightpick' "$unit" || { echo "the unit does not name /opt/nightpick"; exit 1; }
sed "s#/opt/nightpick#$bin#g" "$unit" >"$dir/nightpick-headless.service"
# systemd-analyze reports what it ignores (a misspelt value, an unknown key) as a warning
# and still succeeds: any output is a failure.
if ! out=$(systemd-analyze verify "$dir/nightpick-headless.service" 2>&1) || [ -n "$out" ]; then
  echo "systemd-analyze verify nightpick-headless.service:"
  echo "$out"
  exit 1
fi

for line in "Type=simple" "Restart=on-failure" "RestartSec=30" "KillSignal=SIGTERM" \
            "After=network.target indiserver.service" "Wants=indiserver.service" \
            "WorkingDirectory=$bin" "ExecStart=$bin/nightpick-headless --program-dir $bin"; do
  grep -qxF "$line" "$dir/nightpick-headless.service" || { echo "the unit has no line '$line'"; exit 1; }
done
timeout=$(sed -n 's/^TimeoutStopSec=\([0-9]*\)$/\1/p' "$unit")
[ -n "$timeout" ] && [ "$timeout" -ge 120 ] || { echo "TimeoutStopSec='$timeout' leaves no time for an abort and a park"; exit 1; }
echo "nightpick-headless.service: verified by systemd-analyze ($(systemd-analyze --version | head -1))"
