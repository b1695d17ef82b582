#!/usr/bin/python3
"""Runs the 1080p image-effect benchmarks beside ImageMagick (-bench, one thread and all threads),
djpeg -colors 256 and pngquant 256 on the same picture; prints the times and the ratios."""
import json
import os
import re
import subprocess
import sys
import tempfile
import time


def ours(build):
    out = subprocess.run([build + "/bin/gfx_effects_bench", "--benchmark_format=json"], check=True,
                         capture_output=True, text=True).stdout
    result = {}
    for b in json.loads(out)["benchmarks"]:
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        result[b["name"].replace("/real_time", "")] = b["real_time"] * scale
    return result


def magick_bench(image, operator):
    """ms per run of the operator with one thread and with all threads, from -bench."""
    out = subprocess.run(["convert", image, "-bench", "3"] + operator + ["null:"], capture_output=True,
                         text=True).stderr + ""
    out += subprocess.run(["convert", image, "-bench", "3"] + operator + ["null:"], capture_output=True,
                          text=True).stdout
    rates = {}
    for threads, ips in re.findall(r"Performance\[(\d+)\]: \S+ ([0-9.]+)ips", out):
        rates[int(threads)] = max(rates.get(int(threads), 0.0), float(ips))
    if not rates:
        return None, None
    best = max(rates.values())
    return 1000.0 / rates.get(1, best), 1000.0 / best


def timed(cmd, repeat=3):
    best = None
    for _ in range(repeat):
        start = time.perf_counter()
        subprocess.run(cmd, check=True, capture_output=True)
        t = (time.perf_counter() - start) * 1000.0
        best = t if best is None else min(best, t)
    return best


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build-release"
    with tempfile.TemporaryDirectory() as tmp:
        ppm = os.path.join(tmp, "photo.ppm")
        subprocess.run([build + "/bin/gfx_effects_bench"], env=dict(os.environ, QZ_GFX_BENCH_DUMP=ppm), check=True)
        mpc = os.path.join(tmp, "photo.mpc")
        subprocess.run(["convert", ppm, mpc], check=True)
        jpg = os.path.join(tmp, "photo.jpg")
        subprocess.run(["cjpeg", "-quality", "95", "-outfile", jpg, ppm], check=True)
        png = os.path.join(tmp, "photo.png")
        subprocess.run(["convert", ppm, png], check=True)
        mine = ours(build)

        print("%-22s %10s %12s %12s %10s %10s" % ("1080p", "ours ms", "IM 1 thr ms", "IM all ms", "ours/IM1", "ours/IMall"))
        for name, op in [("BM_GaussianBlur/5", ["-blur", "5x1.6667"]), ("BM_GaussianBlur/20", ["-blur", "20x6.6667"]),
                         ("BM_OilPaint/3", ["-paint", "3"])]:
            one, many = magick_bench(mpc, op)
            m = mine.get(name)
            if one is None or m is None:
                print("%-22s %10s" % (name, "-"))
                continue
            print("%-22s %10.1f %12.1f %12.1f %10.2f %10.2f" % (name, m, one, many, m / one, m / many))

        decode = timed(["djpeg", "-pnm", "-outfile", os.devnull, jpg])
        djpeg = timed(["djpeg", "-colors", "256", "-dither", "none", "-bmp", "-outfile", os.devnull, jpg])
        djpeg_fs = timed(["djpeg", "-colors", "256", "-bmp", "-outfile", os.devnull, jpg])
        pngq = timed(["pngquant", "--force", "--output", os.path.join(tmp, "q.png"), "256", png])
        print()
        print("%-30s %10s %12s %10s" % ("quantise to 256", "ours ms", "tool ms", "ours/tool"))
        rows = [("BM_Quantize256/0", "djpeg -colors 256 -dither none", djpeg - decode),
                ("BM_Quantize256/1", "djpeg -colors 256 (fs dither)", djpeg_fs - decode),
                ("BM_Quantize256/1", "pngquant 256 (whole run)", pngq)]
        for name, what, t in rows:
            m = mine.get(name)
            print("%-30s %10.1f %12.1f %10.2f" % (what, m, t, m / t if t > 0 else 0))
        print("  (djpeg times less its plain decode, %.1f ms)" % decode)
        print()
        for name in ("BM_RippleFrame", "BM_SwirlFrame"):
            m = mine.get(name)
            print("%-22s %10.2f ms  (budget 16 ms: %s)" % (name, m, "ok" if m < 16 else "over"))


if __name__ == "__main__":
    main()
