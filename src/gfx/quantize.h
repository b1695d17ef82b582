// The colour quantiser: an exact palette for images with few enough distinct pixel values,
// otherwise a two-pass median cut over a 5-6-5 histogram with an optional Floyd-Steinberg dither,
// extended by a transparent colour and a spare palette entry.
#pragma once

#include <cstddef>
#include <cstdint>

struct qzQuantJob {
    const void* pixels;
    int format;         // qzPixelFormat of the pixels
    int bytesPerPixel;  // 3: 24-bit values from three bytes, 4: 32-bit words, else 16-bit words
    int width;
    int height;
    int rowLength;        // in pixels
    uint8_t* indices;     // width x height bytes, rows packed
    uint32_t* palette;    // up to 256 entries 0x00RRGGBB
    int colors;           // in: most colours wanted; out: palette entries written
    int32_t transparent;  // 0x00RRGGBB or -1
    int spareEntry;       // with no transparent colour: append one (black) entry
    int dither;
    int success;           // out
    int transparentIndex;  // out, -1 when none
};

void MedianCutQuantize(qzQuantJob* job);

// R, G, B bytes of a pixel of format 0 to 13 (8 read as bytes R, G, B and 9 as B, G, R).
void ReadQuantPixel(const uint8_t* pixel, int format, int out[3]);
