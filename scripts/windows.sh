#!/usr/bin/env bash
# The Windows builds: installs what is missing (mingw-w64, Wine with its 32-bit half,
# GoogleTest's source, ERFA's source from Debian), cross-builds the core, the tests and
# nightpick.exe for 64-bit Windows, runs its tests under Wine and makes the release zip in
# build/win64/; then the same for 32-bit Windows in build/win32/, whose automation tests
# (the client, the sample night through it, nightpick.exe as a user runs it) run under
# 32-bit Wine where this machine's kernel runs 32-bit programs.
set -euo pipefail
cd "$(dirname "$0")/.."
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

PKGS=(cmake ninja-build g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
      g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
      mingw-w64-tools wine wine64 googletest dpkg-dev zip xvfb xauth imagemagick)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "windows: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# Wine's 32-bit half, for the 32-bit build's tests: Debian's i386 packages. Without it the
# 64-bit tests and both zips are made all the same, and the 32-bit tests say why they do
# not run.
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  echo "windows: installing wine32:i386" >&2
  export DEBIAN_FRONTEND=noninteractive
  if ! { dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386; } ||
     ! $SUDO apt-get update -qq ||
     ! $SUDO apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null; then
    echo "windows: wine32:i386 could not be installed" >&2
  fi
fi

# ERFA for Windows is built from the source of Debian's own package.
if [ ! -f build/erfa-src/src/erfa.h ]; then
  if ! apt-get source --print-uris erfa >/dev/null 2>&1; then
    echo "windows: adding Debian's source index" >&2
    printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm' \
      'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
      $SUDO tee /etc/apt/sources.list.d/nightpick-src.sources >/dev/null
    $SUDO apt-get update -qq
  fi
  tmp=$(mktemp -d)
  (cd "$tmp" && apt-get source -qq --download-only erfa >/dev/null 2>&1)
  mkdir -p build
  rm -rf build/erfa-src
  mkdir build/erfa-src
  tar -xzf "$tmp"/erfa_*.orig.tar.gz -C build/erfa-src --strip-components=1
  rm -rf "$tmp"
fi

cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$(nproc)"

export WINEDEBUG=-all
# A Wine prefix of the build's own, so the tests never meet another user's Wine.
export WINEPREFIX="$PWD/build/wine"
# Everything Wine starts runs on one virtual X server (Xvfb): the windows' tests draw on it,
# and so does every process Wine's services start later, such as the stand-in's local server
# that COM launches for nightpick.exe (a service started without a display cannot make the
# stand-in's windows). The first start makes the prefix, and Wine may restart its server
# while it does; only then is a server started that stays up for the whole test run. A test
# that fails is run once more: Wine's server has been seen to drop a client in mid-test
# ("wine client error: recvmsg"); a fault of the program fails both times.
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  wine cmd /c exit >/dev/null 2>&1 || true
  wineserver -w || true
  wineserver -p 2>/dev/null || true  # one already up is fine
  wine cmd /c exit >/dev/null 2>&1 || true
  result=0
  ctest --preset win64 --timeout 300 --repeat until-pass:2 || result=$?
  wineserver -k || true
  exit $result' || status=$?
# The release archive: build/win64/nightpick-<version>-win64.zip.
(cd build/win64 && cpack -G ZIP >/dev/null) && ls build/win64/nightpick-*-win64.zip

# The 32-bit build beside it, for a host that serves its objects in process (only a 32-bit
# program can load them): the same sources with mingw-w64's i686 compilers (floating point in
# SSE2, as on x86-64), its own zip. Its automation tests run under 32-bit Wine, in a 32-bit
# prefix of their own, where this machine's kernel runs 32-bit programs; machines of this
# kind differ in that, and where it cannot the script says so and builds the zip alone.
cmake --preset win32 >/dev/null
status32=0
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  cmake --build --preset win32 -j "$(nproc)" --target nightpick observatory-standin test_com
  export WINEPREFIX="$PWD/build/wine32"
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    WINEARCH=win32 wine cmd /c exit >/dev/null 2>&1 || true
    wineserver -w || true
    wineserver -p 2>/dev/null || true
    wine cmd /c exit >/dev/null 2>&1 || true
    result=0
    echo "windows: the 32-bit tests under 32-bit Wine ($(/usr/lib/wine/wine --version))"
    ctest --preset win32 -L com --timeout 300 --repeat until-pass:2 || result=$?
    wineserver -k || true
    exit $result' || status32=$?
else
  echo "windows: the 32-bit tests do not run here: this machine cannot run 32-bit Wine ($(/usr/lib/wine/wine --version 2>&1 | head -n 1))"
  cmake --build --preset win32 -j "$(nproc)" --target nightpick
fi
(cd build/win32 && cpack -G ZIP >/dev/null) && ls build/win32/nightpick-*-win32.zip
if ((status != 0)); then exit $status; fi
exit $status32
