#!/bin/sh
# Runs every fuzz target of a fuzz build: usage run-fuzzers.sh BUILD SECONDS.
# Each target starts from its seed corpus in fuzz/corpus/NAME (plus what earlier runs of this
# build found, kept in BUILD/corpus/NAME) with a fixed random seed, and stops after a number of
# runs or after SECONDS, whichever comes first, so a short run does the same work every time.
# FUZZ_SEED changes the seed; FUZZ_RUNS changes the run bound (-1: time bound only). A target that
# crashes, leaks, runs out of memory or hangs on one input (FUZZ_TIMEOUT seconds) fails the whole
# run, and the input that did it is printed with the command that replays it.
# FUZZ_JOBS targets run at a time (default: the number of processors this script may use), each
# in one process with the bounds above, so running them side by side changes no target's work.
set -e
# Paths are absolute: a target may change the working folder (the applet reader does).
build=$(cd "$1" && pwd); seconds=$2
source=$(cd "$(dirname "$0")/.." && pwd)
seed=${FUZZ_SEED:-1}
runs=${FUZZ_RUNS:-$((seconds * 3000))}
timeout=${FUZZ_TIMEOUT:-60}
jobs=${FUZZ_JOBS:-$(nproc 2>/dev/null || echo 1)}

# One target (run by the pool below): its failure report goes to standard output in one piece.
if [ "${3:-}" = "--one" ]; then
  bin=$4
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
    report="$build/$name.failure"
    {
      tail -50 "$build/$name.log"
      echo "fuzz target $name failed (log: $build/$name.log)"
      for input in $(ls -t "$artifacts" 2>/dev/null); do
        echo "input $artifacts/$input ($(wc -c <"$artifacts/$input") bytes); replay: $bin $artifacts/$input"
        od -A d -t x1z -v "$artifacts/$input" | head -32
        break
      done
    } >"$report"
    cat "$report"
    exit 1
  fi
  exit 0
fi

targets=""
for bin in "$build"/bin/*_fuzz; do
  [ -x "$bin" ] && targets="$targets $bin"
done
if [ -z "$targets" ]; then
  echo "no fuzz targets built"
  exit 0
fi
# Every target runs even when one fails, and the run fails if any did.
if ! printf '%s\n' $targets | xargs -P "$jobs" -n 1 sh "$0" "$build" "$seconds" --one; then
  echo "fuzzing failed"
  exit 1
fi
