// The numbers of the engine's pixel layouts and their sizes. 16-bit layouts are read and written
// as one native 16-bit word, 32-bit layouts as one native 32-bit word (alpha is `w >> 24` in
// format 10); a swapped 16-bit layout stores the same value with its two bytes exchanged.
#pragma once

enum qzPixelFormat {
    PIXFMT_RGB555 = 0,  // bits 14-10 red, 9-5 green, 4-0 blue
    PIXFMT_BGR555 = 1,  // bits 14-10 blue, 9-5 green, 4-0 red
    PIXFMT_RGB555_SWAPPED = 2,
    PIXFMT_BGR555_SWAPPED = 3,
    PIXFMT_RGB565 = 4,  // bits 15-11 red, 10-5 green, 4-0 blue: the native 16-bit layout
    PIXFMT_BGR565 = 5,  // bits 15-11 blue, 10-5 green, 4-0 red
    PIXFMT_RGB565_SWAPPED = 6,
    PIXFMT_BGR565_SWAPPED = 7,
    PIXFMT_RGB24 = 8,    // bytes red, green, blue in memory order
    PIXFMT_BGR24 = 9,    // bytes blue, green, red in memory order
    PIXFMT_ARGB32 = 10,  // word 0xAARRGGBB: the engine's main layout
    PIXFMT_BGRA32 = 11,  // word 0xBBGGRRAA
    PIXFMT_RGBA32 = 12,  // word 0xRRGGBBAA
    PIXFMT_ABGR32 = 13,  // word 0xAABBGGRR
    PIXFMT_ALPHA8 = 14,  // one byte a pixel, 0 transparent, 255 opaque
    PIXFMT_MASK1 = 15,   // one bit a pixel, set = visible
};

// Bytes per pixel: 2 for formats 0-7, 3 for 8-9, 4 for 10-13, 0 for anything else (14 and 15
// included: alpha channels and masks have no colour pixels).
inline int GetPixelFormatBytes(int format) {
    if (format >= 0 && format <= 7) return 2;
    if (format == 8 || format == 9) return 3;
    if (format >= 10 && format <= 13) return 4;
    return 0;
}

// Colour depth in bits: 15, 16, 24 or 32; 0 for anything else.
inline int GetPixelFormatDepth(int format) {
    if (format >= 0 && format <= 3) return 15;
    if (format >= 4 && format <= 7) return 16;
    if (format == 8 || format == 9) return 24;
    if (format >= 10 && format <= 13) return 32;
    return 0;
}
