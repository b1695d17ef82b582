#include "gfx/line_displace.h"

#include <cmath>

#include "gfx/mask_bits.h"

namespace {

template <typename Pixel>
void CopyLineRect(const qzDisplaceJob* job, int sx, int sy, int dx, int dy, int width, int height) {
    const Pixel* src = (const Pixel*)job->source;
    Pixel* dst = (Pixel*)job->destination;
    bool mask = job->sourceMask && job->destMask;
    bool alpha = !mask && job->sourceAlpha && job->destAlpha;
    for (int j = 0; j < height; j++)
        for (int i = 0; i < width; i++) {
            int x0 = sx + i, y0 = sy + j, x1 = dx + i, y1 = dy + j;
            Pixel p = src[(size_t)y0 * job->sourceRowLength + x0];
            Pixel* out = &dst[(size_t)y1 * job->destRowLength + x1];
            if (mask) {
                *out = p;
                PutMaskBit(RowAt(job->destMask, y1, job->destMaskBytesPerRow), x1,
                           GetMaskBit(RowAt(job->sourceMask, y0, job->sourceMaskBytesPerRow), x0));
            } else if (alpha) {
                uint8_t a = job->sourceAlpha[(size_t)y0 * job->sourceAlphaBytesPerRow + x0];
                uint8_t* da = &job->destAlpha[(size_t)y1 * job->destAlphaBytesPerRow + x1];
                if (a != 0) {
                    *out = p;
                    *da = a;
                } else {
                    *da = 0;
                }
            } else {
                *out = p;
            }
        }
}

}  // namespace

void CopyLineRect32(const qzDisplaceJob* job, int sx, int sy, int dx, int dy, int w, int h) {
    CopyLineRect<uint32_t>(job, sx, sy, dx, dy, w, h);
}

void CopyLineRect16(const qzDisplaceJob* job, int sx, int sy, int dx, int dy, int w, int h) {
    CopyLineRect<uint16_t>(job, sx, sy, dx, dy, w, h);
}

void DisplaceLines(qzDisplaceJob* job) {
    job->copied = 0;
    job->firstCopied = -100000;
    job->lastOut = job->lastLine;
    if (!job->source || !job->destination || !job->offsets || job->lines < 1) return;
    if (job->bytesPerPixel != 2 && job->bytesPerPixel != 4) return;
    int n = job->lines, L = job->lastLine;
    int limit = job->direction ? job->width : job->height;
    double step = 2.0 * M_PI / n;
    for (int i = 0; i < n; i++) {
        long long dest = (long long)L - n + 1 + i;
        double shift = std::trunc(job->offsets[i] / step);
        if (!(std::fabs(shift) < 1e9)) continue;
        long long src = (long long)L + (long long)shift;
        if (dest < 0 || dest >= limit || src < 0 || src >= limit) continue;
        int s = (int)src, d = (int)dest;
        if (job->direction) {
            if (job->bytesPerPixel == 4)
                CopyLineRect32(job, s, 0, d, 0, 1, job->height);
            else
                CopyLineRect16(job, s, 0, d, 0, 1, job->height);
        } else {
            if (job->bytesPerPixel == 4)
                CopyLineRect32(job, 0, s, 0, d, job->width, 1);
            else
                CopyLineRect16(job, 0, s, 0, d, job->width, 1);
        }
        if (job->copied == 0) job->firstCopied = d;
        job->copied++;
    }
}

void ThresholdMapToPlane(const qzThresholdJob* job, int level) {
    if (!job || !job->destination || !job->map) return;
    for (int y = 0; y < job->height; y++) {
        const uint8_t* m = job->map + (size_t)y * job->width;
        for (int x = 0; x < job->width; x++) {
            bool shown = job->reverse ? m[x] >= level : m[x] < level;
            if (job->alphaKind) {
                uint8_t v = 0;
                if (shown) v = job->source ? job->source[(size_t)y * job->sourceBytesPerRow + x] : 255;
                job->destination[(size_t)y * job->destBytesPerRow + x] = v;
            } else {
                bool set = shown && (!job->source || GetMaskBit(RowAt(job->source, y, job->sourceBytesPerRow), x));
                PutMaskBit(RowAt(job->destination, y, job->destBytesPerRow), x, set);
            }
        }
    }
}
