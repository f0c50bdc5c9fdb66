#!/usr/bin/env bash
# scripts/run.sh builds the target "programs": everything the windowed program and the
# runner need, and none of the tests or benchmarks (a first run on a fresh machine would
# otherwise wait minutes for them).
set -euo pipefail
source_dir="$1" build_dir="$2"
grep -qE '^scripts/build\.sh release programs( |$)' "$source_dir/scripts/run.sh" \
  || { echo "scripts/run.sh does not build the target programs"; exit 1; }
inputs="$(ninja -C "$build_dir" -t inputs programs)"
for needed in app/qt/Module1.cpp app/runner/RunnerMain.cpp app/runner/ServiceMain.cpp report/qt/ReportModule.cpp; do
  grep -qF "$source_dir/$needed" <<<"$inputs" || { echo "programs does not build $needed"; exit 1; }
done
if extra="$(grep -E "^$source_dir/(tests|bench)/" <<<"$inputs")"; then
  echo "programs builds what only the tests or benchmarks need:"
  echo "$extra"
  exit 1
fi
echo "programs: $(wc -l <<<"$inputs") inputs, no test or benchmark among them"
