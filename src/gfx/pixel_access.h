// Per-format pixel access compiled into the inner loops of the resampling, gradient, pen and
// YUV kernels: one instantiation per pixel format, so a loop over a row has no format switch.
// Reading gives 8-bit R, G, B (5-bit fields as value << 3, 6-bit green as value << 2);
// writing truncates each channel to its field and stores 0 in the alpha byte of 32-bit formats.
// Formats 0-7 are 16-bit words (2, 3, 6, 7 with their two bytes exchanged), 10-13 are 32-bit
// words 0xAARRGGBB, 0xBBGGRRAA, 0xRRGGBBAA and 0xAABBGGRR, all in host order.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace pixel_access {

inline uint16_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline void Store16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline uint16_t Swap16(uint16_t v) { return (uint16_t)((v >> 8) | (v << 8)); }

// True for the formats whose pixels the resampling kernels read and write channel by channel.
constexpr bool IsRgbFormat(int f) { return (f >= 0 && f <= 7) || (f >= 10 && f <= 13); }
constexpr int FormatBytes(int f) { return f <= 7 ? 2 : 4; }

// Reads R, G, B of the pixel at p in format F.
template <int F>
inline void ReadRGB(const uint8_t* p, int& r, int& g, int& b) {
    if constexpr (F <= 7) {
        uint16_t v = Load16(p);
        if constexpr (F == 2 || F == 3 || F == 6 || F == 7) v = Swap16(v);
        int hi, mid, lo;
        if constexpr (F <= 3) {
            hi = ((v >> 10) & 31) << 3;
            mid = ((v >> 5) & 31) << 3;
            lo = (v & 31) << 3;
        } else {
            hi = ((v >> 11) & 31) << 3;
            mid = ((v >> 5) & 63) << 2;
            lo = (v & 31) << 3;
        }
        g = mid;
        if constexpr (F == 0 || F == 2 || F == 4 || F == 6) {
            r = hi;
            b = lo;
        } else {
            r = lo;
            b = hi;
        }
    } else {
        uint32_t w = Load32(p);
        if constexpr (F == 11) {
            b = (int)(w >> 24);
            g = (int)((w >> 16) & 255);
            r = (int)((w >> 8) & 255);
        } else if constexpr (F == 12) {
            r = (int)(w >> 24);
            g = (int)((w >> 16) & 255);
            b = (int)((w >> 8) & 255);
        } else if constexpr (F == 13) {
            b = (int)((w >> 16) & 255);
            g = (int)((w >> 8) & 255);
            r = (int)(w & 255);
        } else {
            r = (int)((w >> 16) & 255);
            g = (int)((w >> 8) & 255);
            b = (int)(w & 255);
        }
    }
}

// The pixel value of format F for 8-bit R, G, B (alpha byte 0).
template <int F>
inline uint32_t PackRGB(int r, int g, int b) {
    if constexpr (F <= 7) {
        int hi = (F == 0 || F == 2 || F == 4 || F == 6) ? r : b;
        int lo = (F == 0 || F == 2 || F == 4 || F == 6) ? b : r;
        uint16_t v;
        if constexpr (F <= 3)
            v = (uint16_t)(((hi >> 3) << 10) | ((g >> 3) << 5) | (lo >> 3));
        else
            v = (uint16_t)(((hi >> 3) << 11) | ((g >> 2) << 5) | (lo >> 3));
        if constexpr (F == 2 || F == 3 || F == 6 || F == 7) v = Swap16(v);
        return v;
    } else if constexpr (F == 11) {
        return (uint32_t)b << 24 | (uint32_t)g << 16 | (uint32_t)r << 8;
    } else if constexpr (F == 12) {
        return (uint32_t)r << 24 | (uint32_t)g << 16 | (uint32_t)b << 8;
    } else if constexpr (F == 13) {
        return (uint32_t)b << 16 | (uint32_t)g << 8 | (uint32_t)r;
    } else {
        return (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b;
    }
}

template <int F>
inline void WriteRGB(uint8_t* p, int r, int g, int b) {
    if constexpr (F <= 7)
        Store16(p, (uint16_t)PackRGB<F>(r, g, b));
    else
        Store32(p, PackRGB<F>(r, g, b));
}

// Calls fn(std::integral_constant<int, F>{}) for a format F of 0-7 or 10-13; returns false
// (and calls nothing) for any other format.
template <typename Fn>
inline bool DispatchRgbFormat(int format, Fn&& fn) {
    switch (format) {
    case 0: fn(std::integral_constant<int, 0>{}); return true;
    case 1: fn(std::integral_constant<int, 1>{}); return true;
    case 2: fn(std::integral_constant<int, 2>{}); return true;
    case 3: fn(std::integral_constant<int, 3>{}); return true;
    case 4: fn(std::integral_constant<int, 4>{}); return true;
    case 5: fn(std::integral_constant<int, 5>{}); return true;
    case 6: fn(std::integral_constant<int, 6>{}); return true;
    case 7: fn(std::integral_constant<int, 7>{}); return true;
    case 10: fn(std::integral_constant<int, 10>{}); return true;
    case 11: fn(std::integral_constant<int, 11>{}); return true;
    case 12: fn(std::integral_constant<int, 12>{}); return true;
    case 13: fn(std::integral_constant<int, 13>{}); return true;
    default: return false;
    }
}

}  // namespace pixel_access
