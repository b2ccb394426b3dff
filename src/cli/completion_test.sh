#!/bin/bash
# The bash completion offers every command that `pagoric --help` lists and,
# after each command, every option its `--help` explains, no more and no less;
# a directory option's value completes to directories only.
#   completion_test.sh COMPLETION PAGORIC
set -uo pipefail
completion=$1
pagoric=$2
source "$completion"
failures=0

# The words the completion offers for a command line whose last word is cut.
offered() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _pagoric
  printf '%s\n' "${COMPREPLY[@]}" | sort
}

expect() {  # expect WHAT EXPECTED ACTUAL
  if [[ "$2" != "$3" ]]; then
    echo "FAIL: $1"
    diff <(echo "$2") <(echo "$3")
    failures=$((failures + 1))
  fi
}

commands=$("$pagoric" --help | sed -n '/^commands:/,/^$/s/^  \([a-z]\+\) .*/\1/p')
[[ -n "$commands" ]] || { echo "FAIL: pagoric --help lists no command"; exit 1; }
expect "the commands" "$(printf '%s\n' $commands --help --version | sort)" \
  "$(offered pagoric '')"

for command in $commands; do
  options=$("$pagoric" "$command" --help | sed -n 's/^  \(-h, \)\?\(--[a-z-]\+\).*/\2/p' | sort)
  expect "the options of $command" "$options" "$(offered pagoric "$command" --)"
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/gen"
touch "$scratch/site.web"
cd "$scratch" || exit 1
expect "the value of build --target" "gen" "$(offered pagoric build site.web --target '')"
expect "the project file" "$(printf '%s\n' gen site.web)" "$(offered pagoric build '')"
expect "the value of size --max-bytes" "" "$(offered pagoric size site.web --max-bytes '')"

if ((failures)); then
  echo "$failures failed"
  exit 1
fi
echo "bash completion: $(wc -w <<<"$commands") commands and their options offered"
