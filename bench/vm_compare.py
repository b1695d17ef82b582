#!/usr/bin/python3
"""Runs the VM's script benchmarks and python3 doing the same work; prints the pairs and ratios."""
import json
import subprocess
import sys
import time


def fib(n):
    return n if n < 2 else fib(n - 1) + fib(n - 2)


def add_loop():
    s = 0
    for _ in range(100000000):
        s = s + 1
    return s


def table_fill_sum():
    t = {}
    for i in range(1, 1000001):
        t[i] = i
    s = 0
    for i in range(1, 1000001):
        s = s + t[i]
    return s


def concat():
    s = ""
    for i in range(20000):
        s = s + "x"
    return s


class Obj:
    def __init__(self):
        self.v = 1

    def get(self):
        return self.v


def method_calls():
    o = Obj()
    s = 0
    for _ in range(1000000):
        s = s + o.get()
    return s


def c_calls():
    s = 0
    for i in range(1, 1000001):
        s = s + abs(i)
    return s


PAIRS = [
    ("Script_Fib30", lambda: fib(30)),
    ("Script_AddLoop1e8", add_loop),
    ("Script_TableFillSum1e6", table_fill_sum),
    ("Script_Concat2e4", concat),
    ("Script_MethodCalls1e6", method_calls),
    ("Script_CCalls1e6", c_calls),
]


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build-release"
    out = subprocess.run([build + "/bin/vm_bench", "--benchmark_filter=Script_", "--benchmark_format=json"],
                         check=True, capture_output=True, text=True).stdout
    ours = {}
    for b in json.loads(out)["benchmarks"]:
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        ours[b["name"]] = b["real_time"] * scale
    print("%-26s %12s %12s %8s" % ("benchmark", "vm ms", "python3 ms", "vm/py"))
    for name, fn in PAIRS:
        start = time.perf_counter()
        fn()
        py = (time.perf_counter() - start) * 1000.0
        vm = ours.get(name)
        if vm is None:
            print("%-26s %12s %12.1f %8s" % (name, "-", py, "-"))
        else:
            print("%-26s %12.1f %12.1f %8.2f" % (name, vm, py, vm / py))


if __name__ == "__main__":
    main()
