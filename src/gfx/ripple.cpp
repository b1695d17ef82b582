#include "gfx/ripple.h"

#include <cmath>
#include <initializer_list>

#include "gfx/int_sqrt.h"
#include "gfx/wave_draw.h"
#include "gfx/wave_tables.h"

namespace {

const double kTwoPi = 6.28318530717959;

// trunc(v) clamped to 0 .. hi (the conversion truncates; below 0 and NaN give 0).
int ClampInt(double v, int hi) {
    if (!(v > 0.0)) return 0;
    if (v >= hi) return hi;
    return (int)v;
}

// Brings an angle into 0 .. 2 pi. Whole turns are taken off at once before the final steps, so
// the cost does not grow with the distance from the centre.
double WrapAngle(double a) {
    if (std::fabs(a) > 1e6) {
        a = std::fmod(a, kTwoPi);  // exact where whole turns would swamp the fraction
    } else if (a > kTwoPi || a < 0.0) {
        a -= std::floor(a / kTwoPi) * kTwoPi;
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
    // The displacement factor depends on the distance alone: one entry per distance up to the
    // farthest corner's (the largest a distance table from BuildRippleTable holds); any other
    // entry is computed on the spot with the same formula.
    const int32_t* dist = job->distances;
    size_t w = job->width, h = job->height;
    int maxD = 0;
    for (size_t i : {(size_t)0, w - 1, (h - 1) * w, h * w - 1})
        if (dist[i] > maxD) maxD = dist[i];
    double* factor = (double*)OsAlloc(((size_t)maxD + 1) * sizeof(double), 0);
    if (!factor) return;
    double R = job->radius, wl = job->wavelength, amplitude = job->amplitude;
    const double* sine = job->sine;
    auto displacement = [=](int32_t d) {
        double angle = WrapAngle((d / wl) * kTwoPi - phase);
        double s = sine[WaveTableIndex(angle)];
        double a = amplitude * s * ((R - d) / R);
        if (d != 0) a = a * wl / d;
        return a;
    };
    for (int d = 0; d <= maxD; d++) factor[d] = displacement(d);
    qzWaveDraw d{(const uint8_t*)job->source,
                 job->sourceRowLength,
                 (const uint8_t*)job->second,
                 job->secondRowLength,
                 (uint8_t*)job->destination,
                 job->destRowLength,
                 job->width,
                 job->height,
                 job->format,
                 fade,
                 job->fadeOut,
                 job->alphaMap,
                 job->alphaMapBytesPerRow,
                 job->destAlpha,
                 job->destAlphaBytesPerRow,
                 nullptr,
                 0,
                 job->destMask,
                 job->destMaskBytesPerRow,
                 job->sourceMask,
                 job->sourceMaskBytesPerRow};
    qzWaveSourceCopies copies;
    copies.Prepare(&d, (int)sizeof(Pixel));
    if (copies.ok) {
        int cx = job->centerX, cy = job->centerY, right = job->width - 1, bottom = job->height - 1;
        DrawWaveFrame<Pixel>(d, [&](int x, int y, int* sx, int* sy) {
            int32_t dd = dist[(size_t)y * w + x];
            double a = (dd >= 0 && dd <= maxD) ? factor[dd] : displacement(dd);
            *sx = ClampInt(x + a * (x - cx), right);
            *sy = ClampInt(y + a * (y - cy), bottom);
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
