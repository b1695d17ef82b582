#include "gfx/color_bitmap.h"

#include <algorithm>

#include "base/error_codes.h"
#include "gfx/blit.h"
#include "gfx/effect_lock.h"
#include "gfx/kernels_color.h"
#include "gfx/pixel_format.h"

int InvertBitMapColors(qzBitMap* bitmap, int width, int height) {
    BitMapLock lock(bitmap, 0);
    if (!lock.ok) return ERR_LOCKBMAP;
    ClipToLock(lock.info, &width, &height);
    if (!LockIsDrawable(lock.info) || width < 1 || height < 1) return 0;
    if (lock.info.bytesPerPixel == 4)
        InvertPixels32(lock.info.pixels, width, height, lock.info.rowLength);
    else
        InvertPixels16(lock.info.pixels, width, height, lock.info.rowLength);
    return 0;
}

int ConvertBitMapToGray(qzBitMap* bitmap, int width, int height) {
    BitMapLock lock(bitmap, 0);
    if (!lock.ok) return ERR_LOCKBMAP;
    ClipToLock(lock.info, &width, &height);
    if (!LockIsDrawable(lock.info) || width < 1 || height < 1) return 0;
    if (lock.info.bytesPerPixel == 4)
        GrayPixels32(lock.info.pixels, width, height, lock.info.pixelFormat, lock.info.rowLength, 0);
    else
        GrayPixels16(lock.info.pixels, width, height, lock.info.pixelFormat, lock.info.rowLength, 0);
    return 0;
}

int BlendFillBitMapRect(qzBitMap* bitmap, int x, int y, int width, int height, uint32_t colour, int level) {
    BitMapLock lock(bitmap, 0);
    if (!lock.ok) return ERR_LOCKBMAP;
    if (x < 0) width += x, x = 0;
    if (y < 0) height += y, y = 0;
    if (width > lock.info.width - x) width = lock.info.width - x;
    if (height > lock.info.height - y) height = lock.info.height - y;
    if (!LockIsDrawable(lock.info) || width < 1 || height < 1) return 0;
    // The full level fills with the pure colour; the blend's weight of level / 256 would stop a
    // step short of it.
    FillPixelRect(lock.info.pixels, x, y, width, height, colour & 0xFFFFFF, std::clamp(level, 0, 255),
                  lock.info.rowLength, lock.info.pixelFormat);
    return 0;
}
