#include "gfx/ripple.h"

#include <cmath>

#include "gfx/int_sqrt.h"
#include "gfx/wave_draw.h"
#include "gfx/wave_tables.h"

namespace {

const double kTwoPi = 6.28318530717959;

int ClampInt(double v, int hi) {
    if (!(v > 0.0)) return 0;
    if (v >= hi) return hi;
    return (int)v;
}

// Brings an angle into 0 .. 2 pi. Whole turns are taken off at once before the final steps, so
// the cost does not grow with the distance from the centre.
double WrapAngle(double a) {
    if (a > kTwoPi || a < 0.0) {
        double turns = std::floor(a / kTwoPi);
        if (std::isfinite(turns)) a -= turns * kTwoPi;
    }
    while (a > kTwoPi) a -= kTwoPi;
    while (a < 0.0) a += kTwoPi;
    return a;
}

template <typename Pixel>
void Ripple(qzRippleJob* job, int frame) {
    if (!job || !job->destination || !job->distances || !job->sine) return;
    if (job->width < 1 || job->height < 1) return;
    // A zero wavelength or radius has no wave to draw: the displacement divides by both.
    if (!(job->wavelength != 0.0) || job->radius == 0) return;
    int span = 2 * job->halfDuration;
    int fade = span > 0 ? (int)((long long)frame * 255 / span) : 255;
    if (fade < 0) fade = 0;
    if (fade > 255) fade = 255;
    double phase = job->phase;
    if (frame != -1) {
        job->amplitude = (frame < job->halfDuration ? frame : span - frame) * job->amplitudeStep;
        phase = frame;
    }
    // The displacement factor depends on the distance alone: one entry per distance that the
    // table holds, computed with the per-pixel formula.
    int maxD = 0;
    size_t count = (size_t)job->width * job->height;
    for (size_t i = 0; i < count; i++)
        if (job->distances[i] > maxD) maxD = job->distances[i];
    double* factor = (double*)OsAlloc(((size_t)maxD + 1) * sizeof(double), 0);
    if (!factor) return;
    double R = job->radius, wl = job->wavelength;
    for (int d = 0; d <= maxD; d++) {
        double angle = WrapAngle((d / wl) * kTwoPi - phase);
        double s = job->sine[WaveTableIndex(angle)];
        double a = job->amplitude * s * ((R - d) / R);
        if (d != 0) a = a * wl / d;
        factor[d] = a;
    }
    qzWaveDraw d{(const uint8_t*)job->source, job->sourceRowLength, (const uint8_t*)job->second,
                 job->secondRowLength, (uint8_t*)job->destination, job->destRowLength, job->width, job->height,
                 job->format, fade, job->fadeOut, job->alphaMap, job->alphaMapBytesPerRow, job->destAlpha,
                 job->destAlphaBytesPerRow, nullptr, 0, job->destMask, job->destMaskBytesPerRow,
                 job->sourceMask, job->sourceMaskBytesPerRow};
    qzWaveSourceCopies copies;
    copies.Prepare(&d, (int)sizeof(Pixel));
    if (copies.ok) {
        const int32_t* dist = job->distances;
        int cx = job->centerX, cy = job->centerY, w = job->width, h = job->height;
        DrawWaveFrame<Pixel>(d, [&](int x, int y, int* sx, int* sy) {
            int32_t dd = dist[(size_t)y * w + x];
            double a = dd >= 0 ? factor[dd] : 0.0;
            *sx = ClampInt(std::trunc(x + a * (x - cx)), w - 1);
            *sy = ClampInt(std::trunc(y + a * (y - cy)), h - 1);
        });
    }
    OsFree(factor);
}

}  // namespace

void BuildRippleTable(qzRippleJob* job) {
    if (job->sine) FillWaveSineTable(job->sine);
    if (!job->distances) return;
    int32_t* out = job->distances;
    for (int y = 0; y < job->height; y++)
        for (int x = 0; x < job->width; x++) {
            long long dx = x - job->centerX, dy = y - job->centerY;
            long long sq = dx * dx + dy * dy;
            *out++ = IntSqrt(sq > INT32_MAX ? INT32_MAX : (int32_t)sq);
        }
}

void RipplePixels32(qzRippleJob* job, int frame) { Ripple<uint32_t>(job, frame); }
void RipplePixels16(qzRippleJob* job, int frame) { Ripple<uint16_t>(job, frame); }
