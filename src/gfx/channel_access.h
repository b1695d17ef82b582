// Channel access by a run-time pixel format for the filter, quantiser, distortion and wave
// kernels, on top of the per-format readers and writers of pixel_access.h: 4-byte pixels of
// formats 10 to 13 and 2-byte pixels of formats 0 to 7 give 8-bit R, G, B (5-bit fields as
// value << 3, 6-bit green as value << 2); writing truncates to the fields and stores alpha 0.
// An unknown format is taken as 10 for 4-byte and as 4 for 2-byte pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/pixel_access.h"

inline void UnpackPixelAt(const uint8_t* p, int bytesPerPixel, int format, int rgb[3]) {
    auto read = [&](auto f) { pixel_access::ReadRGB<decltype(f)::value>(p, rgb[0], rgb[1], rgb[2]); };
    bool wide = bytesPerPixel == 4;
    if (wide != (format >= 10) || !pixel_access::DispatchRgbFormat(format, read))
        pixel_access::DispatchRgbFormat(wide ? 10 : 4, read);
}

inline void PackPixelAt(uint8_t* p, int bytesPerPixel, int format, const int rgb[3]) {
    auto write = [&](auto f) { pixel_access::WriteRGB<decltype(f)::value>(p, rgb[0], rgb[1], rgb[2]); };
    bool wide = bytesPerPixel == 4;
    if (wide != (format >= 10) || !pixel_access::DispatchRgbFormat(format, write))
        pixel_access::DispatchRgbFormat(wide ? 10 : 4, write);
}

inline void UnpackPixel32(int format, uint32_t w, int rgb[3]) { UnpackPixelAt((const uint8_t*)&w, 4, format, rgb); }
inline void UnpackPixel16(int format, uint16_t v, int rgb[3]) { UnpackPixelAt((const uint8_t*)&v, 2, format, rgb); }

inline uint32_t PackPixel32(int format, int r, int g, int b) {
    uint32_t w = 0;
    const int rgb[3] = {r, g, b};
    PackPixelAt((uint8_t*)&w, 4, format, rgb);
    return w;
}

inline uint16_t PackPixel16(int format, int r, int g, int b) {
    uint16_t v = 0;
    const int rgb[3] = {r, g, b};
    PackPixelAt((uint8_t*)&v, 2, format, rgb);
    return v;
}

// A double channel value clamped to 0..255 and truncated toward zero.
inline int ClampChannel(double v) {
    if (!(v >= 0.0)) return 0;
    if (v > 255.0) return 255;
    return (int)v;
}
