#!/usr/bin/env bash
# Makes the portable Linux archive (build/release/nightpick-<version>-linux-x86_64.tar.gz)
# and tries it as a user would: unpacked into a clean folder, a dry night run from there,
# nightpick-headless started there and stopped as its service would be, the service unit
# verified for that folder, the desktop entry made for that folder and checked, the manual
# page read.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh release >&2
(cd build/release && cpack -G TGZ >/dev/null)
archive=$(ls build/release/nightpick-*-linux-*.tar.gz)
echo "package: $archive"

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
tar -xzf "$archive" -C "$dir"
folder="$dir/$(basename "$archive" .tar.gz)"
expected="README.txt install-desktop-entry.sh nightpick nightpick-headless nightpick-headless.service nightpick-report.so nightpick-sim nightpick-sim.1 nightpick.svg targets-sample.txt"
got=$(cd "$folder" && ls | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$got" != "$expected" ]; then
  echo "package: the archive holds '$got', not '$expected'" >&2
  exit 1
fi

# A dry night from the unpacked folder, as its README says.
(cd "$folder" && cp targets-sample.txt targets.txt &&
  ./nightpick-sim --start 2026-12-07T12:00:00Z --hours 24 --report night.png > night.txt 2> night.err)
grep -q '^Plans run: [1-9]' "$folder/night.txt" || { echo "package: the dry night ran no plan" >&2; cat "$folder/night.err" >&2; exit 1; }
test -s "$folder/observatory/Logs/Nightpick.log"
head -c 8 "$folder/night.png" | od -An -c | grep -q 'P   N   G' || { echo "package: no picture from the unpacked folder" >&2; exit 1; }
cmp -s "$folder/targets.txt" "$folder/targets-sample.txt" && { echo "package: the night lowered no count" >&2; exit 1; }
echo "package: dry night: $(grep '^Plans run:' "$folder/night.txt")"

# The same night's report rebuilt from its run log, as an operator does the morning after.
(cd "$folder" && ./nightpick-sim --report-from-log observatory/Logs/Nightpick.log --program-dir . \
  --report fromlog.png > fromlog.txt 2> fromlog.err)
want=$(grep '^Plans run:' "$folder/night.txt")
got=$(grep '^Plans run:' "$folder/fromlog.txt" || true)
[ "$got" = "$want" ] || { echo "package: the report from the log says '$got', the run '$want'" >&2; cat "$folder/fromlog.err" >&2; exit 1; }
head -c 8 "$folder/fromlog.png" | od -An -c | grep -q 'P   N   G' || { echo "package: no picture from the run log" >&2; exit 1; }
echo "package: report from the log: $got"

# nightpick-headless in the same folder, as its service runs it: it starts the run at once
# and ends it on SIGTERM with status 0, having saved config.ini.
rm -f "$folder/config.ini"
(cd "$folder" && exec ./nightpick-headless --program-dir "$folder" > headless.txt 2> headless.err) &
headless=$!
for _ in $(seq 100); do [ -s "$folder/headless.txt" ] && break; sleep 0.1; done
kill -TERM "$headless"
status=0
wait "$headless" || status=$?
[ "$status" = 0 ] && [ -s "$folder/config.ini" ] && grep -q ' Nightpick stopped$' "$folder/headless.txt" \
  || { echo "package: nightpick-headless ended with status $status" >&2; cat "$folder/headless.txt" "$folder/headless.err" >&2; exit 1; }
echo "package: nightpick-headless: $(head -1 "$folder/headless.txt")"

# Its service unit, with the unpacked folder in place of /opt/nightpick.
if command -v systemd-analyze >/dev/null; then
  sed "s#/opt/nightpick#$folder#g" "$folder/nightpick-headless.service" > "$dir/nightpick-headless.service"
  out=$(systemd-analyze verify "$dir/nightpick-headless.service" 2>&1) && [ -z "$out" ] \
    || { echo "package: nightpick-headless.service: $out" >&2; exit 1; }
  echo "package: nightpick-headless.service verifies for $folder"
fi

# The desktop entry for that folder, in a home of its own.
XDG_DATA_HOME="$dir/share" "$folder/install-desktop-entry.sh" >/dev/null
entry="$dir/share/applications/nightpick.desktop"
grep -qx "Exec=\"$folder/nightpick\"" "$entry"
grep -qx "Icon=$folder/nightpick.svg" "$entry"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$entry"; fi
XDG_DATA_HOME="$dir/share" "$folder/install-desktop-entry.sh" --remove >/dev/null
test ! -e "$entry"

# The manual page reads without warnings.
if command -v man >/dev/null; then
  warnings=$(MANWIDTH=80 man --warnings -l "$folder/nightpick-sim.1" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || { echo "package: nightpick-sim.1: $warnings" >&2; exit 1; }
fi
echo "package: ok"
