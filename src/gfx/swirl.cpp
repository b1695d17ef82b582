#include "gfx/swirl.h"

#include <cmath>

#include "gfx/int_sqrt.h"
#include "gfx/wave_draw.h"
#include "gfx/wave_tables.h"

namespace {

// trunc(v) clamped to 0 .. hi (the conversion truncates; below 0 and NaN give 0).
int ClampInt(double v, int hi) {
    if (!(v > 0.0)) return 0;
    if (v >= hi) return hi;
    return (int)v;
}

template <typename Pixel>
void Swirl(qzSwirlJob* job, int frame) {
    if (!job || !job->destination || !job->sine || !job->cosine) return;
    if (job->width < 1 || job->height < 1) return;
    int w = job->width, h = job->height;
    double cx = w * 0.5, cy = h * 0.5, R = cx < cy ? cx : cy;
    int fade = (int)((long long)frame * 255 / 720);
    if (fade < 0) fade = 0;
    if (fade > 255) fade = 255;
    int angle = frame <= 359 ? frame : 720 - frame;
    double theta = angle * 0.017453292519943295;
    double kx = 1.0, ky = 1.0;
    if (w > h)
        ky = (double)w / h;
    else
        kx = (double)h / w;
    bool direct = !job->alphaMap && angle < 0;
    // The rotation depends on the integer distance alone: one cos/sin pair per distance.
    int maxD = (int)R + 1;
    double* rot = (double*)OsAlloc(((size_t)maxD + 1) * 2 * sizeof(double), 0);
    if (!rot) return;
    for (int d = 0; d <= maxD; d++) {
        double f = 1.0 - d / R;
        double phi = theta * f * f;
        if (direct) {
            rot[2 * d] = std::cos(phi);
            rot[2 * d + 1] = std::sin(phi);
        } else {
            int i = WaveTableIndex(phi);
            rot[2 * d] = job->cosine[i];
            rot[2 * d + 1] = job->sine[i];
        }
    }
    qzWaveDraw d{(const uint8_t*)job->source,
                 job->sourceRowLength,
                 (const uint8_t*)job->second,
                 job->secondRowLength,
                 (uint8_t*)job->destination,
                 job->destRowLength,
                 w,
                 h,
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
    double R2 = R * R;
    // Dividing by a factor of 1.0 changes nothing, so only the stretched axis divides.
    bool divideX = kx != 1.0, divideY = ky != 1.0;
    int rowY = -1;
    double dy = 0.0, dy2 = 0.0;
    if (copies.ok)
        DrawWaveFrame<Pixel>(d, [&](int x, int y, int* sx, int* sy) {
            if (y != rowY) rowY = y, dy = ky * (y - cy), dy2 = dy * dy;
            double dx = kx * (x - cx);
            double q = dx * dx + dy2;
            if (!(q < R2)) {
                *sx = x, *sy = y;
                return;
            }
            int dist = IntSqrt((int32_t)q);
            if (dist > maxD) dist = maxD;
            double c = rot[2 * dist], s = rot[2 * dist + 1];
            double u = c * dx - s * dy, v = s * dx + c * dy;
            *sx = ClampInt(cx + (divideX ? u / kx : u), w - 1);
            *sy = ClampInt(cy + (divideY ? v / ky : v), h - 1);
        });
    OsFree(rot);
}

}  // namespace

void BuildSwirlTables(qzSwirlJob* job) {
    if (job->sine) FillWaveSineTable(job->sine);
    if (job->cosine) FillWaveCosineTable(job->cosine);
}

void SwirlPixels32(qzSwirlJob* job, int frame) { Swirl<uint32_t>(job, frame); }
void SwirlPixels16(qzSwirlJob* job, int frame) { Swirl<uint16_t>(job, frame); }
