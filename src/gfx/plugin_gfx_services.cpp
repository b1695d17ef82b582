// Graphics services for plugins on engine bitmaps and adapter video bitmaps.
#include "gfx/plugin_gfx_services.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "base/error_codes.h"
#include "base/pixel_format_codes.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/kernels_copy.h"
#include "gfx/kernels_fill.h"
#include "gfx/pen.h"
#include "gfx/pixel_access.h"
#include "gfx/pixel_format.h"
#include "platform/display_adapter.h"
#include "platform/os_alloc.h"

namespace {

// A rectangle clipped to width x height; false when nothing is left.
bool Clip(int limitWidth, int limitHeight, int* x, int* y, int* width, int* height) {
    int64_t x1 = *x, y1 = *y, x2 = static_cast<int64_t>(*x) + *width, y2 = static_cast<int64_t>(*y) + *height;
    if (x1 < 0) x1 = 0;
    if (y1 < 0) y1 = 0;
    if (x2 > limitWidth) x2 = limitWidth;
    if (y2 > limitHeight) y2 = limitHeight;
    if (x2 <= x1 || y2 <= y1) return false;
    *x = static_cast<int>(x1);
    *y = static_cast<int>(y1);
    *width = static_cast<int>(x2 - x1);
    *height = static_cast<int>(y2 - y1);
    return true;
}

bool ColourLock(void* bitmap, int flags, qzLockInfo* lock) {
    auto* b = static_cast<qzBitMap*>(bitmap);
    if (!b || b->kind != BITMAP_COLOR || !LockBitMapPixels(b, flags, lock)) return false;
    if (lock->bytesPerPixel == 2 || lock->bytesPerPixel == 4) return true;
    UnlockBitMapPixels(lock);
    return false;
}

int FillLocked(void* bitmap, int x, int y, int width, int height, uint32_t value, bool fromColour) {
    qzLockInfo lock;
    if (!ColourLock(bitmap, 0, &lock)) return 0;
    int drawn = 0;
    if (Clip(lock.width, lock.height, &x, &y, &width, &height)) {
        uint32_t pixel = fromColour ? ConvertARGBToPixel(value, lock.pixelFormat, 1) : value;
        if (lock.bytesPerPixel == 4)
            FillRect32(lock.pixels, lock.rowLength, x, y, width, height, pixel);
        else
            FillRect16(lock.pixels, lock.rowLength, x, y, width, height, pixel);
        drawn = 1;
    }
    UnlockBitMapPixels(&lock);
    return drawn;
}

uint8_t* PixelAt(const qzLockInfo& lock, int x, int y) {
    return static_cast<uint8_t*>(lock.pixels) +
           static_cast<int64_t>(lock.bytesPerPixel) * (static_cast<int64_t>(lock.rowLength) * y + x);
}

uint32_t ReadRaw(const qzLockInfo& lock, int x, int y) {
    const uint8_t* p = PixelAt(lock, x, y);
    return lock.bytesPerPixel == 4 ? pixel_access::Load32(p) : pixel_access::Load16(p);
}

void WriteRaw(const qzLockInfo& lock, int x, int y, uint32_t value) {
    uint8_t* p = PixelAt(lock, x, y);
    if (lock.bytesPerPixel == 4)
        pixel_access::Store32(p, value);
    else
        pixel_access::Store16(p, static_cast<uint16_t>(value));
}

}  // namespace

void* HostLockBitMap(void* bitmap, int readOnly, qzPluginLock* out) {
    auto* b = static_cast<qzBitMap*>(bitmap);
    if (!b || !out) return nullptr;
    auto* lock = new (std::nothrow) qzLockInfo();
    if (!lock) return nullptr;
    if (!LockBitMapPixels(b, readOnly ? LOCKF_READONLY : 0, lock)) {
        delete lock;
        return nullptr;
    }
    out->pixels = lock->pixels;
    out->pixelFormat = lock->pixelFormat;
    out->bytesPerPixel = lock->bytesPerPixel;
    out->rowLength = lock->rowLength;
    out->width = lock->width;
    out->height = lock->height;
    return lock;
}

