#!/usr/bin/python3
"""Runs the applets of bench/applets/ through the player binary of a build (assembled with its
qzasm, played headless) and python3 processes doing the same work; prints the times and how many
times faster the player is than python3 (py/vm), and their geometric mean.

Both sides are whole processes, timed in the CPU time (user and system) they and their children
use, each as the best of RUNS runs. The start-up and shutdown of each side, measured with a program
that does nothing (the empty applet, an empty python3 script), are taken off for py/vm; the whole
times and their ratio are printed beside it. Each pair prints a result that the other must match."""
import math
import os
import resource
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"

# Every side is timed as the least of this many runs.
RUNS = 5

# The python3 side of each applet: a script whose last line prints what the applet prints.
PROGRAMS = {
    "empty": "",
    "closure_each_iteration": """
def work(n):
    s = 0
    for i in range(1, n + 1):
        x = i

        def get():
            return x
        s = s + get()
    return s
print(work(3000000))
""",
    "concat_five": """
def work(n):
    s = ""
    for i in range(1, n + 1):
        s = f"<{i}|{i / 4}>"
    return s
print(work(2000000).replace(".0>", ">"))
""",
    "string_keys": """
def work(n):
    t = {}
    for i in range(1, n + 1):
        t["k" + str(i)] = i
    s = 0
    for i in range(1, n + 1):
        s = s + t["k" + str(i)]
    return s
print(work(1000000))
""",
    "method_field": """
class Counter:
    def __init__(self):
        self.n = 0

    def add(self, d):
        self.n = self.n + d


def work(n):
    o = Counter()
    for i in range(1, n + 1):
        o.add(i)
    return o.n
print(work(5000000))
""",
}

WORKLOADS = ["closure_each_iteration", "concat_five", "string_keys", "method_field"]


def run_timed(command, env=None):
    """(CPU ms of the process and its children, standard output) of one run."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    out = subprocess.run(command, check=True, capture_output=True, text=True, env=env).stdout
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu * 1000.0, out.strip()


def best(command, env=None):
    """(least CPU ms of RUNS runs, output of the last run)."""
    times = []
    out = ""
    for _ in range(RUNS):
        t, out = run_timed(command, env)
        times.append(t)
    return min(times), out


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build-release"
    qzasm = os.path.join(build, "bin", "qzasm")
    player = os.path.join(build, "bin", "qzplayer")
    out_dir = os.path.join(build, "bench-applets")
    os.makedirs(out_dir, exist_ok=True)
    env = dict(os.environ, QUARNELIX_DRIVER="headless")
    vm, py, outputs = {}, {}, {}
    commands = {}
    for name in ["empty"] + WORKLOADS:
        applet = os.path.join(out_dir, name + ".qza")
        subprocess.run([qzasm, os.path.join(HERE, "applets", name + ".qzs"), "-o", applet], check=True)
        commands[name] = ([player, "-QUIET", "-DEBUGDEVICE", "console", applet], [PYTHON, "-c", PROGRAMS[name]])
    for name in WORKLOADS:
        vm[name], vm_out = best(commands[name][0], env)
        py[name], py_out = best(commands[name][1])
        outputs[name] = (vm_out, py_out)
        # The start-up is measured beside every workload and its least time kept, so that a
        # moment of load on the machine does not count for it.
        empty_vm, _ = best(commands["empty"][0], env)
        empty_py, _ = best(commands["empty"][1])
        vm["empty"] = min(vm.get("empty", empty_vm), empty_vm)
        py["empty"] = min(py.get("empty", empty_py), empty_py)
    print("start-up and shutdown: player %.1f ms, python3 %.1f ms (taken off the times below)" %
          (vm["empty"], py["empty"]))
    print("%-24s %10s %10s %8s %10s %10s %8s" %
          ("applet", "vm ms", "python3 ms", "py/vm", "vm whole", "py whole", "py/vm"))
    speedups = []
    for name in WORKLOADS:
        vm_net = max(vm[name] - vm["empty"], 0.1)
        py_net = max(py[name] - py["empty"], 0.1)
        speedups.append(py_net / vm_net)
        vm_out, py_out = outputs[name]
        note = "" if vm_out == py_out else "  results differ: %r / %r" % (vm_out, py_out)
        print("%-24s %10.1f %10.1f %8.2f %10.1f %10.1f %8.2f%s" %
              (name, vm_net, py_net, py_net / vm_net, vm[name], py[name], py[name] / vm[name], note))
    mean = math.exp(sum(math.log(x) for x in speedups) / len(speedups))
    print("geometric mean of py/vm over %d applets: %.2f" % (len(speedups), mean))


if __name__ == "__main__":
    main()
