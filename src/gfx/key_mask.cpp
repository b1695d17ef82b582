#include "gfx/key_mask.h"

#include <algorithm>

#include "gfx/bitmap_lock.h"
#include "gfx/kernels_color.h"

qzBitMap* CreateMaskFromKeyColor(const qzBitMap* bitmap, int width, int height, uint32_t keyColour) {
    if (!bitmap || width < 1 || height < 1) return nullptr;
    width = std::min(width, (int)bitmap->width);
    height = std::min(height, (int)bitmap->height);
    BitMapLock lock(bitmap, LOCKF_READONLY);
    if (!lock.ok) return nullptr;
    qzBitMap* mask = CreateMaskBitMap(bitmap, width, height, 1, nullptr, 0);
    if (!mask) return nullptr;
    uint8_t* bits = (uint8_t*)QueryBitMapAttr(mask, BMATTR_MASKPIXELS);
    const int bpr = (int)QueryBitMapAttr(mask, BMATTR_MASKBYTESPERROW);
    if (!bits) {
        DeleteMaskBitMap(mask);
        return nullptr;
    }
    const int format = lock.info.pixelFormat;
    const uint32_t key = ConvertARGBToPixel(keyColour, format, 0);
    if (lock.info.bytesPerPixel == 4) {
        // The alpha byte sits at the top of formats 10 and 13, at the bottom of 11 and 12.
        const uint32_t compare = (format == 11 || format == 12) ? 0xFFFFFF00u : 0x00FFFFFFu;
        KeyColorToMask32(lock.info.pixels, bits, width, height, bpr, key & compare, lock.info.rowLength, compare);
    } else if (lock.info.bytesPerPixel == 2) {
        KeyColorToMask16(lock.info.pixels, bits, width, height, bpr, key, lock.info.rowLength);
    }
    return mask;
}
