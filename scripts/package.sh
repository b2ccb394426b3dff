#!/bin/bash
# The build a user or a distribution makes: a plain Release build of everything
# (tests included, warnings not errors), its tests, the Debian package, and the
# package installed into a scratch root, whose pagoric then shows its version
# and builds the demo project.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
jobs=$(nproc)
build="$root/build/package"

# Benchmarks are left out: they are not installed and no test runs them.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPAGORIC_BENCH=OFF
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" --output-on-failure -j "$jobs"

rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/*.deb)
echo "== Package $deb"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

# Installed into a scratch root, not into the system.
scratch=$(mktemp -d /tmp/pagoric-package-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
dpkg -x "$deb" "$scratch/root"
pagoric="$scratch/root/usr/bin/pagoric"
version=$("$pagoric" --version)
echo "== Installed: $version"
expected=$(sed -n 's/^project(Pagoric VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[[ "$version" == "pagoric $expected" ]] || { echo "expected pagoric $expected"; exit 1; }

work="$scratch/demo"
mkdir -p "$work"
"$pagoric" new "$work/demo.web" --target "$work/generated" --force
"$pagoric" import "$work/demo.web" "$root/demo/site"
"$pagoric" build "$work/demo.web" --all --yes
"$pagoric" build "$work/demo.web" --check
"$pagoric" size "$work/demo.web"
# The generated files compile with the installed host web server.
hostserver="$scratch/root/usr/share/pagoric/hostserver"
cc -std=c99 -I"$hostserver" -I"$work/generated" "$hostserver/hserver.c" \
  "$work/generated/url.c" "$work/generated/bindata.c" \
  -include "$hostserver/hservapi.h" $(ls "$work"/generated/_*.c) -o "$work/firmware"
echo "== The installed pagoric built the demo"

# find_package(Pagoric) from the installed package, in a firmware's CMake build.
mkdir -p "$scratch/firmware"
cat > "$scratch/firmware/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.20)
project(firmware C)
find_package(Pagoric REQUIRED)
add_executable(firmware $hostserver/hserver.c)
target_include_directories(firmware PRIVATE $hostserver)
pagoric_add_web(firmware PROJECT $work/demo.web)
CMAKE
web_before=$(sha256sum < "$work/demo.web")
cmake -S "$scratch/firmware" -B "$scratch/firmware/build" -DCMAKE_PREFIX_PATH="$scratch/root/usr"
cmake --build "$scratch/firmware/build"
# clean keeps the generated files (they hold stub code), and the firmware
# builds again; no build wrote the project file.
cmake --build "$scratch/firmware/build" --target clean
for f in "$work"/generated/*.c; do test -s "$f" || { echo "clean removed $f"; exit 1; }; done
cmake --build "$scratch/firmware/build"
test "$(sha256sum < "$work/demo.web")" = "$web_before" || { echo "the build wrote demo.web"; exit 1; }
echo "== find_package(Pagoric) and pagoric_add_web built the demo firmware (clean kept the generated files)"