void HostUnLockBitMap(void* lock) {
    auto* info = static_cast<qzLockInfo*>(lock);
    if (!info) return;
    UnlockBitMapPixels(info);
    delete info;
}

int HostCopyPixels(void* source, int sx, int sy, void* target, int dx, int dy, int width, int height) {
    if (source == target) return 0;
    qzLockInfo src, dst;
    if (!ColourLock(source, LOCKF_READONLY, &src)) return 0;
    if (!ColourLock(target, 0, &dst)) {
        UnlockBitMapPixels(&src);
        return 0;
    }
    // Clip against the source, then move the same cut into the target, and back.
    int x = sx, y = sy;
    int drawn = 0;
    if (Clip(src.width, src.height, &x, &y, &width, &height)) {
        dx += x - sx;
        dy += y - sy;
        int tx = dx, ty = dy;
        if (Clip(dst.width, dst.height, &tx, &ty, &width, &height)) {
            x += tx - dx;
            y += ty - dy;
            if (src.pixelFormat == dst.pixelFormat) {
                qzCopyJob job = {src.pixels,    dst.pixels,    x, y, tx, ty, width, height,
                                 src.rowLength, dst.rowLength, 0, 0};
                if (src.bytesPerPixel == 4)
                    CopyPixels32(&job);
                else
                    CopyPixels16(&job);
            } else {
                for (int row = 0; row < height; ++row)
                    for (int col = 0; col < width; ++col)
                        WriteRaw(
                            dst, tx + col, ty + row,
                            ConvertARGBToPixel(ConvertPixelToARGB(ReadRaw(src, x + col, y + row), src.pixelFormat, 1),
                                               dst.pixelFormat, 1));
            }
            drawn = 1;
        }
    }
    UnlockBitMapPixels(&dst);
    UnlockBitMapPixels(&src);
    return drawn;
}

int HostFillRect(void* bitmap, int x, int y, int width, int height, uint32_t colour) {
    return FillLocked(bitmap, x, y, width, height, colour, true);
}

int HostFillRectRaw(void* bitmap, int x, int y, int width, int height, uint32_t pixel) {
    return FillLocked(bitmap, x, y, width, height, pixel, false);
}

int HostDrawLine(void* bitmap, int x1, int y1, int x2, int y2, uint32_t colour) {
    qzLockInfo lock;
    if (!ColourLock(bitmap, 0, &lock)) return 0;
    qzPenTarget pen = {};
    pen.pixels = lock.pixels;
    pen.rowLength = lock.rowLength;
    pen.bytesPerPixel = lock.bytesPerPixel;
    pen.pixelFormat = lock.pixelFormat;
    pen.color = ConvertARGBToPixel(colour, lock.pixelFormat, 1);
    pen.opacity = 255;
    pen.penOpacity = 255;
    pen.penWidth = 1;
    pen.clip = 1;
    pen.clipWidth = lock.width;
    pen.clipHeight = lock.height;
    pen.maskMode = 4;
    // Bresenham: every step plots one pixel of the line, the pen clips.
    int64_t dx = std::abs(static_cast<int64_t>(x2) - x1), dy = -std::abs(static_cast<int64_t>(y2) - y1);
    int sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
    int64_t error = dx + dy;
    int64_t x = x1, y = y1;
    for (;;) {
        if (x >= 0 && y >= 0 && x < lock.width && y < lock.height)
            PlotPenPixel(&pen, static_cast<int>(x), static_cast<int>(y));
        if (x == x2 && y == y2) break;
        int64_t twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x += sx;
        }
        if (twice <= dx) {
            error += dx;
            y += sy;
        }
    }
    UnlockBitMapPixels(&lock);
    return 1;
}

