// Channel access by a run-time pixel format for the filter, quantiser, distortion and wave
// kernels, on top of the per-format readers and writers of pixel_access.h: 4-byte pixels of
// formats 10 to 13 and 2-byte pixels of formats 0 to 7 give 8-bit R, G, B (5-bit fields as
// value << 3, 6-bit green as value << 2); writing truncates to the fields and stores alpha 0.
// An unknown format is taken as 10 for 4-byte and as 4 for 2-byte pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "gfx/pixel_access.h"

// Calls fn(std::integral_constant<int, F>{}) for the format F a pixel of that size is read and
// written in: the format itself when it has that size, else the size's default. A 2-byte pixel
// is never handed to a 4-byte reader or writer.
template <typename Fn>
inline void DispatchFormatOfSize(int bytesPerPixel, int format, Fn&& fn) {
    if (bytesPerPixel == 4) {
        switch (format) {
        case 11: fn(std::integral_constant<int, 11>{}); return;
        case 12: fn(std::integral_constant<int, 12>{}); return;
        case 13: fn(std::integral_constant<int, 13>{}); return;
        default: fn(std::integral_constant<int, 10>{}); return;
        }
    }
    switch (format) {
    case 0: fn(std::integral_constant<int, 0>{}); return;
    case 1: fn(std::integral_constant<int, 1>{}); return;
    case 2: fn(std::integral_constant<int, 2>{}); return;
    case 3: fn(std::integral_constant<int, 3>{}); return;
    case 5: fn(std::integral_constant<int, 5>{}); return;
    case 6: fn(std::integral_constant<int, 6>{}); return;
    case 7: fn(std::integral_constant<int, 7>{}); return;
    default: fn(std::integral_constant<int, 4>{}); return;
    }
}

inline void UnpackPixelAt(const uint8_t* p, int bytesPerPixel, int format, int rgb[3]) {
    DispatchFormatOfSize(bytesPerPixel, format,
                         [&](auto f) { pixel_access::ReadRGB<decltype(f)::value>(p, rgb[0], rgb[1], rgb[2]); });
}

inline void PackPixelAt(uint8_t* p, int bytesPerPixel, int format, const int rgb[3]) {
    DispatchFormatOfSize(bytesPerPixel, format,
                         [&](auto f) { pixel_access::WriteRGB<decltype(f)::value>(p, rgb[0], rgb[1], rgb[2]); });
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
