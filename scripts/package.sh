#!/bin/bash
# The build a user or a distribution makes: a plain Release build of everything
# (tests included, warnings not errors) with Debian's hardening flags, its
# tests, the two Debian packages checked by lintian, and the command-line
# package alone installed into a scratch root, where it must pull in no Qt
# library, whose pagoric then shows its version and builds the demo project.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
jobs=$(nproc)
build="$root/build/package"

# Benchmarks are left out: they are not installed and no test runs them. The
# compiler and linker flags are those a Debian package is built with
# (hardening), for this build only: the firmware builds of the tests keep
# their own.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPAGORIC_BENCH=OFF \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" --output-on-failure -j "$jobs"

rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB)
expected=$(sed -n 's/^project(Pagoric VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
# The changelog's newest release is the one being packaged.
newest=$(sed -n 's/^## \([0-9.]*\) - .*/\1/p' "$root/CHANGELOG.md" | head -1)
[[ "$newest" == "$expected" ]] ||
  { echo "CHANGELOG.md starts with $newest, the project is $expected"; exit 1; }
deb="$build/pagoric_${expected}_$(dpkg --print-architecture).deb"
gui_deb="$build/pagoric-gui_${expected}_$(dpkg --print-architecture).deb"
for package in "$deb" "$gui_deb"; do
  echo "== Package $package"
  dpkg-deb --info "$package"
  dpkg-deb --contents "$package"
done

# lintian: no error and no warning. What it still notes is informational: the
# host web server's README lies beside its sources, and CPack's strip leaves
# the compiler's .comment section in the programs.
echo "== lintian"
lintian --fail-on error,warning --display-info "$deb" "$gui_deb"

# The command-line package needs no Qt: not in its dependencies, not linked.
if dpkg-deb --field "$deb" Depends | grep -qi 'qt'; then
  echo "pagoric depends on Qt: $(dpkg-deb --field "$deb" Depends)"
  exit 1
fi
[[ "$(dpkg-deb --field "$gui_deb" Depends)" == "pagoric (= $expected), "* ]] ||
  { echo "pagoric-gui must depend on pagoric (= $expected) first"; exit 1; }

# Installed into a scratch root, not into the system: pagoric alone.
scratch=$(mktemp -d /tmp/pagoric-package-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
dpkg -x "$deb" "$scratch/root"
pagoric="$scratch/root/usr/bin/pagoric"
if ldd "$pagoric" | grep -i 'libqt'; then
  echo "the installed pagoric links Qt"
  exit 1
fi
# dpkg-shlibdeps reads the package names from a debian/control of its own.
mkdir -p "$scratch/shlibdeps/debian"
printf 'Source: pagoric\n\nPackage: pagoric\nArchitecture: any\n' \
  > "$scratch/shlibdeps/debian/control"
(cd "$scratch/shlibdeps" && dpkg-shlibdeps -O -e "$pagoric" 2>/dev/null) | tee "$scratch/depends"
if grep -qi 'qt' "$scratch/depends"; then
  echo "dpkg-shlibdeps finds Qt in the installed pagoric"
  exit 1
fi
for f in usr/share/man/man1/pagoric.1.gz usr/share/doc/pagoric/copyright \
         usr/share/doc/pagoric/changelog.gz usr/share/bash-completion/completions/pagoric; do
  test -s "$scratch/root/$f" || { echo "the package lacks /$f"; exit 1; }
done
# The manual pages read without a warning.
for page in "$scratch/root/usr/share/man/man1/pagoric.1.gz" "$root/packaging/pagoric-gui.1"; do
  test -z "$(man --warnings -l "$page" 2>&1 >/dev/null)" || { echo "man warns on $page"; exit 1; }
done
version=$("$pagoric" --version)
echo "== Installed: $version"
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
