#!/bin/sh
# Runs every benchmark binary of a release build, then the side-by-side comparison scripts.
set -e
build=$1
for bin in "$build"/bin/*_bench; do
  [ -x "$bin" ] || continue
  echo "== $(basename "$bin")"
  "$bin"
done
for cmp in bench/*_compare.py; do
  [ -f "$cmp" ] || continue
  echo "== $(basename "$cmp")"
  /usr/bin/python3 "$cmp" "$build"
done
