#!/bin/sh
# Runs every fuzz target of a fuzz build: usage run-fuzzers.sh BUILD SECONDS.
# Each target starts from its seed corpus in fuzz/corpus/NAME (plus what earlier runs of this
# build found, kept in BUILD/corpus/NAME) with a fixed random seed, and stops after a number of
# runs or after SECONDS, whichever comes first, so a short run does the same work every time.
# FUZZ_SEED changes the seed; FUZZ_RUNS changes the run bound (-1: time bound only). A target that
# crashes, leaks, runs out of memory or hangs on one input (FUZZ_TIMEOUT seconds) fails the whole
# run, and the input that did it is printed with the command that replays it.
set -e
# Paths are absolute: a target may change the working folder (the applet reader does).
build=$(cd "$1" && pwd); seconds=$2
source=$(cd "$(dirname "$0")/.." && pwd)
seed=${FUZZ_SEED:-1}
runs=${FUZZ_RUNS:-$((seconds * 3000))}
timeout=${FUZZ_TIMEOUT:-60}
found=0
for bin in "$build"/bin/*_fuzz; do
  [ -x "$bin" ] || continue
  found=1
  name=$(basename "$bin")
  corpus="$build/corpus/$name"
  artifacts="$build/artifacts/$name"
  # Only this run's findings are kept, so the input printed below is the one that failed now.
  rm -rf "$artifacts"
  mkdir -p "$corpus" "$artifacts"
  seeds=""
  [ -d "$source/fuzz/corpus/$name" ] && seeds="$source/fuzz/corpus/$name"
  if [ "$runs" -ge 0 ]; then bound="at most $runs runs or ${seconds}s"; else bound="${seconds}s"; fi
  echo "fuzzing $name: seed $seed, $bound"
  if ! "$bin" -seed="$seed" -runs="$runs" -max_total_time="$seconds" -timeout="$timeout" \
      -print_final_stats=0 -artifact_prefix="$artifacts/" "$corpus" $seeds >"$build/$name.log" 2>&1; then
    tail -50 "$build/$name.log"
    echo "fuzz target $name failed (log: $build/$name.log)"
    for input in $(ls -t "$artifacts" 2>/dev/null); do
      echo "input $artifacts/$input ($(wc -c <"$artifacts/$input") bytes); replay: $bin $artifacts/$input"
      od -A d -t x1z -v "$artifacts/$input" | head -32
      break
    done
    exit 1
  fi
done
[ "$found" = 1 ] || echo "no fuzz targets built"
