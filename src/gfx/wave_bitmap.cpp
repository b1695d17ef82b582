#include "gfx/wave_bitmap.h"

#include <cmath>

#include "base/error_codes.h"
#include "gfx/effect_lock.h"
#include "gfx/ripple.h"
#include "gfx/swirl.h"
#include "gfx/wave_tables.h"
#include "platform/os_alloc.h"

namespace {

struct Planes {
    uint8_t* mask = nullptr;
    int maskBytes = 0;
    uint8_t* alpha = nullptr;
    int alphaBytes = 0;
    Planes(qzBitMap* m, qzBitMap* a) {
        if (m) {
            mask = (uint8_t*)QueryBitMapAttr(m, BMATTR_MASKPIXELS);
            maskBytes = (int)QueryBitMapAttr(m, BMATTR_MASKBYTESPERROW);
        }
        if (a) {
            alpha = (uint8_t*)QueryBitMapAttr(a, BMATTR_ALPHAPIXELS);
            alphaBytes = (int)QueryBitMapAttr(a, BMATTR_ALPHABYTESPERROW);
        }
    }
};

}  // namespace

int SwirlBitMap(qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, int width, int height, int angle) {
    BitMapLock lock(bitmap, 0);
    if (!lock.ok) return ERR_LOCKBMAP;
    ClipToLock(lock.info, &width, &height);
    if (!LockIsDrawable(lock.info) || width < 1 || height < 1) return 0;
    double* tables = (double*)OsAlloc(sizeof(double) * kWaveTableSize * 2, 0);
    if (!tables) return ERR_MEM;
    Planes planes(mask, alpha);
    qzSwirlJob job{};
    job.destination = lock.info.pixels;
    job.destRowLength = lock.info.rowLength;
    job.sine = tables, job.cosine = tables + kWaveTableSize;
    job.format = lock.info.pixelFormat;
    job.width = width, job.height = height;
    job.destAlpha = planes.alpha, job.destAlphaBytesPerRow = planes.alphaBytes;
    job.destMask = planes.mask, job.destMaskBytesPerRow = planes.maskBytes;
    BuildSwirlTables(&job);
    if (lock.info.bytesPerPixel == 4)
        SwirlPixels32(&job, angle);
    else
        SwirlPixels16(&job, angle);
    OsFree(tables);
    return 0;
}

int RippleBitMap(qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, int width, int height, double wavelength,
                 double amplitude, double phase, double centerX, double centerY) {
    BitMapLock lock(bitmap, 0);
    if (!lock.ok) return ERR_LOCKBMAP;
    ClipToLock(lock.info, &width, &height);
    if (!LockIsDrawable(lock.info) || width < 1 || height < 1) return 0;
    double cx = std::floor(centerX * width), cy = std::floor(centerY * height);
    if (!std::isfinite(cx) || !std::isfinite(cy) || std::fabs(cx) > 1e6 || std::fabs(cy) > 1e6) return ERR_WRONGUSAGE;
    double* sine = (double*)OsAlloc(sizeof(double) * kWaveTableSize, 0);
    int32_t* distances = (int32_t*)OsAlloc(sizeof(int32_t) * (size_t)width * height, 0);
    if (!sine || !distances) {
        OsFree(sine);
        OsFree(distances);
        return ERR_MEM;
    }
    // The farthest corner sets the decay radius, so every pixel lies inside it.
    double fx = std::fmax(std::fabs(cx), std::fabs(width - 1 - cx));
    double fy = std::fmax(std::fabs(cy), std::fabs(height - 1 - cy));
    Planes planes(mask, alpha);
    qzRippleJob job{};
    job.destination = lock.info.pixels;
    job.destRowLength = lock.info.rowLength;
    job.distances = distances;
    job.sine = sine;
    job.wavelength = wavelength;
    job.amplitude = amplitude;
    job.width = width, job.height = height;
    job.format = lock.info.pixelFormat;
    job.destAlpha = planes.alpha, job.destAlphaBytesPerRow = planes.alphaBytes;
    job.destMask = planes.mask, job.destMaskBytesPerRow = planes.maskBytes;
    job.centerX = (int)cx, job.centerY = (int)cy;
    job.radius = (int)std::ceil(std::sqrt(fx * fx + fy * fy)) + 1;
    job.phase = phase;
    BuildRippleTable(&job);
    if (lock.info.bytesPerPixel == 4)
        RipplePixels32(&job, -1);
    else
        RipplePixels16(&job, -1);
    OsFree(sine);
    OsFree(distances);
    return 0;
}
