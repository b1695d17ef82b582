#!/bin/sh
# Runs every fuzz target of a fuzz build for a fixed time each, with the seed corpus in fuzz/corpus/NAME.
set -e
# Paths are absolute: a target may change the working folder (the applet reader does).
build=$(cd "$1" && pwd); seconds=$2
found=0
for bin in "$build"/bin/*_fuzz; do
  [ -x "$bin" ] || continue
  found=1
  name=$(basename "$bin")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds=""
  [ -d "fuzz/corpus/$name" ] && seeds="$(pwd)/fuzz/corpus/$name"
  echo "fuzzing $name for ${seconds}s"
  "$bin" -max_total_time="$seconds" -print_final_stats=0 -artifact_prefix="$build/" "$corpus" $seeds >"$build/$name.log" 2>&1 || {
    tail -50 "$build/$name.log"; echo "fuzz target $name failed"; exit 1; }
done
[ "$found" = 1 ] || echo "no fuzz targets built"
