// Per-line wave displacement (rows or columns copied from offset lines) and the threshold
// kernel that writes a mask or alpha channel from a byte map.
#pragma once

#include <cstddef>
#include <cstdint>

struct qzDisplaceJob {
    const void* source;
    void* destination;
    const uint8_t* sourceMask;  // masks or alpha channels, each optional
    uint8_t* destMask;
    int sourceMaskBytesPerRow;
    int destMaskBytesPerRow;
    const uint8_t* sourceAlpha;
    uint8_t* destAlpha;
    int sourceAlphaBytesPerRow;
    int destAlphaBytesPerRow;
    const double* offsets;  // one per line
    int sourceRowLength;    // in pixels
    int destRowLength;
    int width;
    int height;
    int direction;      // 0 rows, non-zero columns
    int lines;          // n
    int lastLine;       // L
    int bytesPerPixel;  // 2 or 4
    int copied;         // out: lines copied
    int firstCopied;    // out: first destination line copied, -100000 when none
    int lastOut;        // out: L
};

// One rectangle (a row or a column) from source x, y to destination x, y with the job's mask or
// alpha rule: with a mask the pixels are copied and the mask bits follow the source's; with an
// alpha channel pixel and alpha are copied where the source alpha is not 0 and the alpha is 0
// elsewhere; with neither the pixels are copied.
void CopyLineRect32(const qzDisplaceJob* job, int sx, int sy, int dx, int dy, int width, int height);
void CopyLineRect16(const qzDisplaceJob* job, int sx, int sy, int dx, int dy, int width, int height);

void DisplaceLines(qzDisplaceJob* job);

struct qzThresholdJob {
    const uint8_t* source;  // source mask or alpha channel, or null
    int sourceBytesPerRow;
    uint8_t* destination;
    int destBytesPerRow;
    int width;
    int height;
    const uint8_t* map;  // width x height bytes, row length = width
    int alphaKind;       // non-zero: alpha channels; 0: masks
    int reverse;
};

// Shows a pixel when its map byte is below the level (reverse: at or above it). Shown pixels
// copy the source bit or byte, or are set (bit set, alpha 255) without a source; hidden pixels
// are cleared.
void ThresholdMapToPlane(const qzThresholdJob* job, int level);
