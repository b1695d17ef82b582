// Saving anims: every frame of an anim written to an animated GIF, each reduced to a palette.
#pragma once

#include <cstdint>

struct qzAnim;

struct qzAnimSaveOptions {
    int colours = 256;              // 2 to 256
    int32_t transparentColor = -1;  // 0xRRGGBB written as the transparent index, -1 none
    int dither = 0;
    int optimize = 1;  // frames after the first hold only what changed
};

// Writes the anim at its current size with its frame delays, looping forever. The file appears
// only when every frame was written: a failure leaves what stood under the name before. 0,
// ERR_WRITEFILE (name as error argument), ERR_WRITE, ERR_MEM, or a frame's error.
int SaveAnimAsGif(qzAnim* anim, const char* file, const qzAnimSaveOptions& options);
