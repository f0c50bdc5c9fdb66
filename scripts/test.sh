#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the release build's unit, GUI and
# end-to-end tests, then the same tests built with AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh release
ctest --preset release
scripts/build.sh sanitize
# A test that fails is run once more: LeakSanitizer's own tracer has been seen to crash
# ("Tracer caught signal 11") while a program's threads end at its exit, failing a test
# that then passes; a leak or another fault of the program fails both times.
ctest --preset sanitize --repeat until-pass:2
