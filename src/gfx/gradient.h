// The gradient renderer: linear, radial and conical colour gradients with up to 64 colour stops,
// drawn into a rectangle of a locked 16- or 32-bit pixel buffer through a 16.16 colour ramp.
// Pure computation: it allocates nothing and cannot fail.
#pragma once

#include <cstdint>

#include "runtime/applet_records.h"

// Gradient styles (qzGradient::style).
enum {
    GRADIENT_LINEAR = 2,
    GRADIENT_RADIAL = 3,
    GRADIENT_CONICAL = 4,
};

struct qzGradientJob {
    void* pixels;
    int bytesPerPixel;  // 2 or 4; other sizes draw nothing
    int pixelFormat;
    int x, y;
    int width, height;
    int rowLength;  // in pixels
    const qzGradient* gradient;
};

void RenderGradient(const qzGradientJob* job);

// The colour ramp: stop positions in 16.16 (1.0 = 0x10000), channels as 16-bit values.
struct qzRampStop {
    int32_t position;
    uint16_t red, green, blue;
};

enum {
    RAMP_REPEAT = 1,
    RAMP_PAD = 2,
    RAMP_REFLECT = 3,
};

struct qzColorRamp {
    const qzRampStop* stops;
    int count;
    int mode;              // RAMP_REPEAT, RAMP_PAD, RAMP_REFLECT, anything else: none (black outside the stops)
    int32_t lower, upper;  // the cached segment, 16.16
    uint32_t lowerGreen, lowerRedBlue;  // green 8 bits; red << 16 | blue
    uint32_t upperGreen, upperRedBlue;
    int32_t step;
    int dirty;
};

void InitColorRamp(qzColorRamp* ramp, const qzRampStop* stops, int count, int mode);
void FindRampSegment(qzColorRamp* ramp, int32_t position);
// 0x00RRGGBB at a 16.16 position.
uint32_t RampColor32(qzColorRamp* ramp, int32_t position);
// Native RGB565 at a 16.16 position.
uint16_t RampColor16(qzColorRamp* ramp, int32_t position);
