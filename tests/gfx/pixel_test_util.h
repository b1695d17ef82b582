// Helpers of the pixel engine tests: a deterministic random source, padded pixel buffers, and the
// SDL and pixman names of the engine's pixel formats.
#pragma once

#include <SDL.h>
#include <pixman.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "gfx/pixel_format.h"

struct TestRng {
    uint32_t state;
    explicit TestRng(uint32_t seed) : state(seed) {}
    uint32_t Next() {
        state = state * 1664525u + 1013904223u;
        uint32_t x = state;
        x ^= x >> 15;
        x *= 0x2C1B3C6Du;
        x ^= x >> 12;
        return x;
    }
    int Below(int n) { return (int)(Next() % (uint32_t)n); }
};

// Rows of rowLength pixels of `bytes` bytes each (2 or 4), filled with random bytes.
struct PixelBuffer {
    int bytes, rowLength, rows;
    std::vector<uint32_t> words;  // 4-byte aligned storage
    PixelBuffer(int b, int rl, int r, TestRng& rng)
        : bytes(b), rowLength(rl), rows(r), words(((size_t)rl * r * b + 3) / 4) {
        for (uint32_t& w : words) w = rng.Next();
    }
    void* Data() { return words.data(); }
    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(words.data()); }
    int Pitch() const { return rowLength * bytes; }
    uint32_t Get(int x, int y) const {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(words.data()) + ((size_t)y * rowLength + x) * bytes;
        if (bytes == 2) {
            uint16_t v;
            std::memcpy(&v, p, 2);
            return v;
        }
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    void Set(int x, int y, uint32_t v) {
        uint8_t* p = Bytes() + ((size_t)y * rowLength + x) * bytes;
        if (bytes == 2) {
            uint16_t s = (uint16_t)v;
            std::memcpy(p, &s, 2);
        } else {
            std::memcpy(p, &v, 4);
        }
    }
};

// SDL's name of a format and whether the engine's value is SDL's with its two bytes exchanged.
struct SdlFormat {
    uint32_t sdl;
    bool swapped;
};
inline SdlFormat SdlFormatOf(int format) {
    switch (format) {
    case PIXFMT_RGB555: return {SDL_PIXELFORMAT_RGB555, false};
    case PIXFMT_BGR555: return {SDL_PIXELFORMAT_BGR555, false};
    case PIXFMT_RGB555_SWAPPED: return {SDL_PIXELFORMAT_RGB555, true};
    case PIXFMT_BGR555_SWAPPED: return {SDL_PIXELFORMAT_BGR555, true};
    case PIXFMT_RGB565: return {SDL_PIXELFORMAT_RGB565, false};
    case PIXFMT_BGR565: return {SDL_PIXELFORMAT_BGR565, false};
    case PIXFMT_RGB565_SWAPPED: return {SDL_PIXELFORMAT_RGB565, true};
    case PIXFMT_BGR565_SWAPPED: return {SDL_PIXELFORMAT_BGR565, true};
    case PIXFMT_RGB24: return {SDL_PIXELFORMAT_RGB24, false};
    case PIXFMT_BGR24: return {SDL_PIXELFORMAT_BGR24, false};
    case PIXFMT_ARGB32: return {SDL_PIXELFORMAT_ARGB8888, false};
    case PIXFMT_BGRA32: return {SDL_PIXELFORMAT_BGRA8888, false};
    case PIXFMT_RGBA32: return {SDL_PIXELFORMAT_RGBA8888, false};
    default: return {SDL_PIXELFORMAT_ABGR8888, false};
    }
}

// pixman's name of a format 0..13 (swapped 16-bit formats have none).
inline pixman_format_code_t PixmanFormatOf(int format) {
    switch (format) {
    case PIXFMT_RGB555: return PIXMAN_x1r5g5b5;
    case PIXFMT_BGR555: return PIXMAN_x1b5g5r5;
    case PIXFMT_RGB565: return PIXMAN_r5g6b5;
    case PIXFMT_BGR565: return PIXMAN_b5g6r5;
    case PIXFMT_RGB24: return PIXMAN_b8g8r8;  // 24-bit value 0xBBGGRR: bytes R, G, B in memory
    case PIXFMT_BGR24: return PIXMAN_r8g8b8;
    case PIXFMT_ARGB32: return PIXMAN_a8r8g8b8;
    case PIXFMT_BGRA32: return PIXMAN_b8g8r8a8;
    case PIXFMT_RGBA32: return PIXMAN_r8g8b8a8;
    case PIXFMT_ABGR32: return PIXMAN_a8b8g8r8;
    default: return (pixman_format_code_t)0;
    }
}

inline uint32_t Swap16(uint32_t v) { return ((v & 0xFF) << 8) | ((v >> 8) & 0xFF); }

// The bits of a 0xAARRGGBB value that a format keeps (the engine widens without replicating).
inline uint32_t KeptBits(int format) {
    if (format <= 3) return 0x00F8F8F8;
    if (format <= 7) return 0x00F8FCF8;
    if (format <= 9) return 0x00FFFFFF;
    return 0xFFFFFFFF;
}
