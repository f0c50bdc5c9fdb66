#!/usr/bin/env bash
# Installs what the build, the tests and the windowed run need, when it is missing.
set -euo pipefail
PKGS=(build-essential cmake ninja-build pkg-config python3
      python3-ephem  # the Moon's reference values (tests/selection/moon_reference.py)
      indi-bin libindi-dev libcfitsio-dev
      libpqxx-dev postgresql  # the fleet's list; its tests start a PostgreSQL server of their own
      qt6-base-dev qt6-base-dev-tools libgl-dev
      liberfa-dev libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
      xvfb xauth x11-utils xdotool locales time bc
      desktop-file-utils man-db
      libcpp-httplib-dev  # the status page's server
      mosquitto mosquitto-clients chromium  # the tests' notifier and browser
      systemd)  # systemd-analyze checks nightpick-headless's service unit
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# A decimal-comma locale: the GUI test gui.tst_locale runs the program in it.
if ! locale -a 2>/dev/null | grep -qixE 'de_DE\.utf-?8'; then
  echo "setup: generating the locale de_DE.UTF-8" >&2
  $SUDO localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
fi
