#!/bin/bash
# The main job on the demo project: sets up the machine, builds pagoric, imports
# the demo web site (demo/site) into a fresh project in a scratch folder,
# builds it, and shows the build log and the generated files.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build/release" -DCMAKE_BUILD_TYPE=Release \
  -DPAGORIC_TESTS=OFF -DPAGORIC_BENCH=OFF >/dev/null
cmake --build "$root/build/release" --target pagoric -j "$(nproc)" >/dev/null
pagoric="$root/build/release/src/pagoric"

work="${1:-$(mktemp -d /tmp/pagoric-demo-XXXXXX)}"
mkdir -p "$work"
echo "== Project folder: $work"
"$pagoric" new "$work/demo.web" --target "$work/generated" --force
"$pagoric" import "$work/demo.web" "$root/demo/site"
echo "== URL tree"
"$pagoric" tree "$work/demo.web"
echo "== Build log"
"$pagoric" build "$work/demo.web" --all --yes
echo "== Generated files in $work/generated"
ls -l "$work/generated"
