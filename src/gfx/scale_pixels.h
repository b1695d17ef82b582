// The scaler kernel: a source rectangle of any size into a destination rectangle of any size,
// nearest-pixel or smooth (bilinear), with the 1-bit mask and the 8-bit alpha channel carried
// along. It works on locked memory, allocates nothing and keeps no state, so the video refresh
// thread may call it; the step tables belong to the caller.
#pragma once

#include <cstdint>

struct qzScaleJob {
    const void* srcPixels;  // first pixel of the source rectangle, or null to scale only the mask
    void* dstPixels;
    const uint8_t* srcMask;  // first row of the source rectangle in the mask, or null
    uint8_t* dstMask;
    const uint8_t* srcAlpha;  // first byte of the source rectangle in the alpha channel, or null
    uint8_t* dstAlpha;
    int srcMaskBitOffset;  // x of the source rectangle inside the mask row
    int srcY;              // kept for the caller; not read
    int srcWidth, srcHeight;
    int dstWidth, dstHeight;
    int srcRowLength, dstRowLength;  // in pixels
    int srcMaskBytesPerRow, dstMaskBytesPerRow;
    int srcAlphaBytesPerRow, dstAlphaBytesPerRow;
    int smooth;         // 0 nearest, else bilinear
    int pixelFormat;    // read by the smooth path only
    int bytesPerPixel;  // 2 or 4 for the nearest path
    // Step tables of the smooth path: destination width + 1 (columns) and height + 1 (rows)
    // entries at least.
    int32_t* colFractions;
    int32_t* rowFractions;
    int32_t* colAdvances;
    int32_t* rowAdvances;
};

// Scales colour, mask and alpha as the job says.
void ScalePixels(const qzScaleJob* job);
// Nearest-pixel scaling of the mask alone, and of the alpha channel alone; the ratios are
// source size / destination size.
void ScaleMaskBits(const qzScaleJob* job, float xRatio, float yRatio);
void ScaleAlphaBytes(const qzScaleJob* job, float xRatio, float yRatio);

// A set of the four step tables with its capacities (entries per column table and per row
// table). Tables only grow.
struct qzScaleTables {
    int32_t* colFractions;
    int32_t* rowFractions;
    int32_t* colAdvances;
    int32_t* rowAdvances;
    int colCapacity;
    int rowCapacity;
};

// Grows the tables to hold width + 1 column and height + 1 row entries; returns 0, or ERR_MEM
// (the tables keep their old contents and capacities then).
int GrowScaleTables(qzScaleTables* tables, int width, int height);
void FreeScaleTables(qzScaleTables* tables);
// Points the job's four table fields at the set.
void AttachScaleTables(qzScaleJob* job, const qzScaleTables* tables);
