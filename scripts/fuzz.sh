#!/bin/bash
# Builds the project file fuzzer with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it for a bounded time from the seed
# corpus in fuzz/corpus/project_file, which the unit tests also load.
#   scripts/fuzz.sh [SECONDS]      default 60, or $FUZZ_SECONDS
# New inputs the fuzzer finds go to a scratch corpus in the build folder; the
# seed corpus is never changed. A crash, leak or hang fails the script and
# leaves the input in the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-${FUZZ_SECONDS:-60}}
build=${FUZZ_BUILD_DIR:-build/fuzz}
bash scripts/setup.sh

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAGORIC_FUZZ=ON \
  -DPAGORIC_SANITIZE=ON -DPAGORIC_TESTS=OFF -DPAGORIC_BENCH=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzz_project_file

work="$build/corpus/project_file"
mkdir -p "$work"
cd "$build"
echo "Fuzzing the project file reader for ${seconds} s"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ./fuzz/fuzz_project_file -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -max_len=8192 -print_final_stats=1 "corpus/project_file" "$root/fuzz/corpus/project_file"
