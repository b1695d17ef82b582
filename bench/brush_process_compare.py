#!/usr/bin/python3
"""Runs the brush processing benchmarks beside ImageMagick's -bench on the same work (one thread and
all threads): a blur of radius 20 on the 1080p picture, and a blur of radius 64 over the alpha of
a 400 x 80 strip grown by 64 on every side (the shadow's alpha channel). Prints the times and the
ratios."""
import json
import os
import re
import subprocess
import sys
import tempfile


def ours(build):
    out = subprocess.run([build + "/bin/brush_process_bench", "--benchmark_format=json"], check=True,
                         capture_output=True, text=True).stdout
    result = {}
    for b in json.loads(out)["benchmarks"]:
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        result[b["name"].replace("/real_time", "")] = b["real_time"] * scale
    return result


def magick_bench(args):
    """ms per run with one thread and with all threads, from -bench."""
    rates = {}
    for _ in range(2):
        run = subprocess.run(["convert"] + args, capture_output=True, text=True)
        for threads, ips in re.findall(r"Performance\[(\d+)\]: \S+ ([0-9.]+)ips", run.stdout + run.stderr):
            rates[int(threads)] = max(rates.get(int(threads), 0.0), float(ips))
    if not rates:
        return None, None
    best = max(rates.values())
    return 1000.0 / rates.get(1, best), 1000.0 / best


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build-release"
    with tempfile.TemporaryDirectory() as tmp:
        ppm = os.path.join(tmp, "photo.ppm")
        subprocess.run([build + "/bin/brush_process_bench"], env=dict(os.environ, QZ_BRUSH_BENCH_DUMP=ppm),
                       check=True)
        mpc = os.path.join(tmp, "photo.mpc")
        subprocess.run(["convert", ppm, mpc], check=True)
        strip = os.path.join(tmp, "strip.mpc")
        subprocess.run(["convert", "-size", "528x208", "xc:none", "-fill", "black", "-draw",
                        "rectangle 64,64 463,143", strip], check=True)
        mine = ours(build)
        rows = [
            ("BM_BlurBrush1080p", "blur r20 1080p", [mpc, "-bench", "5", "-blur", "20x6.6667", "null:"]),
            ("BM_ShadowEdge64/0", "shadow edge 64", [strip, "-bench", "20", "-channel", "A", "-blur", "64x21.333",
                                                     "null:"]),
        ]
        print("%-18s %10s %12s %12s %10s %10s" % ("work", "ours ms", "IM 1 thr ms", "IM all ms", "ours/IM1",
                                                  "ours/IMall"))
        for name, what, args in rows:
            one, many = magick_bench(args)
            m = mine.get(name)
            if one is None or m is None:
                print("%-18s %10s" % (what, "-"))
                continue
            print("%-18s %10.2f %12.2f %12.2f %10.2f %10.2f" % (what, m, one, many, m / one, m / many))
        border = mine.get("BM_ShadowEdge64/1")
        if border is not None:
            print("%-18s %10.2f" % ("border edge 64", border))


if __name__ == "__main__":
    main()
