#include "display/display_pixels.h"

#include <cstring>

#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/effect_lock.h"
#include "gfx/gradient.h"
#include "gfx/kernels_fill.h"
#include "gfx/pixel_format.h"

namespace {

// Clips x, y, width, height to 0, 0, limitWidth, limitHeight; false when nothing is left.
bool ClipToBitmap(int32_t* x, int32_t* y, int32_t* width, int32_t* height, int32_t limitWidth, int32_t limitHeight) {
    int64_t x1 = *x, y1 = *y, x2 = int64_t(*x) + *width, y2 = int64_t(*y) + *height;
    if (x1 < 0) x1 = 0;
    if (y1 < 0) y1 = 0;
    if (x2 > limitWidth) x2 = limitWidth;
    if (y2 > limitHeight) y2 = limitHeight;
    if (x2 <= x1 || y2 <= y1) return false;
    *x = int32_t(x1);
    *y = int32_t(y1);
    *width = int32_t(x2 - x1);
    *height = int32_t(y2 - y1);
    return true;
}

}  // namespace

qzBitMap* NewDisplayBitmap(int32_t width, int32_t height) { return CreateBitMap(width, height, 0, nullptr); }

void FillBitmapColor(qzBitMap* bitmap, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour) {
    BitMapLock lock(bitmap, 0);
    if (!(lock.ok && LockIsDrawable(lock.info)) ||
        !ClipToBitmap(&x, &y, &width, &height, lock.info.width, lock.info.height))
        return;
    uint32_t pixel = ConvertARGBToPixel(colour & 0xFFFFFF, lock.info.pixelFormat, 0);
    if (lock.info.bytesPerPixel == 4)
        FillRect32(lock.info.pixels, lock.info.rowLength, x, y, width, height, pixel);
    else
        FillRect16(lock.info.pixels, lock.info.rowLength, x, y, width, height, pixel);
}

void FillBitmapGradient(qzBitMap* bitmap, int32_t x, int32_t y, int32_t width, int32_t height,
                        const qzGradient& gradient) {
    BitMapLock lock(bitmap, 0);
    if (!(lock.ok && LockIsDrawable(lock.info))) return;
    int32_t cx = x, cy = y, cw = width, ch = height;
    if (!ClipToBitmap(&cx, &cy, &cw, &ch, lock.info.width, lock.info.height)) return;
    qzGradientJob job{};
    job.pixels = lock.info.pixels;
    job.bytesPerPixel = lock.info.bytesPerPixel;
    job.pixelFormat = lock.info.pixelFormat;
    job.x = cx;
    job.y = cy;
    job.width = cw;
    job.height = ch;
    job.rowLength = lock.info.rowLength;
    job.gradient = &gradient;
    RenderGradient(&job);
}

void TileBitmap(qzBitMap* bitmap, int32_t width, int32_t height, const qzBitMap* tile, int32_t tileWidth,
                int32_t tileHeight, int32_t startX, int32_t startY) {
    if (tileWidth < 1 || tileHeight < 1) return;
    BitMapLock target(bitmap, 0);
    BitMapLock source(tile, LOCKF_READONLY);
    if (!(target.ok && LockIsDrawable(target.info)) || !(source.ok && LockIsDrawable(source.info)) ||
        source.info.bytesPerPixel != target.info.bytesPerPixel)
        return;
    if (width > target.info.width) width = target.info.width;
    if (height > target.info.height) height = target.info.height;
    if (tileWidth > source.info.width) tileWidth = source.info.width;
    if (tileHeight > source.info.height) tileHeight = source.info.height;
    if (width < 1 || height < 1 || tileWidth < 1 || tileHeight < 1) return;
    const int bpp = target.info.bytesPerPixel;
    const int32_t offsetX = ((startX % tileWidth) + tileWidth) % tileWidth;
    const int32_t offsetY = ((startY % tileHeight) + tileHeight) % tileHeight;
    for (int32_t row = 0; row < height; row++) {
        const uint8_t* from = LockedPixel(source.info, 0, (row + offsetY) % tileHeight);
        uint8_t* to = LockedPixel(target.info, 0, row);
        int32_t column = 0;
        int32_t tx = offsetX;
        while (column < width) {
            int32_t run = tileWidth - tx;
            if (run > width - column) run = width - column;
            std::memcpy(to + size_t(column) * bpp, from + size_t(tx) * bpp, size_t(run) * bpp);
            column += run;
            tx = 0;
        }
    }
}

bool ClipCopyRect(int32_t* sx, int32_t* sy, int32_t* dx, int32_t* dy, int32_t* width, int32_t* height,
                  int32_t sourceWidth, int32_t sourceHeight, int32_t targetWidth, int32_t targetHeight) {
    int64_t w = *width, h = *height, x = *sx, y = *sy, tx = *dx, ty = *dy;
    if (x < 0) {
        w += x;
        tx -= x;
        x = 0;
    }
    if (y < 0) {
        h += y;
        ty -= y;
        y = 0;
    }
    if (tx < 0) {
        w += tx;
        x -= tx;
        tx = 0;
    }
    if (ty < 0) {
        h += ty;
        y -= ty;
        ty = 0;
    }
    if (x + w > sourceWidth) w = sourceWidth - x;
    if (y + h > sourceHeight) h = sourceHeight - y;
    if (tx + w > targetWidth) w = targetWidth - tx;
    if (ty + h > targetHeight) h = targetHeight - ty;
    if (w < 1 || h < 1) return false;
    *sx = int32_t(x);
    *sy = int32_t(y);
    *dx = int32_t(tx);
    *dy = int32_t(ty);
    *width = int32_t(w);
    *height = int32_t(h);
    return true;
}

void CopyBitmapRect(const qzBitMap* source, int32_t sx, int32_t sy, qzBitMap* target, int32_t dx, int32_t dy,
                    int32_t width, int32_t height) {
    if (source == target) return;
    BitMapLock to(target, 0);
    BitMapLock from(source, LOCKF_READONLY);
    if (!(to.ok && LockIsDrawable(to.info)) || !(from.ok && LockIsDrawable(from.info))) return;
    if (!ClipCopyRect(&sx, &sy, &dx, &dy, &width, &height, from.info.width, from.info.height, to.info.width,
                      to.info.height))
        return;
    if (from.info.bytesPerPixel == to.info.bytesPerPixel && from.info.pixelFormat == to.info.pixelFormat) {
        const size_t bytes = size_t(width) * to.info.bytesPerPixel;
        for (int32_t row = 0; row < height; row++)
            std::memcpy(LockedPixel(to.info, dx, dy + row), LockedPixel(from.info, sx, sy + row), bytes);
        return;
    }
    // Different layouts: through 0xRRGGBB.
    for (int32_t row = 0; row < height; row++) {
        for (int32_t column = 0; column < width; column++) {
            uint32_t v = 0;
            const uint8_t* p = LockedPixel(from.info, sx + column, sy + row);
            if (from.info.bytesPerPixel == 4)
                std::memcpy(&v, p, 4);
            else {
                uint16_t h16;
                std::memcpy(&h16, p, 2);
                v = h16;
            }
            uint32_t rgb = ConvertPixelToARGB(v, from.info.pixelFormat, 0) & 0xFFFFFF;
            uint32_t out = ConvertARGBToPixel(rgb, to.info.pixelFormat, 0);
            uint8_t* q = LockedPixel(to.info, dx + column, dy + row);
            if (to.info.bytesPerPixel == 4)
                std::memcpy(q, &out, 4);
            else {
                uint16_t h16 = uint16_t(out);
                std::memcpy(q, &h16, 2);
            }
        }
    }
}
