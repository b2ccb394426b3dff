#!/bin/bash
# Renders the desktop program's windows for the README into docs/images/:
# the start dialog, the project window with the demo project open after a
# build, and the editor and relocation dialogs on that project; then the
# whole screen with the project window where it opens, on a 1366x768 screen
# at 100% and on a 2560x1440 screen at 200%. Runs on the offscreen platform;
# no display needed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build/release" -DCMAKE_BUILD_TYPE=Release \
  -DPAGORIC_TESTS=OFF -DPAGORIC_BENCH=OFF >/dev/null
cmake --build "$root/build/release" --target pagoric pagoric-screenshots -j "$(nproc)" >/dev/null
bin="$root/build/release/src"

# A fixed folder, so the pictures show the same paths on every run.
work=/tmp/pagoric-screenshots
rm -rf "$work"
trap 'rm -rf "$work"' EXIT
# The demo under a short, stable path, so the pictures do not show a random one.
mkdir -p "$work/firmware/web"
cp -r "$root/demo/site" "$work/firmware/web/site"
cd "$work/firmware/web"
"$bin/pagoric" new demo.web --target generated >/dev/null
"$bin/pagoric" import demo.web site >/dev/null
"$bin/pagoric" build demo.web --all --yes >/dev/null
# A home page and a realm, so the editor pictures show them.
"$bin/pagoric" home demo.web /index.htm >/dev/null
"$bin/pagoric" realms demo.web --set 1 Admin admin secret >/dev/null
# screen NAME WIDTH HEIGHT SCALE: the screen picture NAME on a screen of that
# size in physical pixels at that scale factor.
screen() {
  printf '{"screens": [{"name": "screen", "x": 0, "y": 0, "width": %d, "height": %d}]}\n' \
    "$2" "$3" >"$work/screen.json"
  HOME="$work" XDG_CONFIG_HOME="$work/config" QT_SCALE_FACTOR="$4" \
    QT_QPA_PLATFORM="offscreen:configfile=$work/screen.json" \
    "$bin/pagoric-screenshots" "$root/docs/images" "$work/firmware/web/demo.web" --screen "$1"
}
screen screen-1366x768 1366 768 1
screen screen-2560x1440-200 2560 1440 2
# The other pictures on a screen with room for every window at its size.
printf '{"screens": [{"name": "screen", "x": 0, "y": 0, "width": 1920, "height": 1080}]}\n' \
  >"$work/screen.json"
HOME="$work" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM="offscreen:configfile=$work/screen.json" \
  "$bin/pagoric-screenshots" "$root/docs/images" "$work/firmware/web/demo.web"
