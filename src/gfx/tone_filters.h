// Per-pixel tone kernels of the image filters: solarize, channel lookup tables, sigmoidal
// contrast, sepia, histogram level stretching and the monochrome writer. Each works in place on a
// locked rectangle (row stride in pixels) and rebuilds pixels from their channels with alpha 0.
#pragma once

#include <cstddef>
#include <cstdint>

void SolarizePixels32(uint32_t* pixels, int width, int height, int stride, int format, int threshold);
void SolarizePixels16(uint16_t* pixels, int width, int height, int stride, int format, int threshold);

struct qzChannelTables {
    void* pixels;
    int width;
    int height;
    int stride;
    int format;
    const uint8_t* red;  // 256 entries each
    const uint8_t* green;
    const uint8_t* blue;
    int channels;  // 1 red, 2 green, 4 blue
};
void ApplyChannelTables32(const qzChannelTables* job);
void ApplyChannelTables16(const qzChannelTables* job);

// One pixel through the sigmoidal contrast curve in HSB space; sign > 0 raises contrast.
void ContrastPixel(int sign, int* red, int* green, int* blue);
void ContrastPixels32(uint32_t* pixels, int width, int height, int stride, int format, int sign);
void ContrastPixels16(uint16_t* pixels, int width, int height, int stride, int format, int sign);

void SepiaPixels32(uint32_t* pixels, int width, int height, int stride, int format, double threshold);
void SepiaPixels16(uint16_t* pixels, int width, int height, int stride, int format, double threshold);

struct qzLevelsJob {
    void* pixels;
    int width;
    int height;
    int stride;
    int blackCount;
    int whiteCount;
    int format;
    int bytesPerPixel;
};
// Black and white points of the intensity histogram; white is 0 when none is found.
void FindHistogramLevels(const qzLevelsJob* job, int* black, int* white);
void StretchLevels(const qzLevelsJob* job);

// Writes white where the byte map is non-zero and 0 elsewhere.
void WriteMonochrome32(uint32_t* pixels, int width, int height, int format, int stride, const uint8_t* map);
void WriteMonochrome16(uint16_t* pixels, int width, int height, int format, int stride, const uint8_t* map);

// Intensity 0.299 R + 0.587 G + 0.114 B of one pixel, as the histogram kernels bin it.
inline double PixelIntensity(int r, int g, int b) { return 0.299 * r + 0.587 * g + 0.114 * b; }

// A gamma lookup table: entry i = pow(i / 255, 1 / gamma) x 255 + 0.5, truncated and clamped to
// 0..255; gamma 0 gives all zeros.
void BuildGammaTable(uint8_t table[256], double gamma);
