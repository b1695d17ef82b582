// Channel access for the filter, quantiser and distortion kernels: 4-byte pixels of formats 10
// to 13 are read as 0xAARRGGBB and 2-byte pixels of formats 0 to 7 as RGB565 with components
// widened to 8 bits (R = (p >> 8) & 0xF8, G = (p >> 3) & 0xFC, B = (p & 0x1F) << 3); writing
// narrows back the same way. Kernels that rebuild a pixel from its channels write alpha 0.
#pragma once

#include <cstddef>
#include <cstdint>

inline uint32_t ArgbFromPixel32(int format, uint32_t w) {
    switch (format) {
    case 11: return (w << 24) | ((w >> 8) & 0xFF) << 16 | ((w >> 16) & 0xFF) << 8 | (w >> 24);
    case 12: return (w >> 8) | (w << 24);
    case 13: return (w & 0xFF00FF00u) | ((w >> 16) & 0xFF) | ((w & 0xFF) << 16);
    default: return w;
    }
}

inline uint32_t Pixel32FromArgb(int format, uint32_t c) {
    switch (format) {
    case 11: return (c & 0xFF) << 24 | ((c >> 8) & 0xFF) << 16 | ((c >> 16) & 0xFF) << 8 | (c >> 24);
    case 12: return (c << 8) | (c >> 24);
    case 13: return (c & 0xFF00FF00u) | ((c >> 16) & 0xFF) | ((c & 0xFF) << 16);
    default: return c;
    }
}

inline uint16_t SwapBytes16(uint16_t v) { return (uint16_t)((v >> 8) | (v << 8)); }

// Formats 0 to 7 to RGB565: 5-bit green gains a zero low bit, BGR layouts exchange red and blue,
// swapped layouts exchange the two bytes first.
inline uint16_t Rgb565FromPixel16(int format, uint16_t v) {
    if (format & 2) v = SwapBytes16(v);
    unsigned r, g, b;
    switch (format & ~2) {
    case 0: r = (v >> 10) & 31; g = ((v >> 5) & 31) << 1; b = v & 31; break;
    case 1: b = (v >> 10) & 31; g = ((v >> 5) & 31) << 1; r = v & 31; break;
    case 5: b = v >> 11; g = (v >> 5) & 63; r = v & 31; break;
    default: return v;
    }
    return (uint16_t)(r << 11 | g << 5 | b);
}

inline uint16_t Pixel16FromRgb565(int format, uint16_t v) {
    unsigned r = v >> 11, g = (v >> 5) & 63, b = v & 31;
    uint16_t out;
    switch (format & ~2) {
    case 0: out = (uint16_t)(r << 10 | (g >> 1) << 5 | b); break;
    case 1: out = (uint16_t)(b << 10 | (g >> 1) << 5 | r); break;
    case 5: out = (uint16_t)(b << 11 | g << 5 | r); break;
    default: out = v; break;
    }
    return (format & 2) ? SwapBytes16(out) : out;
}

inline void UnpackPixel32(int format, uint32_t w, int rgb[3]) {
    uint32_t c = ArgbFromPixel32(format, w);
    rgb[0] = (c >> 16) & 0xFF;
    rgb[1] = (c >> 8) & 0xFF;
    rgb[2] = c & 0xFF;
}

inline uint32_t PackPixel32(int format, int r, int g, int b) {
    return Pixel32FromArgb(format, (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b);
}

inline void UnpackPixel16(int format, uint16_t v, int rgb[3]) {
    uint16_t p = Rgb565FromPixel16(format, v);
    rgb[0] = (p >> 8) & 0xF8;
    rgb[1] = (p >> 3) & 0xFC;
    rgb[2] = (p & 0x1F) << 3;
}

inline uint16_t PackPixel16(int format, int r, int g, int b) {
    return Pixel16FromRgb565(format, (uint16_t)((r & 0xF8) << 8 | (g & 0xFC) << 3 | (b >> 3)));
}

// Reads the R, G, B bytes of a 2- or 4-byte pixel at `p`.
inline void UnpackPixelAt(const uint8_t* p, int bytesPerPixel, int format, int rgb[3]) {
    if (bytesPerPixel == 4)
        UnpackPixel32(format, *(const uint32_t*)p, rgb);
    else
        UnpackPixel16(format, *(const uint16_t*)p, rgb);
}

inline void PackPixelAt(uint8_t* p, int bytesPerPixel, int format, const int rgb[3]) {
    if (bytesPerPixel == 4)
        *(uint32_t*)p = PackPixel32(format, rgb[0], rgb[1], rgb[2]);
    else
        *(uint16_t*)p = PackPixel16(format, rgb[0], rgb[1], rgb[2]);
}

// A double channel value clamped to 0..255 and truncated toward zero.
inline int ClampChannel(double v) {
    if (!(v >= 0.0)) return 0;
    if (v > 255.0) return 255;
    return (int)v;
}
