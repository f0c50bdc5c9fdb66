#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the release build's unit, GUI and
# end-to-end tests, then the same tests built with AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh release
ctest --preset release
scripts/build.sh sanitize
ctest --preset sanitize
