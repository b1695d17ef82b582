#!/bin/sh
# Writes demos/demo.gif, the animation of the demo applet: twelve 48 x 48 frames of a ring of
# twelve dots around which a bright head with a fading tail turns, on a transparent background.
# Needs ImageMagick's convert. Run it from anywhere: sh demos/make-anim.sh
set -e
here=$(cd "$(dirname "$0")" && pwd)
frames=""
for f in 0 1 2 3 4 5 6 7 8 9 10 11; do
    draw=""
    for d in 0 1 2 3 4 5 6 7 8 9 10 11; do
        # Dot d is lit by how recently the head passed it: 0 (the head) to 11 (dim).
        age=$(( (f - d + 12) % 12 ))
        x=$(awk "BEGIN { printf \"%.1f\", 24 + 18 * sin($d * 3.14159265 / 6) }")
        y=$(awk "BEGIN { printf \"%.1f\", 24 - 18 * cos($d * 3.14159265 / 6) }")
        r=$(awk "BEGIN { printf \"%.1f\", $age < 4 ? 5 - $age * 0.5 : 2.5 }")
        colour=$(awk "BEGIN { a = $age < 4 ? 1 - $age / 4 : 0; printf \"rgb(%d,%d,%d)\", 90 + 165 * a, 80 + 128 * a, 150 - 40 * a }")
        draw="$draw fill $colour circle $x,$y $x,$(awk "BEGIN { printf \"%.1f\", $y + $r }")"
    done
    convert -size 48x48 xc:none +antialias -draw "$draw" "$here/.frame-$f.gif"
    frames="$frames $here/.frame-$f.gif"
done
convert -dispose background -delay 6 -loop 0 $frames "$here/demo.gif"
rm -f $frames
