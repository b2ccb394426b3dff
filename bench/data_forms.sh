#!/bin/bash
# Compiles one binary file's generated data in both forms of the binary data
# file, side by side in one run, with the firmware's compiler: wall time and
# peak memory of arm-none-eabi-gcc (or $CC) on the byte arrays and on the
# string literal. Usage: bench/data_forms.sh PAGORIC [MEGABYTES]
set -euo pipefail
pagoric=$(realpath "$1")
here=$(cd "$(dirname "$0")/.." && pwd)
megabytes=${2:-10}
cc=${CC:-arm-none-eabi-gcc}
flags=(-Os -funsigned-char -w -c -I"$here/src/hostserver")
[[ $cc == arm-none-eabi-gcc ]] && flags+=(-mcpu=cortex-m4 -mthumb)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir site
head -c $((megabytes * 1000 * 1000)) /dev/urandom > site/blob.bin
"$pagoric" new b.web --target gen > /dev/null
"$pagoric" import b.web site > /dev/null
"$pagoric" build b.web --yes --data-form array > /dev/null
cp gen/bindata.c array.c
"$pagoric" build b.web --data-form literal > /dev/null
cp gen/bindata.c literal.c
echo "$cc on a ${megabytes} MB binary:"
for form in array literal; do
  /usr/bin/time -f "  $form: %e s, %M KiB peak, $(stat -c %s $form.c) bytes of C" \
    "$cc" "${flags[@]}" "$form.c" -o "$form.o"
done
