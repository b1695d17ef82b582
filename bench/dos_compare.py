#!/usr/bin/python3
"""The file benchmarks side by side: ReadLine against python3 reading lines, CopyFile against cp,
WriteTable/ReadTable against python3's marshal (bench/dos_bench.cpp), and the file digests against
zlib's crc32 and md5sum (bench/digest_bench.cpp). Prints each pair and the ratio ours/theirs."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_results  # noqa: E402

PAIRS = [
    ("dos_bench", "BM_ReadLine", "BM_PythonForLine", "ReadLine / python3 for line in f"),
    ("dos_bench", "BM_CopyFile", "BM_Cp", "CopyFile / cp"),
    ("dos_bench", "BM_WriteReadTable", "BM_PythonMarshal", "WriteTable+ReadTable / python3 marshal"),
    ("digest_bench", "BM_Crc32File", "BM_ZlibCrc32File", "CRC32 / zlib crc32"),
    ("digest_bench", "BM_Md5File", "BM_Md5sum", "MD5 / md5sum"),
]


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build-release"
    results = {}
    for binary in sorted({p[0] for p in PAIRS}):
        for name, ms in bench_results.load(build, binary, "^BM_").items():
            results[name.split("/")[0]] = ms
    print("%-40s %10s %10s %8s" % ("pair", "ours ms", "theirs ms", "ours/th"))
    for _, ours, theirs, title in PAIRS:
        a, b = results.get(ours), results.get(theirs)
        ratio = "%8.2f" % (a / b) if a and b else "%8s" % "-"
        print("%-40s %10s %10s %s" % (title, "%.1f" % a if a else "-", "%.1f" % b if b else "-", ratio))


if __name__ == "__main__":
    main()
