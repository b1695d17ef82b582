#!/bin/sh
# Runs the bundled demo: assembles demos/demo.qzs into an applet and plays it with the player of a
# build (the release build by default), with the module, the GIF and the film it plays beside it
# (made by make-music.py, make-anim.sh and make-video.sh). It lasts about ten seconds; Escape or
# a click end it at once.
# With a window system (DISPLAY or WAYLAND_DISPLAY set) it shows in a window. Without one
# it runs headless and writes what the user would have seen: three snapshots of the display as
# PNG and the sound as a WAV file, in <build>/demo-output/, and prints their paths. Errors of the
# applet are reported on the console.
set -e
build=${1:-build-release}
out="$(cd "$build" && pwd)/demo-output"
"$build"/bin/qzasm demos/demo.qzs -o "$build"/demo.qza
cp demos/demo.mod demos/demo.gif demos/demo-video.mp4 "$build"/   # the applet finds them beside it
mkdir -p "$out"
rm -f "$out"/demo-1.png "$out"/demo-2.png "$out"/demo-3.png "$out"/demo-sound.wav
if [ -n "$DISPLAY" ] || [ -n "$WAYLAND_DISPLAY" ]; then
    # The window shows it; the snapshots are saved as well (and the sound, should the player
    # find the window system unreachable and run headless).
    QZDEMO_OUT="$out" QUARNELIX_AUDIO_CAPTURE="$out"/demo-sound.wav \
        "$build"/bin/qzplayer -QUIET -DEBUGDEVICE console "$build"/demo.qza
    echo "The demo applet ended."
    for f in "$out"/demo-1.png "$out"/demo-2.png "$out"/demo-3.png "$out"/demo-sound.wav; do
        if [ -s "$f" ]; then echo "  $f"; fi
    done
    exit 0
fi
echo "No window system: the demo runs headless for about ten seconds."
QUARNELIX_DRIVER=headless QZDEMO_OUT="$out" QUARNELIX_AUDIO_CAPTURE="$out"/demo-sound.wav \
    "$build"/bin/qzplayer -QUIET -DEBUGDEVICE console "$build"/demo.qza
echo "The demo applet ended. What it showed and played:"
missing=0
for f in "$out"/demo-1.png "$out"/demo-2.png "$out"/demo-3.png "$out"/demo-sound.wav; do
    if [ -s "$f" ]; then echo "  $f"; else echo "  $f is missing" >&2; missing=1; fi
done
exit $missing
