#!/bin/bash
# One run of the figures the README's Performance section shows: the build
# benchmark (Build All of the large site against its write floor, peak
# memory, the formatter's rate and the other rows) and the firmware compile
# of a 10 MB binary in both data forms, from one Release build.
# Usage: bench/report.sh [BUILD-DIR] (default build/bench, made if missing)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/bench}
if [[ ! -x $build/bench/bench_build || ! -x $build/src/pagoric ]]; then
  cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPAGORIC_TESTS=OFF \
    -DPAGORIC_GUI=OFF > /dev/null
  cmake --build "$build" --target bench_build pagoric -j "$(nproc)" > /dev/null
fi
"$build/bench/bench_build"
echo
bash "$here/bench/data_forms.sh" "$build/src/pagoric" 10
