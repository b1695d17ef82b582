// The software pen of the shape renderer: one pen point with clipping, texture, opacity, mask
// and alpha handling, and the antialiased thin line, the thick line and coverage maps on it.
#pragma once

#include <cstdint>

struct qzPenTarget {
    void* pixels;
    int rowLength;              // in pixels
    int bytesPerPixel;          // 2 or 4; other values draw no colour
    const void* texturePixels;  // null for a plain colour; read at the target's x, y
    int textureRowLength;
    uint8_t* maskTarget;  // 1-bit, or null
    int maskBytesPerRow;
    uint8_t* alphaTarget;  // 8-bit, or null
    int alphaBytesPerRow;
    int penWidth;  // pixels, for the thick line
    int pixelFormat;
    uint32_t color;                       // pixel value in the target format (low 16 bits for 2-byte targets)
    int opacity;                          // current opacity 0..255, used by PlotPenPixel
    int penOpacity;                       // 0..255, 255 opaque
    int blendRed, blendGreen, blendBlue;  // 8-bit channels blended toward
    int clip;
    int clipX, clipY, clipWidth, clipHeight;
    const uint8_t* clipMask;  // 1-bit, relative to the clip rectangle's top left, or null
    int clipMaskBytesPerRow;
    int maskMode;  // 0, 2, 5 set; 1 clears; 3 toggles; 4 and above 5 leave
};

void PlotPenPixel(qzPenTarget* pen, int x, int y);
// Antialiased line one pixel wide (16.16 fixed point, two pixels per step).
void DrawPenLine(qzPenTarget* pen, int x1, int y1, int x2, int y2);
// Line of the pen width: runs across the major axis, lengthened by the slope.
void DrawThickPenLine(qzPenTarget* pen, int x1, int y1, int x2, int y2);
// Plots the pen at every non-zero byte of a width x height map placed at x, y: with the mask
// flag at the caller's opacity, else at the byte's value (scaled by the pen opacity).
void PlotCoverageMap(const uint8_t* map, int x, int y, qzPenTarget* pen, int width, int height, int mapBytesPerRow,
                     int maskFlag);
