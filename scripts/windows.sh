#!/bin/bash
# Pagoric for Windows, proven from Linux: cross-compiles the core, the command
# line and the unit tests with mingw-w64, runs the unit tests under wine, builds
# the demo project with pagoric.exe under wine and compares its generated files
# with those of the Linux build (equal once the paths in comments are made
# alike). The desktop program is not built: Debian has no Qt for mingw.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
jobs=2

packages=(cmake ninja-build ccache g++ g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
          googletest wine wine64)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

export CCACHE_DIR="${CCACHE_DIR:-$HOME/.ccache}"
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}"
wine=/usr/lib/wine/wine64
[[ -x $wine ]] || wine=$(command -v wine64 || command -v wine)
launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
toolchain="$root/cmake/mingw-w64.cmake"

echo "== GoogleTest for mingw-w64 (from /usr/src/googletest)"
gtest="$root/build/windows-gtest"
if [[ ! -f $gtest/install/lib/cmake/GTest/GTestConfig.cmake ]]; then
  cmake -S /usr/src/googletest -B "$gtest/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$gtest/install" \
    "${launcher[@]}" >/dev/null
  cmake --build "$gtest/build" -j "$jobs" --target install >/dev/null
fi

echo "== Cross-compiling pagoric.exe and the unit tests"
win="$root/build/windows"
cmake -S . -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DPAGORIC_WERROR=ON -DPAGORIC_TESTS=ON -DPAGORIC_GUI=OFF -DPAGORIC_BENCH=OFF \
  -DGTest_DIR="$gtest/install/lib/cmake/GTest" "${launcher[@]}" >/dev/null
cmake --build "$win" -j "$jobs"

echo "== Unit tests under wine"
"$wine" cmd /c exit 0 >/dev/null 2>&1 || true  # the first start makes the wine prefix
skipped=0
for test in "$win"/src/*_tests.exe; do
  log="$win/$(basename "$test" .exe).log"
  # (The C runtime's text mode ends the lines in CR LF.)
  if ! (cd "$win/src" && "$wine" "$test" --gtest_brief=1 2>&1 | tr -d '\r' >"$log"); then
    cat "$log"
    echo "FAILED: $(basename "$test") under wine"
    exit 1
  fi
  # A skipped test says so with its reason on the next line.
  n=$(grep -c ': Skipped$' "$log" || true)
  skipped=$((skipped + n))
  echo "$(basename "$test"): $(grep -E '^\[  PASSED  \]' "$log" | sed 's/^\[  PASSED  \] //') $n skipped"
  grep -A1 ': Skipped$' "$log" | grep -v ': Skipped$' | grep -v '^--$' | sort | uniq -c || true
done
echo "Skipped under wine: $skipped (reasons above)"

echo "== The demo project: Linux build and Windows build"
linux="$root/build/windows-linux-ref"
cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPAGORIC_TESTS=OFF \
  -DPAGORIC_BENCH=OFF -DPAGORIC_GUI=OFF "${launcher[@]}" >/dev/null
cmake --build "$linux" -j "$jobs" --target pagoric >/dev/null
work=$(mktemp -d /tmp/pagoric-windows-XXXXXX)
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=1700000000
demo() {  # demo NAME PAGORIC...: the demo site imported and built into $work/NAME
  local name=$1
  shift
  mkdir -p "$work/$name"
  "$@" new "$work/$name/demo.web" --target "$work/$name/generated" --force >/dev/null
  "$@" import "$work/$name/demo.web" "$root/demo/site" >/dev/null
  "$@" build "$work/$name/demo.web" --all --yes >"$work/$name/build.log"
}
demo linux "$linux/src/pagoric"
demo windows "$wine" "$win/src/pagoric.exe"
cat "$work/windows/build.log"
# The paths in comments and markers differ: Z:\work\... under wine, /work/...
# on Linux. Lines that hold a drive letter's path are written with slashes and
# both work folders are named alike before the comparison.
normalise() {
  sed -e '/[A-Za-z]:\\/{s|[A-Za-z]:\\|/|g;s|\\|/|g}' -e "s|$work/[a-z]*/|WORK/|g" \
    -e "s|$root/|ROOT/|g" "$1"
}
status=0
for file in "$work"/linux/generated/*; do
  name=$(basename "$file")
  if ! cmp -s <(normalise "$file") <(normalise "$work/windows/generated/$name"); then
    echo "DIFFERENT: $name"
    diff <(normalise "$file") <(normalise "$work/windows/generated/$name") | head -20 || true
    status=1
  fi
done
if [[ $(ls "$work/linux/generated") != $(ls "$work/windows/generated") ]]; then
  echo "DIFFERENT file lists"
  status=1
fi
((status == 0)) || exit 1
echo "The demo's generated files are the same on Windows and Linux ($(ls "$work/linux/generated" | wc -l) files)."
