#include "gfx/transform_bitmap.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/error_codes.h"
#include "gfx/bitmap_lock.h"
#include "gfx/transform_pixels.h"

namespace {

// Rounds up, ignoring the last bits of noise that sines and cosines of whole angles carry
// (cos 90 degrees is 6e-17, not 0).
int CeilSize(double v) {
    const double r = std::ceil(v - 1e-9 * std::fmax(1.0, std::fabs(v)));
    if (!(r > 0)) return 0;
    return r >= 2147483647.0 ? 2147483647 : (int)r;
}

int TruncInt(double v) {
    if (!(v > -2147483648.0)) return INT32_MIN;  // NaN too
    if (v >= 2147483647.0) return INT32_MAX;
    return (int)v;
}

}  // namespace

void GetMatrixBounds(int width, int height, const double m[4], int* outWidth, int* outHeight) {
    const double xs[4] = {0, (double)width, 0, (double)width}, ys[4] = {0, 0, (double)height, (double)height};
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (int k = 0; k < 4; k++) {
        const double x = xs[k] * m[0] + ys[k] * m[2], y = xs[k] * m[1] + ys[k] * m[3];
        minX = k == 0 ? x : std::min(minX, x);
        maxX = k == 0 ? x : std::max(maxX, x);
        minY = k == 0 ? y : std::min(minY, y);
        maxY = k == 0 ? y : std::max(maxY, y);
    }
    if (outWidth) *outWidth = CeilSize(maxX - minX);
    if (outHeight) *outHeight = CeilSize(maxY - minY);
}

void GetTransformedRectBounds(int x, int y, int width, int height, double anchorX, double anchorY, const double m[4],
                              int* outX, int* outY, int* outWidth, int* outHeight, double* outMaxX, double* outMaxY) {
    const double ax = width * anchorX, ay = height * anchorY;
    const double xs[4] = {0, (double)width - 1, 0, (double)width - 1};
    const double ys[4] = {0, 0, (double)height - 1, (double)height - 1};
    // Seeded from the first corner, so rectangles anywhere (beyond any fixed sentinel) are right.
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (int k = 0; k < 4; k++) {
        const double px = xs[k] - ax, py = ys[k] - ay;
        const double tx = px * m[0] + py * m[2] + ax, ty = px * m[1] + py * m[3] + ay;
        minX = k == 0 ? tx : std::min(minX, tx);
        maxX = k == 0 ? tx : std::max(maxX, tx);
        minY = k == 0 ? ty : std::min(minY, ty);
        maxY = k == 0 ? ty : std::max(maxY, ty);
    }
    if (outX) *outX = TruncInt(x + minX);
    if (outY) *outY = TruncInt(y + minY);
    if (outWidth) *outWidth = TruncInt(maxX - minX + 1);
    if (outHeight) *outHeight = TruncInt(maxY - minY + 1);
    if (outMaxX) *outMaxX = maxX;
    if (outMaxY) *outMaxY = maxY;
}

int TransformBitMap(const qzBitMap* source, const qzBitMap* mask, const qzBitMap* alpha, int width, int height,
                    const double m[4], int smooth, qzBitMap** outBitmap, qzBitMap** outMask, qzBitMap** outAlpha) {
    const double det = m[0] * m[3] - m[2] * m[1];
    if (det == 0 || !std::isfinite(det) || !std::isfinite(m[0]) || !std::isfinite(m[1]) || !std::isfinite(m[2]) ||
        !std::isfinite(m[3]))
        return ERR_WRONGUSAGE;
    if (!source || width < 1 || height < 1 || width > source->width || height > source->height) return ERR_WRONGUSAGE;
    if ((mask && (width > mask->width || height > mask->height)) ||
        (alpha && (width > alpha->width || height > alpha->height)))
        return ERR_WRONGUSAGE;
    int dw, dh;
    GetMatrixBounds(width, height, m, &dw, &dh);
    dw = std::max(dw, 1);
    dh = std::max(dh, 1);

    MadeBitMaps made;
    if (!(made.bitmap = CreateBitMap(dw, dh, 0, nullptr))) return ERR_BITMAP;
    if ((mask || !alpha) && !(made.mask = CreateMaskBitMap(made.bitmap, dw, dh, 1, nullptr, 0))) return ERR_ALLOCMASK;
    if (alpha && !(made.alpha = CreateAlphaBitMap(dw, dh, 1, nullptr, 0))) return ERR_ALLOCALPHA;
    BitMapLock src(source, LOCKF_READONLY);
    BitMapLock dst(made.bitmap, 0);
    if (!src.ok || !dst.ok) return ERR_LOCKBMAP;
    const int bpp = dst.info.bytesPerPixel;
    // The nearest kernel clears what it does not cover itself; otherwise the bitmap is cleared.
    const bool kernelClears = !smooth && src.info.bytesPerPixel == bpp && (bpp == 2 || bpp == 4);
    if (!kernelClears)
        for (int y = 0; y < dh; y++)
            std::memset((uint8_t*)dst.info.pixels + (int64_t)y * dst.info.rowLength * bpp, 0, (size_t)dw * bpp);

    qzTransformJob job{};
    job.srcPixels = src.info.pixels;
    job.dstPixels = dst.info.pixels;
    job.srcWidth = width;
    job.srcHeight = height;
    job.srcRowLength = src.info.rowLength;
    job.dstWidth = dw;
    job.dstHeight = dh;
    job.dstRowLength = dst.info.rowLength;
    job.a = m[0];
    job.b = m[1];
    job.c = m[2];
    job.d = m[3];
    PlaceTransformMatrix(m[0], m[1], m[2], m[3], width, height, &job.e, &job.f);
    job.smooth = smooth;
    job.clearUncovered = kernelClears;
    job.pixelFormat = src.info.pixelFormat;
    job.bytesPerPixel = src.info.bytesPerPixel;
    if (src.info.bytesPerPixel != dst.info.bytesPerPixel) job.srcPixels = job.dstPixels = nullptr;
    if (mask) {
        job.srcMask = (const uint8_t*)QueryBitMapAttr(mask, BMATTR_MASKPIXELS);
        job.srcMaskBytesPerRow = (int)QueryBitMapAttr(mask, BMATTR_MASKBYTESPERROW);
        if (!job.srcMask) return ERR_LOCKBMAP;
    }
    if (made.mask) {
        job.dstMask = (uint8_t*)QueryBitMapAttr(made.mask, BMATTR_MASKPIXELS);
        job.dstMaskBytesPerRow = (int)QueryBitMapAttr(made.mask, BMATTR_MASKBYTESPERROW);
        if (!job.dstMask) return ERR_LOCKBMAP;
    }
    if (alpha) {
        job.srcAlpha = (const uint8_t*)QueryBitMapAttr(alpha, BMATTR_ALPHAPIXELS);
        job.srcAlphaBytesPerRow = (int)QueryBitMapAttr(alpha, BMATTR_ALPHABYTESPERROW);
        job.dstAlpha = (uint8_t*)QueryBitMapAttr(made.alpha, BMATTR_ALPHAPIXELS);
        job.dstAlphaBytesPerRow = (int)QueryBitMapAttr(made.alpha, BMATTR_ALPHABYTESPERROW);
        if (!job.srcAlpha || !job.dstAlpha) return ERR_LOCKBMAP;
    }
    TransformPixels(&job);
    made.Release(outBitmap, outMask, outAlpha);
    return 0;
}
