#!/usr/bin/env bash
# Builds a preset (default: release) after installing what is missing; further arguments
# name the targets to build (default: all of them).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
shift || true
scripts/setup.sh
cmake --preset "$preset" >/dev/null
if (($#)); then
  cmake --build --preset "$preset" -j "$(nproc)" --target "$@"
else
  cmake --build --preset "$preset" -j "$(nproc)"
fi
