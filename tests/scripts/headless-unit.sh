#!/usr/bin/env bash
# The service unit that the Linux archive carries for nightpick-headless: a copy with its
# program folder (/opt/nightpick) replaced by the build's program folder passes
# "systemd-analyze verify" without a warning, says what the README promises of it, and is
# sandboxed: "systemd-analyze security --offline=true" rates its exposure 2.0 or better
# ("OK") while it can still write its program folder, reach a remote INDI server and
# start the autofocus command.
# Exits 77 (skipped) only when systemd-analyze is missing or cannot verify or rate any
# unit here.
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
# Whether it can rate a unit file offline (systemd 250 and later) in this sandbox.
if ! probe=$(systemd-analyze security --offline=true "$dir/probe.service" 2>&1) ||
   ! grep -q 'Overall exposure level for probe.service: [0-9]' <<<"$probe"; then
  echo "SKIP: systemd-analyze security --offline=true does not work here: $probe"
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
            "After=network-online.target indiserver.service" \
            "Wants=network-online.target indiserver.service" \
            "WorkingDirectory=$bin" "ExecStart=$bin/nightpick-headless --program-dir $bin" \
            "ReadWritePaths=$bin"; do
  grep -qxF "$line" "$dir/nightpick-headless.service" || { echo "the unit has no line '$line'"; exit 1; }
done
timeout=$(sed -n 's/^TimeoutStopSec=\([0-9]*\)$/\1/p' "$unit")
[ -n "$timeout" ] && [ "$timeout" -ge 120 ] || { echo "TimeoutStopSec='$timeout' leaves no time for an abort and a park"; exit 1; }

# What the sandbox must leave it: TCP to a server on this computer or another (and local
# sockets), and programs of its own (fork and exec, in @process).
families=$(sed -n 's/^RestrictAddressFamilies=//p' "$unit")
for family in AF_INET AF_INET6 AF_UNIX; do
  [[ "$families" != "~"* && " $families " == *" $family "* ]] ||
    { echo "RestrictAddressFamilies='$families' does not allow $family"; exit 1; }
done
if grep -nE '^(PrivateNetwork=(yes|true|on|1)|IPAddressDeny=.|SystemCallFilter=~.*@process)' "$unit"; then
  echo "the unit keeps the program from the INDI server or from its autofocus command"
  exit 1
fi

# The rating: "Overall exposure level for nightpick-headless.service: 1.4 OK".
security=$(systemd-analyze security --offline=true "$dir/nightpick-headless.service" 2>&1) ||
  { echo "systemd-analyze security nightpick-headless.service:"; echo "$security"; exit 1; }
exposure=$(sed -n 's/.*Overall exposure level for nightpick-headless\.service: \([0-9][0-9.]*\) .*/\1/p' <<<"$security")
[ -n "$exposure" ] || { echo "no overall exposure level in:"; echo "$security"; exit 1; }
if ! awk -v e="$exposure" 'BEGIN { exit !(e + 0 <= 2.0) }'; then
  echo "systemd-analyze security rates nightpick-headless.service $exposure, above 2.0 (OK):"
  grep '✗' <<<"$security" || true
  exit 1
fi
echo "nightpick-headless.service: verified by systemd-analyze ($(systemd-analyze --version | head -1)), exposure $exposure"
