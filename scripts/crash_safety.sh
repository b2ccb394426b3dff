#!/bin/bash
# Kills builds of a large project at random moments and checks after each
# that nothing was lost: the next build succeeds, every stub still holds the
# user's code, and no temporary file is left behind. Too slow for ctest; run
# it by hand after changes to how files are written:
#   scripts/crash_safety.sh [PAGORIC-BINARY] [TRIALS]
set -euo pipefail
cd "$(dirname "$0")/.."
pagoric=$(realpath "${1:-build/gcc/src/pagoric}")
trials=${2:-30}
work=$(mktemp -d "${TMPDIR:-/tmp}/pagoric-crash-XXXXXX")
trap 'rm -rf "$work"' EXIT

pages=400
pictures=6
mkdir -p "$work/site/img" "$work/site/docs"
for i in $(seq 1 $pages); do
  {
    echo "<html><body><h1>Page $i</h1>"
    for j in $(seq 1 40); do echo "<p>Line $j of page $i: _NZZA_Value$i and some text</p>"; done
    echo "<form method=post action=save$i></form></body></html>"
  } > "$work/site/docs/page$i.htm"
done
for i in $(seq 1 $pictures); do head -c $((2 * 1024 * 1024)) /dev/urandom > "$work/site/img/big$i.gif"; done

project="$work/site.web"
target="$work/out"
"$pagoric" new "$project" --target "$target" > /dev/null
"$pagoric" import "$project" "$work/site" > /dev/null
"$pagoric" build "$project" --yes > /dev/null

# The user fills every stub.
perl -0pi -e 's/(    \/\* add your implementation here: \*\/\r\n)/$1    user_kept();\r\n/g' \
  "$target"/_docs_page*.c
expected=$(cat "$target"/_docs_page*.c | grep -c 'user_kept();')

# Every trial changes a quarter of the pages and one picture, so the build it
# kills is writing page files and the binary data file.
edit_sources() {
  for i in $(shuf -i 1-$pages -n $((pages / 4))); do
    echo "<p>edit $RANDOM</p>" >> "$work/site/docs/page$i.htm"
  done
  head -c $((2 * 1024 * 1024)) /dev/urandom > "$work/site/img/big$((RANDOM % pictures + 1)).gif"
}

edit_sources
start=$(date +%s%N)
"$pagoric" build "$project" > /dev/null
duration_ms=$(( ($(date +%s%N) - start) / 1000000 ))
echo "project: $pages pages, $pictures pictures of 2 MiB, $expected filled stubs;" \
  "a build of one trial's edits takes ${duration_ms} ms"

temporaries() { find "$target" "$work" -maxdepth 1 -name '.*.tmp??????' | wc -l; }

killed=0 finished=0 left_after_term=0 failures=0
for trial in $(seq 1 "$trials"); do
  signal=KILL
  (( trial % 3 == 0 )) && signal=TERM
  delay_ms=$(( RANDOM % (duration_ms + 1) ))
  edit_sources
  "$pagoric" build "$project" > /dev/null 2>&1 &
  pid=$!
  sleep "$(printf '0.%03d' "$delay_ms")"
  if kill -s "$signal" "$pid" 2> /dev/null; then killed=$((killed + 1)); else finished=$((finished + 1)); fi
  wait "$pid" 2> /dev/null || true
  if [[ $signal == TERM ]] && (( $(temporaries) > 0 )); then
    left_after_term=$((left_after_term + 1))
    echo "trial $trial: temporary files remain after SIGTERM at ${delay_ms} ms"
  fi
  if ! "$pagoric" build "$project" > /dev/null 2> "$work/err"; then
    failures=$((failures + 1))
    echo "trial $trial ($signal at ${delay_ms} ms): the next build failed: $(cat "$work/err")"
  fi
  kept=$(cat "$target"/_docs_page*.c | grep -c 'user_kept();' || true)
  if (( kept != expected )); then
    failures=$((failures + 1))
    echo "trial $trial ($signal at ${delay_ms} ms): $kept of $expected stubs hold the user's code"
  fi
  if (( $(temporaries) > 0 )); then
    failures=$((failures + 1))
    echo "trial $trial ($signal at ${delay_ms} ms): temporary files remain after the next build"
  fi
done
echo "trials: $trials ($killed killed while running, $finished had finished); " \
  "failures: $failures; SIGTERM trials leaving temporary files: $left_after_term"
(( failures == 0 && left_after_term == 0 ))
