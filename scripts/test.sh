#!/bin/bash
# Sets up the machine, then builds and runs every test twice: a plain GCC build
# and a Clang build under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)

cmake -S . -B build/gcc -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAGORIC_WERROR=ON \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
cmake --build build/gcc -j "$jobs"
ctest --test-dir build/gcc --output-on-failure -j "$jobs"

cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DPAGORIC_SANITIZE=ON -DPAGORIC_BENCH=OFF \
  -DPAGORIC_WERROR=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs"
echo "All tests passed."
