// Front-ends of the swirl and the water ripple: one frame on a bitmap with its mask and alpha
// channel (either may be null), drawn from a copy of their pixels. 0, ERR_MEM for the tables, or
// ERR_LOCKBMAP.
#pragma once

#include "gfx/bitmap.h"

// The twist angle in degrees as a swirl frame: 0 .. 359 turn that far, 360 .. 720 wind back.
int SwirlBitMap(qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, int width, int height, int angle);
// Ripples of the wavelength and amplitude around the centre (fractions of the width and height)
// at the phase (radians); the decay radius reaches the farthest corner.
int RippleBitMap(qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, int width, int height, double wavelength,
                 double amplitude, double phase, double centerX, double centerY);
