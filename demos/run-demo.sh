#!/bin/sh
# Runs the bundled demo: assembles demos/hello.qzs, disassembles the chunk again and shows both.
set -e
build=${1:-build}
"$build"/bin/qzasm demos/hello.qzs -o "$build"/hello.qzb
echo "assembled demos/hello.qzs into $build/hello.qzb ($(wc -c <"$build"/hello.qzb) bytes); disassembly:"
"$build"/bin/qzdis "$build"/hello.qzb
