#include "gfx/distort_bitmap.h"

#include "base/error_codes.h"
#include "gfx/distort.h"
#include "gfx/effect_lock.h"
#include "platform/os_alloc.h"

int DistortBitMap(const qzBitMap* bitmap, const qzBitMap* mask, const qzBitMap* alpha, int method, const double* args,
                  int argCount, int smooth, qzBitMap** outBitmap, qzBitMap** outMask, qzBitMap** outAlpha) {
    if (outBitmap) *outBitmap = nullptr;
    if (outMask) *outMask = nullptr;
    if (outAlpha) *outAlpha = nullptr;
    BitMapLock src(bitmap, LOCKF_READONLY);
    if (!src.ok) return ERR_LOCKBMAP;
    int bpp = src.info.bytesPerPixel;
    if (bpp < 2 || bpp > 4) return ERR_BITMAP;
    int width = bitmap->width < src.info.width ? bitmap->width : src.info.width;
    int height = bitmap->height < src.info.height ? bitmap->height : src.info.height;

    double corners[16];
    qzDistortJob job{};
    job.method = method;
    job.args = args;
    job.argCount = argCount;
    if (method == DISTORT_PERSPECTIVE && argCount == 8) {
        const double u[4] = {0, (double)width, (double)width, 0}, v[4] = {0, 0, (double)height, (double)height};
        for (int i = 0; i < 4; i++) {
            corners[4 * i] = u[i], corners[4 * i + 1] = v[i];
            corners[4 * i + 2] = args[2 * i], corners[4 * i + 3] = args[2 * i + 1];
        }
        job.args = corners;
        job.argCount = 16;
    }
    job.sourceWidth = width, job.sourceHeight = height;
    job.sourcePixels = src.info.pixels;
    job.sourceRowLength = src.info.rowLength;
    job.sourceBytesPerPixel = bpp;
    job.sourceFormat = src.info.pixelFormat;
    if (mask) {
        job.sourceMask = (const uint8_t*)QueryBitMapAttr(mask, BMATTR_MASKPIXELS);
        job.sourceMaskBytesPerRow = (int)QueryBitMapAttr(mask, BMATTR_MASKBYTESPERROW);
    }
    if (alpha) {
        job.sourceAlpha = (const uint8_t*)QueryBitMapAttr(alpha, BMATTR_ALPHAPIXELS);
        job.sourceAlphaBytesPerRow = (int)QueryBitMapAttr(alpha, BMATTR_ALPHABYTESPERROW);
    }
    double* coefficients = GenerateDistortCoefficients(&job);
    if (!coefficients) return job.error ? job.error : ERR_MEM;

    int err = 0;
    MadeBitMaps made;
    made.bitmap = CreateBitMap(job.destWidth, job.destHeight, 0, nullptr);
    if (!made.bitmap) {
        err = ERR_BITMAP;
    } else if (job.sourceAlpha) {
        made.alpha = CreateAlphaBitMap(job.destWidth, job.destHeight, 1, nullptr, 0);
        if (!made.alpha) err = ERR_ALLOCALPHA;
    } else {
        made.mask = CreateMaskBitMap(made.bitmap, job.destWidth, job.destHeight, 1, nullptr, 0);
        if (!made.mask) err = ERR_ALLOCMASK;
    }
    if (!err) {
        BitMapLock out(made.bitmap, 0);
        if (!out.ok || out.info.bytesPerPixel < 2 || out.info.bytesPerPixel > 4) {
            err = ERR_LOCKBMAP;
        } else {
            job.destPixels = out.info.pixels;
            job.destRowLength = out.info.rowLength;
            job.destBytesPerPixel = out.info.bytesPerPixel;
            job.destFormat = out.info.pixelFormat;
            if (made.mask) {
                job.destMask = (uint8_t*)QueryBitMapAttr(made.mask, BMATTR_MASKPIXELS);
                job.destMaskBytesPerRow = (int)QueryBitMapAttr(made.mask, BMATTR_MASKBYTESPERROW);
            }
            if (made.alpha) {
                job.destAlpha = (uint8_t*)QueryBitMapAttr(made.alpha, BMATTR_ALPHAPIXELS);
                job.destAlphaBytesPerRow = (int)QueryBitMapAttr(made.alpha, BMATTR_ALPHABYTESPERROW);
            }
            job.smooth = smooth;
            DistortPixels(&job, coefficients);
            err = job.error;
        }
    }
    OsFree(coefficients);
    if (!err) made.Release(outBitmap, outMask, outAlpha);
    return err;
}
