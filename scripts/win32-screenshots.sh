#!/usr/bin/env bash
# Screenshots of the Windows main window and preferences dialog under Wine: the main
# window over the test world (nightpick-testworld.exe) in a Wine virtual desktop on Xvfb,
# the screen taken with ImageMagick's import and cut to each window's rectangle, which
# the program writes. build/win64 must be built.
#   scripts/win32-screenshots.sh [output folder]     (default docs/)
set -euo pipefail
cd "$(dirname "$0")/.."
outdir=${1:-docs}
exe=build/win64/tests/nightpick-testworld.exe
export WINEDEBUG=-all
wineserver -p 2>/dev/null || true  # already up is fine
wine cmd /c exit >/dev/null 2>&1 || true
tmp=$(mktemp -d)

# shot NAME ARGS...: shows the program with ARGS, takes the screen, cuts out window NAME.
shot() {
  local name=$1
  shift
  rm -f "$tmp/rects.txt"
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "
    wine explorer /desktop=Nightpick,800x600 '$exe' --rects 'Z:${tmp//\//\\}\\rects.txt' --close-after 30 $* &
    for i in \$(seq 1 60); do
      grep -q '^$name ' '$tmp/rects.txt' 2>/dev/null && break
      sleep 0.5
    done
    sleep 2
    import -window root '$tmp/screen-$name.png'
    wineserver -k || true
  " >/dev/null 2>&1 || true
  read -r _ l t r b < <(tr -d "\r" < "$tmp/rects.txt" | grep "^$name ")
  /usr/bin/convert "$tmp/screen-$name.png" -crop "$((r - l))x$((b - t))+$l+$t" +repage "$outdir/win32-$name.png"
  echo "$outdir/win32-$name.png: $((r - l))x$((b - t)) at $l,$t"
}

shot main-window
shot prefs-dialog --prefs
rm -rf "$tmp"