uint32_t* HostReadBitMapPixels(void* bitmap, int x, int y, int width, int height) {
    auto* b = static_cast<qzBitMap*>(bitmap);
    if (!b || b->kind != BITMAP_COLOR) return nullptr;
    return ReadBitMapPixels(b, x, y, width, height, LOCKF_READONLY);
}

int CreateVideoBitMapFromPixels(const uint32_t* pixels, uint32_t keyColour, int width, int height, int rowLength,
                                int alphaMode, const qzAdapterTag* options, qzBitMap** outBitmap) {
    const qzDisplayAdapter* adapter = GetDisplayAdapter();
    if (!adapter || !adapter->plugin || !pixels || width < 1 || height < 1 || rowLength < width)
        return QZ_VIDEO_FELL_BACK;
    if (static_cast<int64_t>(width) * height * 4 > QZ_MAX_BITMAP_BYTES) return ERR_BITMAP;
    auto* argb = static_cast<uint32_t*>(OsAlloc(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0));
    if (!argb) return ERR_MEM;
    bool inverted = (adapter->flags & ADAPTERF_INVERTEDALPHA) != 0;
    for (int row = 0; row < height; ++row) {
        const uint32_t* in = pixels + static_cast<int64_t>(row) * rowLength;
        uint32_t* out = argb + static_cast<int64_t>(row) * width;
        for (int col = 0; col < width; ++col) {
            uint32_t p = in[col];
            uint32_t alpha = alphaMode == 2                                                             ? p >> 24
                             : keyColour != QZ_NO_KEY_COLOR && (p & 0xFFFFFF) == (keyColour & 0xFFFFFF) ? 0
                                                                                                        : 255;
            if (inverted) alpha = 255 - alpha;
            out[col] = (alpha << 24) | (p & 0xFFFFFF);
        }
    }
    // The pixels first, then the caller's options.
    int count = 0;
    while (options && options[count].tag) ++count;
    auto* tags = static_cast<qzAdapterTag*>(OsAlloc(sizeof(qzAdapterTag) * static_cast<size_t>(count + 2), 1));
    if (!tags) {
        OsFree(argb);
        return ERR_MEM;
    }
    tags[0] = {QZ_VIDEOBMTAG_PIXELS, reinterpret_cast<intptr_t>(argb)};
    for (int i = 0; i < count; ++i) tags[i + 1] = options[i];
    qzBitMap* bitmap = CreateBitMap(width, height, BMF_VIDEO, tags);
    OsFree(tags);
    OsFree(argb);
    if (!bitmap) return QZ_VIDEO_FELL_BACK;
    *outBitmap = bitmap;
    return 0;
}

int ReadVideoBitMapPixels(const qzBitMap* video, qzBitMap* target) {
    const qzDisplayAdapter* adapter = GetDisplayAdapter();
    qzLockInfo lock;
    if (!ColourLock(target, 0, &lock)) return ERR_LOCKBMAP;
    // Only a video bitmap of the adapter has pixels it can read.
    const qzPluginInfo* plugin =
        adapter && video && video->video && AdapterOffersVideoBitMaps() ? adapter->plugin : nullptr;
    int width = 0, height = 0, rowLength = 0;
    uint32_t* pixels = plugin && plugin->ReadVideoPixels && video
                           ? plugin->ReadVideoPixels(video->handle, &width, &height, &rowLength)
                           : nullptr;
    if (!pixels) {
        UnlockBitMapPixels(&lock);
        return ERR_READVIDEOPIXELS;
    }
    if (rowLength < width) rowLength = width;
    int w = width < lock.width ? width : lock.width;
    int h = height < lock.height ? height : lock.height;
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col)
            WriteRaw(lock, col, row,
                     ConvertARGBToPixel(pixels[static_cast<int64_t>(row) * rowLength + col], lock.pixelFormat, 1));
    if (plugin->FreeVideoPixels) plugin->FreeVideoPixels(video->handle, pixels);
    UnlockBitMapPixels(&lock);
    return 0;
}
