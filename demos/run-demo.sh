#!/bin/sh
# Runs the bundled demo: assembles demos/demo.qzs into an applet and plays it with the player,
# headless, with the call trace on and errors reported on the console.
set -e
build=${1:-build}
"$build"/bin/qzasm demos/demo.qzs -o "$build"/demo.qza
"$build"/bin/qzplayer -DEBUGOUTPUT -DEBUGDEVICE console "$build"/demo.qza
echo "The demo applet ended."
