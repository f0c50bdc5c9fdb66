#!/usr/bin/env bash
# The idle cost of the Windows responsive wait under Wine: wait-idle-cpu.exe measures its
# own processor time (GetProcessTimes) over one long wait and over as many one-second
# pauses; the Linux side adds what the Wine processes used meanwhile (the program's
# process and wineserver, from /proc), since Wine does part of every wait in its server.
#   scripts/win32-idle-cpu.sh [seconds]     (default 20; build/win64 must be built)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
exe=build/win64/tests/wait-idle-cpu.exe
export WINEDEBUG=-all
wineserver -p 2>/dev/null || true  # already up is fine
wine cmd /c exit >/dev/null 2>&1 || true
ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
server=$(pgrep -n wineserver || true)
s0=$( [ -n "$server" ] && ticks "$server" || echo 0 )
out=$(mktemp)
xvfb-run -a -s "-screen 0 1280x1024x24" /usr/bin/time -f "linux: wine process %U s user %S s system, %e s wall" \
  wine "$exe" "$seconds" 2>&1 | tee "$out"
s1=$( [ -n "$server" ] && ticks "$server" || echo 0 )
hz=$(getconf CLK_TCK)
echo "linux: wineserver $(awk -v a="$s0" -v b="$s1" -v hz="$hz" 'BEGIN{printf "%.2f", (b-a)/hz}') s over the run"
rm -f "$out"
