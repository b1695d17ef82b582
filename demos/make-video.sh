#!/bin/sh
# Writes demos/demo-video.mp4, the film of the demo applet: four seconds of ffmpeg's moving test
# pattern at 160 x 90 pixels and 25 frames a second, in H.264. Needs ffmpeg. Run it from
# anywhere: sh demos/make-video.sh
set -e
here=$(cd "$(dirname "$0")" && pwd)
ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=160x90:rate=25:duration=4 -c:v libx264 -pix_fmt yuv420p \
    -crf 30 -preset veryslow -movflags +faststart "$here/demo-video.mp4"
