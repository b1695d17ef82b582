#include "gfx/scale_bitmap.h"

#include "base/error_codes.h"
#include "gfx/bitmap_lock.h"
#include "gfx/scale_pixels.h"

namespace {

// Main thread only, like every front-end: the video refresh thread keeps its own set.
qzScaleTables g_tables;

bool Inside(int x, int y, int w, int h, int width, int height) {
    return x >= 0 && y >= 0 && w > 0 && h > 0 && (int64_t)x + w <= width && (int64_t)y + h <= height;
}

}  // namespace

int ScaleBitMap(const qzBitMap* source, const qzBitMap* sourceMask, const qzBitMap* sourceAlpha, int sx, int sy,
                qzBitMap* existing, int sourceWidth, int sourceHeight, int newWidth, int newHeight, int smooth,
                qzBitMap** outBitmap, qzBitMap** outMask, qzBitMap** outAlpha) {
    if (newWidth < 1 || newHeight < 1) return 0;
    if (!source || !Inside(sx, sy, sourceWidth, sourceHeight, source->width, source->height)) return ERR_WRONGUSAGE;
    if (sourceMask && !Inside(sx, sy, sourceWidth, sourceHeight, sourceMask->width, sourceMask->height))
        return ERR_WRONGUSAGE;
    if (sourceAlpha && !Inside(sx, sy, sourceWidth, sourceHeight, sourceAlpha->width, sourceAlpha->height))
        return ERR_WRONGUSAGE;
    if (existing && (existing->width < newWidth || existing->height < newHeight)) return ERR_WRONGUSAGE;
    if (int err = GrowScaleTables(&g_tables, newWidth, newHeight)) return err;

    MadeBitMaps made;
    qzBitMap* target = existing;
    if (!existing) {
        made.bitmap = CreateBitMap(newWidth, newHeight, 0, nullptr);
        if (!made.bitmap) return ERR_BITMAP;
        if (sourceMask && !(made.mask = CreateMaskBitMap(made.bitmap, newWidth, newHeight, 1, nullptr, 0)))
            return ERR_ALLOCMASK;
        if (sourceAlpha && !(made.alpha = CreateAlphaBitMap(newWidth, newHeight, 1, nullptr, 0))) return ERR_ALLOCALPHA;
        target = made.bitmap;
    }
    BitMapLock src(source, LOCKF_READONLY);
    BitMapLock dst(target, 0);
    if (!src.ok || !dst.ok) return ERR_LOCKBMAP;

    qzScaleJob job{};
    const int bpp = src.info.bytesPerPixel;
    job.srcPixels = (const uint8_t*)src.info.pixels + ((int64_t)sy * src.info.rowLength + sx) * bpp;
    job.dstPixels = dst.info.pixels;
    job.srcWidth = sourceWidth;
    job.srcHeight = sourceHeight;
    job.dstWidth = newWidth;
    job.dstHeight = newHeight;
    job.srcRowLength = src.info.rowLength;
    job.dstRowLength = dst.info.rowLength;
    job.smooth = smooth;
    job.pixelFormat = src.info.pixelFormat;
    job.bytesPerPixel = bpp;
    job.srcY = sy;
    if (made.mask) {
        const int bpr = (int)QueryBitMapAttr(sourceMask, BMATTR_MASKBYTESPERROW);
        const uint8_t* bits = (const uint8_t*)QueryBitMapAttr(sourceMask, BMATTR_MASKPIXELS);
        job.dstMask = (uint8_t*)QueryBitMapAttr(made.mask, BMATTR_MASKPIXELS);
        if (!bits || !job.dstMask) return ERR_LOCKBMAP;
        job.srcMask = bits + (int64_t)sy * bpr;
        job.srcMaskBytesPerRow = bpr;
        job.srcMaskBitOffset = sx;
        job.dstMaskBytesPerRow = (int)QueryBitMapAttr(made.mask, BMATTR_MASKBYTESPERROW);
    }
    if (made.alpha) {
        const int bpr = (int)QueryBitMapAttr(sourceAlpha, BMATTR_ALPHABYTESPERROW);
        const uint8_t* bytes = (const uint8_t*)QueryBitMapAttr(sourceAlpha, BMATTR_ALPHAPIXELS);
        job.dstAlpha = (uint8_t*)QueryBitMapAttr(made.alpha, BMATTR_ALPHAPIXELS);
        if (!bytes || !job.dstAlpha) return ERR_LOCKBMAP;
        job.srcAlpha = bytes + (int64_t)sy * bpr + sx;
        job.srcAlphaBytesPerRow = bpr;
        job.dstAlphaBytesPerRow = (int)QueryBitMapAttr(made.alpha, BMATTR_ALPHABYTESPERROW);
    }
    AttachScaleTables(&job, &g_tables);
    ScalePixels(&job);
    made.Release(outBitmap, outMask, outAlpha);
    return 0;
}

void FreeScaleBitMapTables() { FreeScaleTables(&g_tables); }
