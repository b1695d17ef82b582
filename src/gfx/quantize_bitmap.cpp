#include "gfx/quantize_bitmap.h"

#include "base/error_codes.h"
#include "gfx/effect_lock.h"
#include "gfx/pixel_format.h"
#include "gfx/quantize.h"
#include "gfx/tone_filters.h"
#include "platform/os_alloc.h"

int QuantizeImage(const void* pixels, int format, int bytesPerPixel, int width, int height, int rowLength,
                  uint8_t* indices, uint32_t* palette, int colourLimit, int32_t transparent, int spareEntry, int dither,
                  int* outTransparentIndex) {
    if (outTransparentIndex) *outTransparentIndex = -1;
    if (!pixels || !indices || !palette) return 0;
    qzQuantJob job{pixels,  format,      bytesPerPixel, width,      height, rowLength, indices,
                   palette, colourLimit, transparent,   spareEntry, dither, 0,         -1};
    MedianCutQuantize(&job);
    if (!job.success) return 0;
    if (outTransparentIndex) *outTransparentIndex = job.transparentIndex;
    return job.colors;
}

namespace {

// Quantises the locked bitmap into a fresh index map; null when out of memory.
uint8_t* QuantizeLocked(const BitMapLock& lock, int colours, int dither, uint32_t palette[256], int* count) {
    const qzLockInfo& l = lock.info;
    uint8_t* map = (uint8_t*)OsAlloc((size_t)l.width * l.height, 0);
    if (!map) return nullptr;
    *count = QuantizeImage(l.pixels, l.pixelFormat, l.bytesPerPixel, l.width, l.height, l.rowLength, map, palette,
                           colours, -1, 0, dither, nullptr);
    if (*count == 0) {
        OsFree(map);
        return nullptr;
    }
    return map;
}

}  // namespace

int QuantizeBitMap(qzBitMap* bitmap, int colours, int dither) {
    BitMapLock lock(bitmap, 0);
    if (!lock.ok) return ERR_LOCKBMAP;
    if (!LockIsDrawable(lock.info)) return 0;
    uint32_t palette[256];
    int count = 0;
    uint8_t* map = QuantizeLocked(lock, colours, dither, palette, &count);
    if (!map) return ERR_MEM;
    uint32_t values[256];
    for (int i = 0; i < count; i++) values[i] = ConvertARGBToPixel(palette[i], lock.info.pixelFormat, 0);
    const uint8_t* m = map;
    for (int y = 0; y < lock.info.height; y++) {
        uint8_t* row = LockedPixel(lock.info, 0, y);
        if (lock.info.bytesPerPixel == 4)
            for (int x = 0; x < lock.info.width; x++) ((uint32_t*)row)[x] = values[*m++];
        else
            for (int x = 0; x < lock.info.width; x++) ((uint16_t*)row)[x] = (uint16_t)values[*m++];
    }
    OsFree(map);
    return 0;
}

int ConvertBitMapToMonochrome(qzBitMap* bitmap, int dither) {
    BitMapLock lock(bitmap, 0);
    if (!lock.ok) return ERR_LOCKBMAP;
    if (!LockIsDrawable(lock.info)) return 0;
    uint32_t palette[256];
    int count = 0;
    uint8_t* map = QuantizeLocked(lock, 2, dither, palette, &count);
    if (!map) return ERR_MEM;
    const qzLockInfo& l = lock.info;
    if (l.bytesPerPixel == 4)
        WriteMonochrome32((uint32_t*)l.pixels, l.width, l.height, l.pixelFormat, l.rowLength, map);
    else
        WriteMonochrome16((uint16_t*)l.pixels, l.width, l.height, l.pixelFormat, l.rowLength, map);
    OsFree(map);
    return 0;
}
