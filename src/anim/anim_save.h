// Saving anims: every frame of an anim written to an animated GIF, each reduced to a palette, or
// to a Motion-JPEG AVI, and single frames for anim streams.
#pragma once

#include <cstdint>

struct qzAnim;
struct qzBitMap;
struct qzGifWriter;
struct qzAviWriter;

// The anim formats of the built-in writers.
enum { QZ_ANMFMT_GIF = 0, QZ_ANMFMT_MJPEG = 1 };

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
// Writes the anim at its current size as a Motion-JPEG AVI of fps frames per second (1 to 1000)
// at JPEG quality 0..100; the file appears only when every frame was written. 0, ERR_WRONGUSAGE
// for a rate out of range, ERR_WRITEFILE (name as error argument), ERR_WRITE, ERR_MEM, or a
// frame's error.
int SaveAnimAsAvi(qzAnim* anim, const char* file, int quality, int fps);
// Appends the top-left width x height of the bitmap (hidden pixels through its mask or alpha
// channel) reduced to a palette; indices holds width x height bytes. 0, ERR_MEM or ERR_WRITE.
int WriteGifBitMapFrame(qzGifWriter* writer, const qzBitMap* bitmap, const qzBitMap* mask, const qzBitMap* alpha,
                        int32_t width, int32_t height, int32_t delay, uint8_t* indices,
                        const qzAnimSaveOptions& options);
// Appends the top-left width x height of the bitmap's colours (masks and alpha channels have no
// place in the file). 0, ERR_MEM, or the writer's error.
int WriteAviBitMapFrame(qzAviWriter* writer, const qzBitMap* bitmap, int32_t width, int32_t height);
