#!/bin/bash
# Builds the fuzzers with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time from its seed
# corpus, which the unit tests also load: the project file reader
# (fuzz/corpus/project_file), then the readers and editors of the URL file and
# the binary data file (fuzz/corpus/generated_files).
#   scripts/fuzz.sh [SECONDS]      each fuzzer's time, default 60, or $FUZZ_SECONDS
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
cmake --build "$build" -j "$(nproc)" --target fuzz_project_file fuzz_generated_files

cd "$build"
# run NAME WHAT MAX_LEN: one fuzzer from its seed corpus and its scratch corpus.
run() {
  mkdir -p "corpus/$1"
  echo "Fuzzing $2 for ${seconds} s"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "./fuzz/fuzz_$1" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len="$3" -print_final_stats=1 "corpus/$1" "$root/fuzz/corpus/$1"
}
run project_file "the project file reader" 8192
run generated_files "the URL file and binary data file readers" 16384
