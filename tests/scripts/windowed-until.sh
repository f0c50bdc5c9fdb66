#!/usr/bin/env bash
# The windowed program on a real X server (Xvfb) as an operator uses it: Start, then, once
# TEXT shows in LOG, the window's close (as its close button does), and the program's end.
# Every wait is bounded; the program's output goes beside it (PROGRAM.stdout.txt, .stderr.txt).
# Usage: windowed-until.sh PROGRAM LOG TEXT   (PROGRAM: the copy of nightpick in its folder)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
if [[ "${1:-}" != --inner ]]; then
  exec timeout 300 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash "$0" --inner "$@"
fi
exe="$2"; log="$3"; text="$4"
"$exe" >"$exe.stdout.txt" 2>"$exe.stderr.txt" &
pid=$!
trap 'kill -9 "$pid" 2>/dev/null || true' EXIT
id=""
for _ in $(seq 300); do
  id="$(xdotool search --onlyvisible --name '^Nightpick$' 2>/dev/null | head -n1 || true)"
  [[ -n "$id" ]] && break
  kill -0 "$pid" 2>/dev/null || { echo "the program ended before its window showed" >&2; exit 1; }
  sleep 0.1
done
[[ -n "$id" ]] || { echo "no window" >&2; exit 1; }
sleep 1
# The Start button: 360 x 360 twips from the corner (96 dpi: 24 x 24 pixels), 2055 x 1095 large.
xdotool mousemove --window "$id" 90 60 click 1
for _ in $(seq 1200); do
  [[ -f "$log" ]] && grep -qF -- "$text" "$log" && break
  kill -0 "$pid" 2>/dev/null || { echo "the program ended during the run" >&2; exit 1; }
  sleep 0.1
done
grep -qF -- "$text" "$log" 2>/dev/null || { echo "'$text' not in $log within 120 s" >&2; exit 1; }
python3 "$here/close-window.py" "$id"
for _ in $(seq 600); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then echo "the program did not end within 60 s of the close" >&2; exit 1; fi
trap - EXIT
wait "$pid"
