#!/usr/bin/env bash
# The windowed program on a real X server (Xvfb) against an INDI server with Debian's
# simulators, as an operator uses it: Start, a plan runs and writes FITS images, then the
# window is closed while the plan still runs. Closing must abort the acquisition in the
# program (nothing else would finish it), park the mount and close the dome before the
# program ends, and save config.ini.
# Usage: windowed-over-indi.sh NIGHTPICK_EXE [SCREENSHOT.png]
set -euo pipefail
exe="$(readlink -f "$1")"
shot="${2:-}"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
server_pid=""
cleanup() {
  if [[ -n "$server_pid" ]]; then kill -- "-$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "windowed-over-indi: $*" >&2; for f in "$work"/*.txt "$work"/prog/observatory/Logs/*.log; do [[ -f "$f" ]] && { echo "--- $f" >&2; tail -n 40 "$f" >&2; }; done; exit 1; }

# The INDI server on a free loopback port, with a HOME of its own, in a process group of its own.
port=""
for _ in $(seq 50); do
  candidate=$(shuf -i 20000-60000 -n 1)
  if ! (echo >"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then port=$candidate; break; fi
done
[[ -n "$port" ]] || fail "no free port"
mkdir -p "$work/home"
HOME="$work/home" setsid indiserver -r 0 -p "$port" -u "$work/indi.sock" indi_simulator_telescope indi_simulator_ccd \
  indi_simulator_wheel indi_simulator_dome indi_simulator_weather >"$work/indiserver.txt" 2>&1 &
server_pid=$!
timeout 20 bash -c "until (echo >/dev/tcp/127.0.0.1/$port) 2>/dev/null; do sleep 0.2; done" || fail "indiserver did not start"

# A program folder beside a copy of the program, for a site where it is night now and a
# target near the meridian there.
mkdir -p "$work/prog/observatory"
cp "$exe" "$work/prog/nightpick"
read -r longitude ra <<<"$(awk -v now="$(date -u +%s)" 'BEGIN {
  utc = (now % 86400) / 3600.0
  lon = -utc * 15.0; while (lon <= -180) lon += 360; while (lon > 180) lon -= 360
  d = now / 86400.0 + 2440587.5 - 2451545.0
  lst = 18.697374558 + 24.06570982441908 * d + lon / 15.0
  lst = lst - 24 * int(lst / 24); if (lst < 0) lst += 24
  ra = lst + 0.3; if (ra >= 24) ra -= 24
  printf "%.4f %.5f\n", lon, ra }')"
h=$(awk -v r="$ra" 'BEGIN { printf "%02d:%02d:%02d", int(r), int((r - int(r)) * 60), int(((r - int(r)) * 60 - int((r - int(r)) * 60)) * 60) }')
printf '#COUNT 500\r\n#INTERVAL 1\r\n#FILTER Luminance\r\nField A\t%s\t+10:00:00\r\n**** remaining=3\r\n' "$h" >"$work/prog/targets.txt"
cat >"$work/prog/observatory/observatory.ini" <<INI
[host]
kind = indi
[indi]
server = 127.0.0.1:$port
mount = Telescope Simulator
camera = CCD Simulator
filter_wheel = Filter Simulator
dome = Dome Simulator
weather = Weather Simulator
[site]
latitude = 30
longitude = $longitude
INI

cat >"$work/capture.sh" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
work="$1"; shot="$2"; here="$3"
log="$work/prog/observatory/Logs/AcquireImages.log"
"$work/prog/nightpick" >"$work/stdout.txt" 2>"$work/stderr.txt" &
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
for _ in $(seq 900); do
  [[ -f "$log" ]] && [[ $(grep -c $'\tEXPOSURE\t' "$log" || true) -ge 3 ]] && break
  kill -0 "$pid" 2>/dev/null || { echo "the program ended during the night" >&2; exit 1; }
  sleep 0.2
done
[[ $(grep -c $'\tEXPOSURE\t' "$log" || true) -ge 3 ]] || { echo "no images within 180 s" >&2; exit 1; }
if [[ -n "$shot" ]]; then
  xwd -silent -id "$id" | xwdtopnm 2>/dev/null | pnmtopng >"$shot"
fi
# Close the window as its close button does, while the plan still runs.
python3 "$here/close-window.py" "$id"
# The park and the dome's close take their time before the program ends.
for _ in $(seq 3000); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then echo "the program did not end within 300 s of the close" >&2; exit 1; fi
trap - EXIT
wait "$pid"
INNER
chmod +x "$work/capture.sh"
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$work/capture.sh" "$work" "$shot" "$here" || fail "the windowed run failed"

log="$work/prog/observatory/Logs/AcquireImages.log"
last_end="$(grep $'\tEND\t' "$log" | tail -n 1 | cut -f3 | tr -d '\r')"
[[ "$last_end" == "aborted" ]] || fail "the acquisition under way was not aborted at the close (last END: '$last_end')"
images=$(ls "$work/prog/observatory/Images/"*_Field_A_Luminance_*.fits 2>/dev/null | wc -l)
exposures=$(grep -c $'\tEXPOSURE\t' "$log")
[[ "$images" -eq "$exposures" && "$images" -ge 3 ]] || fail "$exposures EXPOSURE lines but $images FITS files"
grep -q 'remaining=2' "$work/prog/targets.txt" || fail "the list does not show the plan's count"
[[ -f "$work/prog/config.ini" ]] || fail "config.ini was not saved at the close"
# Left safe, as the devices themselves report it.
prop() { HOME="$work/home" indi_getprop -h 127.0.0.1 -p "$port" -t 3 "$1" 2>/dev/null | sed 's/^[^=]*=//'; }
[[ "$(prop 'Telescope Simulator.TELESCOPE_PARK.PARK')" == "On" ]] || fail "the mount was left unparked at the close"
[[ "$(prop 'Dome Simulator.DOME_SHUTTER.SHUTTER_CLOSE')" == "On" ]] || fail "the dome was left open at the close"
grep -q 'Dome closed: Dome Simulator' "$work/prog/observatory/Logs/Nightpick.log" || fail "the run log does not say the dome was closed"
echo "windowed-over-indi: $images images, the acquisition aborted, the mount parked and the dome closed at the close"
