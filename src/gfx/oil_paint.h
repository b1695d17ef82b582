// Oil paint: every pixel takes the value of the most frequent intensity in its window.
#pragma once

#include <cstddef>
#include <cstdint>

struct qzOilPaintJob {
    void* pixels;
    int width;
    int height;
    int stride;  // row length in pixels
    int format;
    double radius;
};

void OilPaintPixels32(const qzOilPaintJob* job);
void OilPaintPixels16(const qzOilPaintJob* job);
