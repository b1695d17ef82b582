// HSL modulation: pixels are converted to hue, saturation and lightness, scaled by percentages
// (100 keeps a value) and converted back.
#pragma once

#include <cstddef>
#include <cstdint>

struct qzModulateJob {
    void* pixels;
    int width;
    int height;
    int stride;  // row length in pixels
    int format;
    int lightness;   // percent
    int saturation;  // percent
    int hue;         // percent
};

void RgbToHsl(int r, int g, int b, double* hue, double* saturation, double* lightness);
void ModulatePixel(double huePercent, double saturationPercent, double lightnessPercent, int* red, int* green,
                   int* blue);
void ModulatePixels32(const qzModulateJob* job);
void ModulatePixels16(const qzModulateJob* job);
