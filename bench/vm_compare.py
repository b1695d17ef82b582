#!/usr/bin/python3
"""Runs the VM's script benchmarks, python3 doing the same work and the same algorithms in C++
compiled -O2 (bench/vm_reference_bench.cpp); prints the times, how many times faster the VM is
than python3 (py/vm) and how many times slower than C++ (vm/C++), and the geometric mean of py/vm.
All three are timed in CPU time of their process, which other work on the machine disturbs less
than the time on the clock, each as the best of the same number of single runs (RUNS)."""
import math
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_results  # noqa: E402


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
    # CPython appends in place here when nothing else holds the string; the VM's strings are
    # interned and immutable, so each step there copies the whole string (see table_join).
    s = ""
    for i in range(20000):
        s = s + "x"
    return s


def table_join():
    t = []
    for i in range(20000):
        t.append("x")
    return "".join(t)


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


def string_keys():
    s = 0
    for _ in range(2):
        t = {}
        for i in range(1, 1000001):
            t["k" + str(i)] = i
        for i in range(1, 1000001):
            s = s + t["k" + str(i)]
    return s


def concat5():
    s = ""
    for i in range(1, 1000001):
        s = f"<{i}|{i / 4}>"
    return s


def number_to_string():
    s = ""
    for i in range(1, 1000001):
        s = str(i)
        s = str(i * 0.1)
    return s


def make_closure():
    x = 1

    def get():
        return x
    return get


def closure_calls():
    get = make_closure()
    s = 0
    for _ in range(1000000):
        s = s + get()
    return s


def abs_calls():
    s = 0
    for i in range(1, 1000001):
        s = s + abs(-i)
    return s


PAIRS = [
    ("Script_Fib30", lambda: fib(30)),
    ("Script_AddLoop1e8", add_loop),
    ("Script_TableFillSum1e6", table_fill_sum),
    ("Script_Concat2e4", concat),
    ("Script_TableJoin2e4", table_join),
    ("Script_MethodCalls1e6", method_calls),
    ("Script_CCalls1e6", c_calls),
    ("Script_StringKeys1e6", string_keys),
    ("Script_Concat5x1e6", concat5),
    ("Script_NumberToString1e6", number_to_string),
    ("Script_ClosureCalls1e6", closure_calls),
    ("Script_AbsCalls1e6", abs_calls),
]


# Every side is timed as the least of this many single runs of the same work.
RUNS = 3


def timed(fn):
    """Best time in ms of RUNS runs."""
    best = None
    for _ in range(RUNS):
        start = time.process_time()
        fn()
        t = (time.process_time() - start) * 1000.0
        best = t if best is None else min(best, t)
    return best


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build-release"
    ours = {k[len("Script_"):]: v for k, v in bench_results.best_of(build, "vm_bench", "^Script_", RUNS, "cpu_time").items()}
    native = {k[len("Ref_"):]: v for k, v in bench_results.best_of(build, "vm_reference_bench", "^Ref_", RUNS, "cpu_time").items()}
    print("%-22s %10s %10s %10s %8s %8s" % ("benchmark", "vm ms", "python3 ms", "C++ -O2 ms", "py/vm", "vm/C++"))
    speedups = []
    for name, fn in PAIRS:
        py = timed(fn)
        short = name[len("Script_"):]
        vm = ours.get(short)
        cpp = native.get(short)
        if vm:
            speedups.append(py / vm)
        cells = ["%10.1f" % vm if vm is not None else "%10s" % "-", "%10.1f" % py,
                 "%10.2f" % cpp if cpp is not None else "%10s" % "-",
                 "%8.2f" % (py / vm) if vm else "%8s" % "-",
                 "%8.1f" % (vm / cpp) if vm is not None and cpp else "%8s" % "-"]
        print("%-22s %s" % (short, " ".join(cells)))
    if speedups:
        mean = math.exp(sum(math.log(x) for x in speedups) / len(speedups))
        print("geometric mean of py/vm over %d benchmarks: %.2f" % (len(speedups), mean))


if __name__ == "__main__":
    main()
