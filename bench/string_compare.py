#!/usr/bin/python3
"""Runs the string library's 16 MB benchmarks and python3 doing the same work; prints the pairs."""
import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_results  # noqa: E402

PIECE = "lorem ipsum 12345, dolor sit amet 678, consectetur adipiscing 9, elit; "
SIZE = 1 << 24


def subject():
    s = PIECE * (SIZE // len(PIECE) + 1)
    return s[:SIZE]


def timed(fn, repeat=3):
    best = None
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        t = (time.perf_counter() - start) * 1000.0
        best = t if best is None else min(best, t)
    return best


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build-release"
    ours = {k.split("/")[0]: v for k, v in bench_results.load(build, "string_bench", "/16777216$").items()}
    s = subject()
    digits = re.compile(r"[0-9]+")
    pairs = [
        ("Replace", "str.replace", lambda: s.replace("ipsum", "IPSUM!")),
        ("ReplaceNoCase", "re.sub(IGNORECASE)", lambda: re.sub("IPSUM", "x", s, flags=re.IGNORECASE)),
        ("Split", "str.split", lambda: s.split(",")),
        ("PatternReplace", "re.sub", lambda: digits.sub("#", s)),
    ]
    print("%-16s %-20s %10s %12s %8s" % ("benchmark", "python3", "ours ms", "python3 ms", "ours/py"))
    for name, what, fn in pairs:
        py = timed(fn)
        mine = ours.get(name)
        if mine is None:
            print("%-16s %-20s %10s %12.1f %8s" % (name, what, "-", py, "-"))
        else:
            print("%-16s %-20s %10.1f %12.1f %8.2f" % (name, what, mine, py, mine / py))


if __name__ == "__main__":
    main()
