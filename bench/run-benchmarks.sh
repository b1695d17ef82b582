#!/bin/sh
# Runs every benchmark binary of a release build (keeping each one's results as JSON beside it),
# then the side-by-side comparison scripts, which read those results.
set -e
build=$1
for bin in "$build"/bin/*_bench; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin")
  echo "== $name"
  rm -f "$build/$name.json"
  "$bin" --benchmark_out="$build/$name.json" --benchmark_out_format=json
done
for cmp in bench/*_compare.py; do
  [ -f "$cmp" ] || continue
  echo "== $(basename "$cmp")"
  /usr/bin/python3 "$cmp" "$build"
done
