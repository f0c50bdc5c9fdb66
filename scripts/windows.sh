#!/usr/bin/env bash
# The Windows build: installs what is missing (mingw-w64, Wine, GoogleTest's source,
# ERFA's source from Debian), cross-builds the core, the tests and nightpick.exe, runs the
# Windows tests under Wine and makes the release zip in build/win64/.
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
# program can load them): the same sources with mingw-w64's i686 compilers, its own zip.
# Its tests do not run here: this machine's kernel runs no 32-bit x86 program, so 32-bit
# Wine cannot start (the 64-bit build's tests above cover the same code).
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$(nproc)" --target nightpick
(cd build/win32 && cpack -G ZIP >/dev/null) && ls build/win32/nightpick-*-win32.zip
exit $status
