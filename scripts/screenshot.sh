#!/usr/bin/env bash
# Pictures of the main window and the preferences dialog, taken from the built program
# running on a virtual X server in a fresh program folder:
#   docs/main-window.png and docs/preferences.png
# Usage: scripts/screenshot.sh [path/to/nightpick]   (default: build/release/bin/nightpick)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
exe="${1:-build/release/bin/nightpick}"
[[ -x "$exe" ]] || { echo "screenshot: no program at $exe (build it first)" >&2; exit 1; }
exe="$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")"

# The virtual X server and the tools that find, capture and convert the windows.
need=()
command -v xvfb-run >/dev/null || need+=(xvfb xauth)
command -v xdotool >/dev/null || need+=(xdotool)
command -v xwd >/dev/null || need+=(x11-apps)
command -v xwdtopnm >/dev/null && command -v pnmtopng >/dev/null || need+=(netpbm)
if ((${#need[@]})); then
  echo "screenshot: installing ${need[*]}" >&2
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$exe" "$work/nightpick"
mkdir -p "$repo/docs"

# Runs on the virtual display: start the program, capture its window, press Preferences,
# capture the dialog, end the program.
cat >"$work/capture.sh" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
work="$1"; out="$2"
"$work/nightpick" >"$work/stdout.txt" 2>"$work/stderr.txt" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

find_window() {  # title; prints the first window id once it is mapped
  local id
  for _ in $(seq 100); do
    id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true)"
    if [[ -n "$id" ]]; then echo "$id"; return 0; fi
    kill -0 "$pid" 2>/dev/null || { echo "screenshot: the program ended early" >&2; cat "$work/stderr.txt" >&2; return 1; }
    sleep 0.1
  done
  echo "screenshot: no window titled '$1'" >&2
  return 1
}
capture() {  # window id, file
  xwd -silent -id "$1" | xwdtopnm 2>/dev/null | pnmtopng >"$2"
}

main="$(find_window Nightpick)"
sleep 1
capture "$main" "$out/main-window.png"

# The Preferences button: 240 x 1920 twips from the corner, 1215 x 495 large (96 dpi).
xdotool mousemove --window "$main" 56 144 click 1
dialog="$(find_window Preferences)"
sleep 1
capture "$dialog" "$out/preferences.png"
INNER
chmod +x "$work/capture.sh"

xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$work/capture.sh" "$work" "$repo/docs"
echo "screenshot: wrote docs/main-window.png and docs/preferences.png"
