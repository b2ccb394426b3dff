#!/bin/bash
# Installs what building and testing Pagoric needs on Debian 12 (run as root).
set -euo pipefail
packages=(cmake make g++ gcc clang libgtest-dev libgmock-dev xxd)
# The C23 compile tests: clang -std=c2x reads "()" as "(void)".
packages+=(clang-16)
# Clang's sanitizer and libFuzzer runtimes (only recommended by clang).
packages+=(libclang-rt-14-dev)
# The desktop program: Qt 6 Widgets (its tests run on the offscreen platform).
packages+=(qt6-base-dev)
# The end-to-end tests: the firmware's cross compiler with the C library its
# <string.h> comes from, and the browser that shows `pagoric preview`.
packages+=(gcc-arm-none-eabi libnewlib-arm-none-eabi chromium)
# A firmware's CMake build with pagoric_add_web (tests/e2e), and the Debian
# package: ninja, and dpkg-shlibdeps for the package's dependencies.
packages+=(ninja-build dpkg-dev)
# The server library on lwIP, proven on the host with Debian's lwIP.
packages+=(liblwip-dev)
# The package check: lintian, and man for the manual pages' warnings.
packages+=(lintian man-db)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
