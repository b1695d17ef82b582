"""Results of a Google Benchmark binary of a release build, in milliseconds of real or CPU time,
keyed by benchmark name: read from the JSON file that bench/run-benchmarks.sh wrote beside the
binaries, or from a run of the binary when there is none."""
import json
import os
import re
import subprocess


def load(build, binary, pattern, clock="real_time"):
    """{name: ms} of the benchmarks of build/bin/binary whose names match the regex pattern;
    clock is "real_time" or "cpu_time"."""
    saved = os.path.join(build, binary + ".json")
    if os.path.exists(saved):
        with open(saved) as f:
            data = json.load(f)
    else:
        out = subprocess.run([os.path.join(build, "bin", binary), "--benchmark_filter=" + pattern,
                              "--benchmark_format=json"], check=True, capture_output=True, text=True).stdout
        data = json.loads(out)
    times = {}
    for b in data["benchmarks"]:
        if b.get("run_type", "iteration") != "iteration" or not re.search(pattern, b["name"]):
            continue
        if b.get("error_occurred"):
            continue
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        times[b["name"]] = b[clock] * scale
    return times


def best_of(build, binary, pattern, runs, clock="real_time"):
    """{name: ms}: the least time of `runs` single executions of each benchmark of build/bin/binary
    whose name matches the regex pattern (one iteration per repetition), for comparison with
    another tool's best of the same number of runs."""
    out = subprocess.run([os.path.join(build, "bin", binary), "--benchmark_filter=" + pattern,
                          "--benchmark_min_time=0", "--benchmark_repetitions=%d" % runs,
                          "--benchmark_format=json"], check=True, capture_output=True, text=True).stdout
    times = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type", "iteration") != "iteration" or not re.search(pattern, b["name"]):
            continue
        if b.get("error_occurred"):
            continue
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        ms = b[clock] * scale
        times[b["name"]] = min(ms, times.get(b["name"], ms))
    return times
