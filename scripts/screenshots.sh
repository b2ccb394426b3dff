#!/bin/bash
# Renders the desktop program's windows for the README into docs/images/:
# the start dialog, the project window with the demo project open after a
# build, and the editor and relocation dialogs on that project. Runs on the
# offscreen platform; no display needed.
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
HOME="$work" QT_QPA_PLATFORM=offscreen "$bin/pagoric-screenshots" "$root/docs/images" \
  "$work/firmware/web/demo.web"
