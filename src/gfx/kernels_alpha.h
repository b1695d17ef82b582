// Kernels on 8-bit alpha channels and 1-bit masks. Only the level formulas divide by 255.
#pragma once

#include <cstdint>

// d = s * level / 255 for width x height bytes (level clamped to 0..255).
void ScaleAlphaBytesByLevel(const uint8_t* src, uint8_t* dst, int level, int width, int height);

// Restricts a mask or alpha channel to a clip region's mask over a rectangle. The temporary (and
// the source mask and alpha) have the source's geometry and are read and written at sx + i, sy + j;
// the region mask is read at dx + i - regionX, dy + j - regionY.
struct qzClipMaskJob {
    const uint8_t* regionMask;
    uint8_t* temporary;
    const uint8_t* srcMask;  // optional
    int regionX, regionY;
    int sx, sy;
    int dx, dy;
    int width, height;
    const uint8_t* srcAlpha;   // optional: the temporary is an alpha channel
    int temporaryBytesPerRow;  // also the source mask's
    int regionBytesPerRow;
    int srcAlphaBytesPerRow;
};
// With a source alpha: temporary alpha = source alpha where the clip bit is set, else 0. Without:
// temporary bit = clip bit AND source mask bit (the clip bit alone without a source mask).
void ApplyClipMask(const qzClipMaskJob* job);

struct qzAlphaRectJob {
    const uint8_t* src;
    int srcX, srcY;
    int srcBytesPerRow;
    uint8_t* dst;
    int dstX, dstY;
    int dstBytesPerRow;
    int width, height;
    int mode;
    int level;  // mode 4: the level; mode 6: its low byte is the constant
};
// Modes (s source byte, d destination byte): 0 and unlisted d = s; 1 d = s where s != 0;
// 2 d = 255 - s where s != 0; 3 d = 255 where s != 0; 4 d = level * s / 255 where s != 0;
// 5 d = 255 - s where s != 0 and d != 0; 6 d = constant where s != 0; 7 d = s where s != 0 and
// d != 0, else 0; 8 d = 255 where s = 255; 9 s = 255 gives 255, other s != 0 give
// min(255, (s * 255 + (255 - s) * d + 127) / 255).
void CombineAlphaRect(const qzAlphaRectJob* job);

// Mask bits from alpha bytes; only alpha 255 counts as visible. Modes (visible / not visible):
// 0 and 2 set / clear; 1 clear / set; 3 toggle / unchanged; 5 set / unchanged; others nothing.
void AlphaRectToMask(const uint8_t* alpha, uint8_t* mask, int ax, int ay, int mx, int my, int alphaBytesPerRow,
                     int maskBytesPerRow, int width, int height, int mode);
