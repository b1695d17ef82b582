#!/bin/sh
# Runs the bundled demo: assembles demos/demo.qzs into an applet and plays it with the player of a
# build (the release build by default); the applet prints its own results and errors are reported
# on the console.
set -e
build=${1:-build-release}
"$build"/bin/qzasm demos/demo.qzs -o "$build"/demo.qza
"$build"/bin/qzplayer -DEBUGDEVICE console "$build"/demo.qza
echo "The demo applet ended."
