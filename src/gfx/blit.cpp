#include "gfx/blit.h"

#include <algorithm>
#include <cstring>

#include "base/error_codes.h"
#include "gfx/bitmap_lock.h"
#include "gfx/blit_display.h"
#include "gfx/clip_region.h"
#include "gfx/draw_modes.h"
#include "gfx/gradient.h"
#include "gfx/kernels_blend.h"
#include "gfx/kernels_convert.h"
#include "gfx/kernels_copy.h"
#include "gfx/kernels_fill.h"
#include "gfx/mask_bits.h"
#include "gfx/pen.h"
#include "gfx/pixel_format.h"
#include "platform/os_bitmap.h"
#include "platform/os_console.h"

namespace {

bool AdapterDraws(uint32_t capability) {
    const qzDisplayAdapter* adapter = GetDisplayAdapter();
    return adapter && (adapter->drawCaps & capability);
}

// The destination is the current display's output bitmap, which is a selected mask or alpha
// channel: the adapter then draws into the selection (flag 16, or 4 for fills, pixels and lines).
// withDoubleBuffer: whether the display may be double-buffering for this to count.
bool IntoSelectedChannel(const qzBitMap* dst, bool withDoubleBuffer) {
    qzBlitDisplayInfo info;
    if (!DescribeBlitDisplay(nullptr, &info)) return false;
    if (!withDoubleBuffer && info.doubleBuffer) return false;
    return dst == info.outputBitmap && (info.outputKind == OUTPUT_MASK || info.outputKind == OUTPUT_ALPHACHANNEL);
}

// Cuts a rectangle to a w x h buffer; false when nothing is left.
bool ClipToOne(int& x, int& y, int& width, int& height, int w, int h) {
    int sx = x, sy = y;
    return ClipToBoth(sx, sy, x, y, width, height, w, h, w, h);
}

uint8_t* Bytes(const qzLockInfo& lock) { return static_cast<uint8_t*>(lock.pixels); }

bool SoftwarePixels(const qzLockInfo& lock) { return lock.bytesPerPixel == 2 || lock.bytesPerPixel == 4; }

// The bit of a mask row by mask mode against a source bit.
inline void CombineBit(uint8_t* row, int64_t x, int s, int mode) {
    const int d = GetMaskBit(row, x);
    switch (mode) {
    case MASKVISIBLE:
        if (s) SetMaskBit(row, x);
        break;
    case MASKINVISIBLE:
        if (s) ClearMaskBit(row, x);
        break;
    case MASKVANILLACOPY: PutMaskBit(row, x, s); break;
    case MASKXOR: PutMaskBit(row, x, d ^ s); break;
    case MASKAND: PutMaskBit(row, x, d & s); break;
    case MASKOR: PutMaskBit(row, x, d | s); break;
    default: break;
    }
}

// A bit by mask mode with nothing to combine with: set, clear, invert or leave.
inline void ApplyMaskMode(uint8_t* row, int64_t x, int mode) {
    switch (mode) {
    case MASKVISIBLE:
    case MASKVANILLACOPY:
    case MASKOR: SetMaskBit(row, x); break;
    case MASKINVISIBLE: ClearMaskBit(row, x); break;
    case MASKXOR: row[x >> 3] ^= (uint8_t)(0x80 >> (x & 7)); break;
    default: break;
    }
}

// Reads an ARGB pixel of a 4-byte format as 0x00RRGGBB, 2-byte formats through RGB565.
uint32_t ReadRGB(const uint8_t* p, int format) {
    uint8_t rgb[3];
    ReadPixelRGB(p, format, rgb);
    return (uint32_t)rgb[0] << 16 | (uint32_t)rgb[1] << 8 | rgb[2];
}

void WriteRGB(uint8_t* p, int format, uint32_t colour) {
    const uint8_t rgb[3] = {(uint8_t)(colour >> 16), (uint8_t)(colour >> 8), (uint8_t)colour};
    WritePixelRGB(p, format, rgb);
}

// Source over a destination that has its own alpha b (read only), for one pixel.
uint32_t OverWithAlpha(uint32_t s, uint32_t d, int a, int b) {
    int A = (255 * a + (255 - a) * b + 127) / 255;
    if (A > 255) A = 255;
    if (A == 0) return d;
    const int w = ((255 - a) * b + 127) / 255;
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int sc = (int)((s >> shift) & 255), dc = (int)((d >> shift) & 255);
        int c = (sc * a + dc * w + 127) / A;
        if (c > 255) c = 255;
        out |= (uint32_t)c << shift;
    }
    return out;
}

}  // namespace

// ---- Clipping ------------------------------------------------------------------------------

void ClipBlitRect(const qzClipRegion* region, int* sx, int* sy, int* dx, int* dy, int* width, int* height,
                  int sourceWidth, int sourceHeight, int destWidth, int destHeight, int useRegion) {
    int64_t x = *dx, y = *dy, srcX = *sx, srcY = *sy, w = *width, h = *height;
    int64_t left = 0, top = 0, right = destWidth, bottom = destHeight;
    if (region && useRegion) {
        left = region->x;
        top = region->y;
        right = (int64_t)region->x + region->width;
        bottom = (int64_t)region->y + region->height;
    }
    if (x < left) {
        srcX += left - x;
        w -= left - x;
        x = left;
    }
    if (y < top) {
        srcY += top - y;
        h -= top - y;
        y = top;
    }
    w = std::min({w, (int64_t)sourceWidth - srcX, right - x});
    h = std::min({h, (int64_t)sourceHeight - srcY, bottom - y});
    // Whatever is left fits the int arguments: a width or height that is not positive draws nothing.
    auto fit = [](int64_t v) { return (int)std::clamp<int64_t>(v, INT32_MIN, INT32_MAX); };
    *dx = fit(x);
    *dy = fit(y);
    *sx = fit(srcX);
    *sy = fit(srcY);
    *width = fit(w);
    *height = fit(h);
}

bool ClipToBoth(int& sx, int& sy, int& dx, int& dy, int& width, int& height, int sw, int sh, int dw, int dh) {
    int64_t x0 = std::max<int64_t>({0, -(int64_t)sx, -(int64_t)dx});
    int64_t y0 = std::max<int64_t>({0, -(int64_t)sy, -(int64_t)dy});
    int64_t w = std::min<int64_t>({(int64_t)width, (int64_t)sw - sx, (int64_t)dw - dx}) - x0;
    int64_t h = std::min<int64_t>({(int64_t)height, (int64_t)sh - sy, (int64_t)dh - dy}) - y0;
    if (w <= 0 || h <= 0) return false;
    sx = (int)(sx + x0);
    dx = (int)(dx + x0);
    sy = (int)(sy + y0);
    dy = (int)(dy + y0);
    width = (int)w;
    height = (int)h;
    return true;
}

int ClipMaskToOrigin(int* x, int* y, int* width, int* height, qzBitMap** mask, int copy, int freeOld) {
    int trimX = *x < 0 ? -*x : 0;
    int trimY = *y < 0 ? -*y : 0;
    const int newWidth = *width - trimX, newHeight = *height - trimY;
    if (mask && *mask && (trimX || trimY || copy)) {
        qzBitMap* fresh = CreateMaskBitMap(nullptr, std::max(newWidth, 1), std::max(newHeight, 1), 1, nullptr, 0);
        if (!fresh) return ERR_ALLOCMASK;
        if (trimX || trimY) {
            BlitMaskPlane(*mask, trimX, trimY, fresh, 0, 0, newWidth, newHeight, MASKVANILLACOPY, nullptr, 0);
        } else {
            BitMapLock from(*mask, LOCKF_READONLY), to(fresh, 0);
            if (from.ok && to.ok) {
                const int rows = std::min(from.info.height, to.info.height);
                const size_t bytes = (size_t)std::min(from.info.rowLength, to.info.rowLength);
                for (int j = 0; j < rows; j++)
                    std::memcpy(RowAt(Bytes(to.info), j, to.info.rowLength),
                                RowAt(Bytes(from.info), j, from.info.rowLength), bytes);
            }
        }
        if (freeOld) DeleteMaskBitMap(*mask);
        *mask = fresh;
    }
    *x += trimX;
    *y += trimY;
    *width = newWidth;
    *height = newHeight;
    return 0;
}

// ---- The adapter ---------------------------------------------------------------------------

int AdapterBltBitMap(void* sourceHandle, void* destinationHandle, const qzBlitRect* block, uint32_t flags) {
    const qzDisplayAdapter* adapter = GetDisplayAdapter();
    if (!adapter || !adapter->BltBitMap) return 0;
    return adapter->BltBitMap(sourceHandle, destinationHandle, block, flags);
}

uint32_t ConvertColorForAdapter(uint32_t colour) {
    const qzDisplayAdapter* adapter = GetDisplayAdapter();
    if (!adapter || !(adapter->flags & ADAPTERF_INVERTEDALPHA)) return colour;
    const uint32_t a = colour >> 24;
    return (a == 0 ? 255u : 255u - a) << 24 | (colour & 0xFFFFFF);
}

bool IsVideoDestination(const qzBitMap* bitmap) {
    return bitmap && bitmap->video && QueryBitMapAttr(bitmap, BMATTR_UNHANDLEDVIDEO) == 0;
}

// ---- Primitives on colour bitmaps ----------------------------------------------------------

void BlitBitMap(const qzBitMap* src, int sx, int sy, qzBitMap* dst, int dx, int dy, int width, int height) {
    if (!src || !dst) return;
    const bool video = IsVideoDestination(dst);
    if (video || AdapterDraws(ADAPTERCAP_BLIT)) {
        uint32_t flags = video ? 4 : 2;
        if (src->video) {
            flags |= 1;
            if (!src->videoPrepared) flags |= 8;
        }
        if (video) {
            qzBlitDisplayInfo info;
            if (DescribeBlitDisplay(nullptr, &info) && dst == info.outputBitmap) {
                if (!info.doubleBuffer && DrawModes().selectMode == 1) flags |= 8;
                if (info.outputKind == OUTPUT_MASK || info.outputKind == OUTPUT_ALPHACHANNEL) flags |= 16;
            }
        }
        const qzBlitRect block = {sx, sy, dx, dy, width, height, {0, 0, 0}, nullptr, nullptr};
        AdapterBltBitMap(GetBitMapHandle(src), GetBitMapHandle(dst), &block, flags);
        return;
    }
    BitMapLock from(src, LOCKF_READONLY), to(dst, 0);
    if (!from.ok || !to.ok || !SoftwarePixels(from.info) || from.info.bytesPerPixel != to.info.bytesPerPixel) return;
    if (!ClipToBoth(sx, sy, dx, dy, width, height, from.info.width, from.info.height, to.info.width, to.info.height))
        return;
    if (from.info.pixels == to.info.pixels && dy > sy) {
        // Moving down within one bitmap: rows from the bottom so that none is read after it was written.
        for (int j = height - 1; j >= 0; j--)
            CopyPixelRect(from.info.pixels, to.info.pixels, sx, sy + j, dx, dy + j, width, 1, from.info.rowLength,
                          to.info.rowLength, from.info.bytesPerPixel);
        return;
    }
    CopyPixelRect(from.info.pixels, to.info.pixels, sx, sy, dx, dy, width, height, from.info.rowLength,
                  to.info.rowLength, from.info.bytesPerPixel);
}

void BlitBitMapMasked(const qzBitMap* src, int sx, int sy, qzBitMap* dst, int dx, int dy, int width, int height,
                      const qzBitMap* mask) {
    if (!src || !dst || !mask) return;
    const bool video = IsVideoDestination(dst);
    if (video || AdapterDraws(ADAPTERCAP_MASKEDBLIT)) {
        uint32_t flags = video ? 4 : 2;
        if (video && IntoSelectedChannel(dst, false)) flags |= 16;
        const qzBlitRect block = {sx, sy, dx, dy, width, height, {0, 0, 0}, GetBitMapHandle(mask), nullptr};
        AdapterBltBitMap(GetBitMapHandle(src), GetBitMapHandle(dst), &block, flags);
        return;
    }
    BitMapLock from(src, LOCKF_READONLY), to(dst, 0), bits(mask, LOCKF_READONLY);
    if (!from.ok || !to.ok || !bits.ok || !SoftwarePixels(from.info) ||
        from.info.bytesPerPixel != to.info.bytesPerPixel)
        return;
    // The mask is read at the source's positions: the source is cut to the mask's size too.
    const int sw = std::min(from.info.width, mask->width), sh = std::min(from.info.height, mask->height);
    if (!ClipToBoth(sx, sy, dx, dy, width, height, sw, sh, to.info.width, to.info.height)) return;
    CopyPixelRectMasked(from.info.pixels, to.info.pixels, Bytes(bits.info), sx, sy, dx, dy, width, height,
                        from.info.rowLength, bits.info.rowLength, to.info.rowLength, from.info.bytesPerPixel);
}

void BlitBitMapAlpha(const qzBitMap* src, int sx, int sy, qzBitMap* dst, int dx, int dy, int width, int height,
                     const qzBitMap* alpha) {
    if (!src || !dst || !alpha) return;
    const bool video = IsVideoDestination(dst);
    if (video || AdapterDraws(ADAPTERCAP_ALPHABLIT)) {
        uint32_t flags = video ? 4 : 2;
        if (video && IntoSelectedChannel(dst, false)) flags |= 16;
        const qzBlitRect block = {sx, sy, dx, dy, width, height, {0, 0, 0}, nullptr, GetBitMapHandle(alpha)};
        AdapterBltBitMap(GetBitMapHandle(src), GetBitMapHandle(dst), &block, flags);
        return;
    }
    BlitPlanesSoftware(src, sx, sy, dst, dx, dy, width, height, alpha, nullptr, 0);
}

void FillBitMapRect(qzBitMap* dst, int x, int y, int width, int height, uint32_t colour) {
    if (!dst) return;
    const bool video = IsVideoDestination(dst);
    if (video || AdapterDraws(ADAPTERCAP_RECTFILL)) {
        const qzDisplayAdapter* adapter = GetDisplayAdapter();
        uint32_t flags = video ? 2 : 1;
        if (video && IntoSelectedChannel(dst, false)) flags |= 4;
        if (!(flags & 4)) colour = ConvertColorForAdapter(colour);
        if (adapter && adapter->RectFill) adapter->RectFill(GetBitMapHandle(dst), x, y, width, height, colour, flags);
        return;
    }
    BitMapLock to(dst, 0);
    if (!to.ok || !SoftwarePixels(to.info) || !ClipToOne(x, y, width, height, to.info.width, to.info.height)) return;
    FillPixelRect(to.info.pixels, x, y, width, height, colour, 255, to.info.rowLength, to.info.pixelFormat);
}

void WriteBitMapPixel(qzBitMap* dst, int x, int y, uint32_t colourOrMaskMode, int isMask) {
    if (!dst) return;
    if (isMask) {
        BitMapLock bits(dst, 0);
        if (!bits.ok || x < 0 || y < 0 || x >= dst->width || y >= dst->height) return;
        ApplyMaskMode(RowAt(Bytes(bits.info), y, bits.info.rowLength), x, (int)colourOrMaskMode);
        return;
    }
    const bool video = IsVideoDestination(dst);
    if (video || AdapterDraws(ADAPTERCAP_WRITEPIXEL)) {
        const qzDisplayAdapter* adapter = GetDisplayAdapter();
        uint32_t flags = video ? 2 : 1;
        if (video && IntoSelectedChannel(dst, false)) flags |= 4;
        uint32_t colour = flags & 4 ? colourOrMaskMode : ConvertColorForAdapter(colourOrMaskMode);
        if (adapter && adapter->WritePixel) adapter->WritePixel(GetBitMapHandle(dst), x, y, colour, flags, flags & 4);
        return;
    }
    BitMapLock to(dst, 0);
    if (!to.ok || x < 0 || y < 0 || x >= to.info.width || y >= to.info.height) return;
    const int bpp = to.info.bytesPerPixel;
    if (bpp < 2 || bpp > 4) return;
    const uint32_t value = ConvertARGBToPixel(colourOrMaskMode, to.info.pixelFormat, 0);
    uint8_t* p = Bytes(to.info) + ((int64_t)y * to.info.rowLength + x) * bpp;
    if (bpp == 2) {
        const uint16_t v = (uint16_t)value;
        std::memcpy(p, &v, 2);
    } else if (bpp == 4) {
        std::memcpy(p, &value, 4);
    } else {
        // 24-bit values are 0x00RRGGBB (format 8) or 0x00BBGGRR (format 9): bytes in memory order.
        p[0] = (uint8_t)(value >> 16);
        p[1] = (uint8_t)(value >> 8);
        p[2] = (uint8_t)value;
    }
}

void DrawBitMapLine(qzBitMap* dst, int x1, int y1, int x2, int y2, uint32_t colour) {
    if (!dst) return;
    const bool video = IsVideoDestination(dst);
    if (video || AdapterDraws(ADAPTERCAP_LINE)) {
        const qzDisplayAdapter* adapter = GetDisplayAdapter();
        uint32_t flags = video ? 2 : 1;
        if (video && IntoSelectedChannel(dst, false)) flags |= 4;
        if (!(flags & 4)) colour = ConvertColorForAdapter(colour);
        if (adapter && adapter->Line) adapter->Line(GetBitMapHandle(dst), x1, y1, x2, y2, colour, flags);
        return;
    }
    BitMapLock to(dst, 0);
    if (!to.ok || !SoftwarePixels(to.info)) return;
    DrawThickLine(to.info.pixels, x1, y1, x2, y2, colour, 255, to.info.pixelFormat, to.info.rowLength, to.info.width,
                  to.info.height);
}

void DrawGradient(qzBitMap* dst, int x, int y, int width, int height, const qzGradient* gradient) {
    if (!dst) {
        PrintConsole("ERROR! DRAWGRADIENT() CALLED WITH DST=NULL!\n");
        return;
    }
    if (!gradient) return;
    BitMapLock to(dst, 0);
    if (!to.ok || !SoftwarePixels(to.info) || x < 0 || y < 0 || width <= 0 || height <= 0 ||
        (int64_t)x + width > to.info.width || (int64_t)y + height > to.info.height)
        return;
    const qzGradientJob job = {
        to.info.pixels, to.info.bytesPerPixel, to.info.pixelFormat, x, y, width, height, to.info.rowLength, gradient};
    RenderGradient(&job);
}

// ---- Primitives on masks -------------------------------------------------------------------

void BlitMaskPlane(const qzBitMap* srcMask, int sx, int sy, qzBitMap* dstMask, int dx, int dy, int width, int height,
                   int maskMode, const uint8_t* srcPixels, int srcBytesPerRow) {
    if (!dstMask || maskMode < MASKVISIBLE || maskMode > MASKOR) return;
    BitMapLock to(dstMask, 0);
    if (!to.ok) return;
    BitMapLock from(srcPixels ? nullptr : srcMask, LOCKF_READONLY);
    const uint8_t* bits = srcPixels;
    int bytesPerRow = srcBytesPerRow;
    int sw = INT32_MAX, sh = INT32_MAX;
    if (!srcPixels) {
        if (!from.ok) return;
        bits = Bytes(from.info);
        bytesPerRow = from.info.rowLength;
        sw = srcMask->width;
        sh = srcMask->height;
    }
    if (!ClipToBoth(sx, sy, dx, dy, width, height, sw, sh, dstMask->width, dstMask->height)) return;
    for (int j = 0; j < height; j++) {
        const uint8_t* s = RowAt(bits, sy + j, bytesPerRow);
        uint8_t* d = RowAt(Bytes(to.info), dy + j, to.info.rowLength);
        for (int i = 0; i < width; i++) CombineBit(d, (int64_t)dx + i, GetMaskBit(s, (int64_t)sx + i), maskMode);
    }
}

void FillMaskRect(qzBitMap* mask, int x, int y, int width, int height, int maskMode) {
    if (!mask || maskMode == MASKAND || maskMode < MASKVISIBLE || maskMode > MASKOR) return;
    BitMapLock bits(mask, 0);
    if (!bits.ok || !ClipToOne(x, y, width, height, mask->width, mask->height)) return;
    for (int j = 0; j < height; j++) {
        uint8_t* row = RowAt(Bytes(bits.info), y + j, bits.info.rowLength);
        for (int i = 0; i < width; i++) ApplyMaskMode(row, (int64_t)x + i, maskMode);
    }
}

void BlitMaskAsColor(const qzBitMap* mask, int mx, int my, qzBitMap* dst, int dx, int dy, int width, int height,
                     uint32_t colour, const uint8_t* maskPixels, int maskBytesPerRow) {
    if (!dst) return;
    BitMapLock to(dst, 0);
    if (!to.ok || !SoftwarePixels(to.info)) return;
    BitMapLock from(maskPixels ? nullptr : mask, LOCKF_READONLY);
    const uint8_t* bits = maskPixels;
    int bytesPerRow = maskBytesPerRow;
    int mw = INT32_MAX, mh = INT32_MAX;
    if (!maskPixels) {
        if (!from.ok) return;
        bits = Bytes(from.info);
        bytesPerRow = from.info.rowLength;
        mw = mask->width;
        mh = mask->height;
    }
    if (!ClipToBoth(mx, my, dx, dy, width, height, mw, mh, to.info.width, to.info.height)) return;
    const uint32_t value = ConvertARGBToPixel(colour, to.info.pixelFormat, 0);
    if (to.info.bytesPerPixel == 4)
        PaintColorThroughMask32(bits, to.info.pixels, mx, my, dx, dy, width, height, bytesPerRow, to.info.rowLength,
                                value);
    else
        PaintColorThroughMask16(bits, to.info.pixels, mx, my, dx, dy, width, height, bytesPerRow, to.info.rowLength,
                                value);
}

// ---- Painting through coverage -------------------------------------------------------------

void BltAlphaChannel(const qzBitMap* alpha, int sx, int sy, qzBitMap* dst, int dx, int dy, int width, int height,
                     uint32_t colour, int mode, const qzAlphaPaintArgs* args, qzBitMap* dstAlpha,
                     const uint8_t* alphaPixels, int alphaBytesPerRow) {
    if (!dst) {
        PrintConsole("ERROR! BLTALPHACHANNEL() CALLED WITH DST=NULL!\n");
        return;
    }
    const qzAlphaPaintArgs none;
    if (!args) args = &none;
    // A plain blend that the adapter's video bitmaps do themselves.
    if (mode == 1 && !args->coverage16 && !args->srcPixels && !dstAlpha && OsQueryVideoBitMapCaps(1)) return;
    BitMapLock to(dst, 0);
    if (!to.ok || !SoftwarePixels(to.info)) return;
    BitMapLock toAlpha(dstAlpha, LOCKF_READONLY);
    if (dstAlpha && !toAlpha.ok) return;
    BitMapLock from(alphaPixels ? nullptr : alpha, LOCKF_READONLY);
    const uint8_t* coverage = alphaPixels;
    int bytesPerRow = alphaBytesPerRow;
    int cw = INT32_MAX, ch = INT32_MAX;
    if (!alphaPixels) {
        if (!from.ok) return;
        coverage = Bytes(from.info);
        bytesPerRow = from.info.rowLength;
        cw = alpha->width;
        ch = alpha->height;
    }
    int dw = to.info.width, dh = to.info.height;
    if (dstAlpha) {
        dw = std::min(dw, dstAlpha->width);
        dh = std::min(dh, dstAlpha->height);
    }
    if (!ClipToBoth(sx, sy, dx, dy, width, height, cw, ch, dw, dh)) return;
    qzAlphaBlitJob job{};
    job.dstPixels = to.info.pixels;
    job.dstX = dx;
    job.dstY = dy;
    job.dstRowLength = to.info.rowLength;
    job.width = width;
    job.height = height;
    job.coverage = coverage;
    job.coverageX = sx;
    job.coverageY = sy;
    job.coverageBytesPerRow = bytesPerRow;
    job.dstAlpha = dstAlpha ? Bytes(toAlpha.info) : nullptr;
    job.dstAlphaBytesPerRow = dstAlpha ? toAlpha.info.rowLength : 0;
    job.format = to.info.pixelFormat;
    job.colour = ConvertARGBToPixel(colour, to.info.pixelFormat, 0);
    job.mode = mode;
    job.level = args->level;
    job.coverage16 = args->coverage16;
    job.coverage16RowLength = args->coverage16RowLength;
    job.srcPixels = args->srcPixels;
    job.srcRowLength = args->srcRowLength;
    if (to.info.bytesPerPixel == 4)
        AlphaChannelBlit32(&job);
    else
        AlphaChannelBlit16(&job);
}

void BltAlphaChannelClipped(const qzBitMap* alpha, int sx, int sy, qzBitMap* dst, int dx, int dy, int width, int height,
                            uint32_t colour, int mode, const qzAlphaPaintArgs* args, qzBitMap* dstAlpha) {
    if (!alpha || !dst) return;
    int64_t x = dx, y = dy, w = width, h = height, ax = sx, ay = sy;
    if (x < 0) {
        ax -= x;
        w += x;
        x = 0;
    }
    if (y < 0) {
        ay -= y;
        h += y;
        y = 0;
    }
    w = std::min({w, (int64_t)alpha->width - ax, (int64_t)dst->width - x});
    h = std::min({h, (int64_t)alpha->height - ay, (int64_t)dst->height - y});
    if (w <= 0 || h <= 0 || ax < 0 || ay < 0) return;
    BltAlphaChannel(alpha, (int)ax, (int)ay, dst, (int)x, (int)y, (int)w, (int)h, colour, mode, args, dstAlpha, nullptr,
                    0);
}

void BlitPlanesSoftware(const qzBitMap* src, int sx, int sy, qzBitMap* dst, int dx, int dy, int width, int height,
                        const qzBitMap* srcAlpha, const qzBitMap* dstAlpha, int mode) {
    if (!src || !dst || !srcAlpha || mode < 0 || mode > 2) return;
    BitMapLock from(src, LOCKF_READONLY), to(dst, 0), fromAlpha(srcAlpha, LOCKF_READONLY),
        toAlpha(mode == 2 ? dstAlpha : nullptr, LOCKF_READONLY);
    if (!from.ok || !to.ok || !fromAlpha.ok || !SoftwarePixels(from.info) ||
        from.info.bytesPerPixel != to.info.bytesPerPixel || from.info.pixelFormat != to.info.pixelFormat)
        return;
    if (mode == 2 && !toAlpha.ok) return;
    const int sw = std::min(from.info.width, srcAlpha->width), sh = std::min(from.info.height, srcAlpha->height);
    int dw = to.info.width, dh = to.info.height;
    if (mode == 2) {
        dw = std::min(dw, dstAlpha->width);
        dh = std::min(dh, dstAlpha->height);
    }
    if (!ClipToBoth(sx, sy, dx, dy, width, height, sw, sh, dw, dh)) return;
    const qzThroughPlaneJob job = {from.info.pixels,
                                   sx,
                                   sy,
                                   from.info.rowLength,
                                   to.info.pixels,
                                   dx,
                                   dy,
                                   to.info.rowLength,
                                   width,
                                   height,
                                   Bytes(fromAlpha.info),
                                   mode == 2 ? Bytes(toAlpha.info) : nullptr,
                                   fromAlpha.info.rowLength,
                                   mode == 2 ? toAlpha.info.rowLength : 0,
                                   to.info.pixelFormat,
                                   mode};
    BlitThroughPlane(&job);
}

void BlitThroughPlane(const qzThroughPlaneJob* job) {
    const int bpp = GetPixelFormatBytes(job->format);
    if ((bpp != 2 && bpp != 4) || job->width < 1 || job->height < 1) return;
    switch (job->mode) {
    case 0:
        if (bpp == 4)
            AlphaBlendPixels32(job->srcPixels, job->srcAlpha, job->dstPixels, job->srcX, job->srcY, job->dstX,
                               job->dstY, job->width, job->height, job->srcRowLength, job->srcAlphaBytesPerRow,
                               job->dstRowLength, job->format);
        else
            AlphaBlendPixels16(job->srcPixels, job->srcAlpha, job->dstPixels, job->srcX, job->srcY, job->dstX,
                               job->dstY, job->width, job->height, job->srcRowLength, job->srcAlphaBytesPerRow,
                               job->dstRowLength, job->format);
        return;
    case 1:
    case 2: break;
    default: return;
    }
    if (job->mode == 2 && !job->dstAlpha) return;
    const auto* srcBase = static_cast<const uint8_t*>(job->srcPixels);
    auto* dstBase = static_cast<uint8_t*>(job->dstPixels);
    for (int j = 0; j < job->height; j++) {
        const uint8_t* s = srcBase + ((int64_t)(job->srcY + j) * job->srcRowLength + job->srcX) * bpp;
        uint8_t* d = dstBase + ((int64_t)(job->dstY + j) * job->dstRowLength + job->dstX) * bpp;
        const uint8_t* a = RowAt(job->srcAlpha, job->srcY + j, job->srcAlphaBytesPerRow) + job->srcX;
        const uint8_t* b =
            job->mode == 2 ? RowAt(job->dstAlpha, job->dstY + j, job->dstAlphaBytesPerRow) + job->dstX : nullptr;
        for (int i = 0; i < job->width; i++, s += bpp, d += bpp) {
            const int ai = a[i];
            if (ai == 0) continue;
            if (ai == 255 || job->mode == 1) {
                std::memcpy(d, s, (size_t)bpp);
                continue;
            }
            if (job->format == PIXFMT_ARGB32) {
                uint32_t sv, dv;
                std::memcpy(&sv, s, 4);
                std::memcpy(&dv, d, 4);
                const uint32_t out = OverWithAlpha(sv, dv, ai, b[i]);
                std::memcpy(d, &out, 4);
            } else {
                WriteRGB(d, job->format, OverWithAlpha(ReadRGB(s, job->format), ReadRGB(d, job->format), ai, b[i]));
            }
        }
    }
}

// ---- Tiling --------------------------------------------------------------------------------

namespace {

// Walks the pieces that cover width x height with a tile, the first column at startX and the
// first row at startY inside the tile, and hands each to piece(tileX, tileY, x, y, w, h) with x, y
// relative to the area.
template <typename F>
void ForEachTile(int width, int height, int startX, int startY, int tileWidth, int tileHeight, F piece) {
    if (width <= 0 || height <= 0 || tileWidth <= 0 || tileHeight <= 0) return;
    startX = ((startX % tileWidth) + tileWidth) % tileWidth;
    startY = ((startY % tileHeight) + tileHeight) % tileHeight;
    for (int64_t y = 0, ty = startY; y < height; ty = 0) {
        const int h = (int)std::min<int64_t>(tileHeight - ty, height - y);
        for (int64_t x = 0, tx = startX; x < width; tx = 0) {
            const int w = (int)std::min<int64_t>(tileWidth - tx, width - x);
            piece((int)tx, (int)ty, (int)x, (int)y, w, h);
            x += w;
        }
        y += h;
    }
}

}  // namespace

void BlitBitMapTiled(qzBitMap* dst, int dx, int dy, int width, int height, const qzBitMap* src, int startX, int startY,
                     int tileWidth, int tileHeight) {
    if (!dst || !src) return;
    ForEachTile(width, height, startX, startY, tileWidth, tileHeight, [&](int tx, int ty, int x, int y, int w, int h) {
        BlitBitMap(src, tx, ty, dst, (int)((int64_t)dx + x), (int)((int64_t)dy + y), w, h);
    });
}

void TilePixels32(uint32_t* dst, int width, int height, const uint32_t* src, int startX, int startY, int tileWidth,
                  int tileHeight, int srcRowLength) {
    if (!dst || !src) return;
    ForEachTile(width, height, startX, startY, tileWidth, tileHeight, [&](int tx, int ty, int x, int y, int w, int h) {
        for (int j = 0; j < h; j++)
            std::memcpy(dst + (int64_t)(y + j) * width + x, src + (int64_t)(ty + j) * srcRowLength + tx, (size_t)w * 4);
    });
}

// ---- Software halves -----------------------------------------------------------------------

void CopyPixelRect(const void* src, void* dst, int sx, int sy, int dx, int dy, int width, int height, int srcRowLength,
                   int dstRowLength, int bytesPerPixel) {
    const qzCopyJob job = {src, dst, sx, sy, dx, dy, width, height, srcRowLength, dstRowLength, 0, 0};
    if (bytesPerPixel == 4)
        CopyPixels32(&job);
    else if (bytesPerPixel == 2)
        CopyPixels16(&job);
}

void CopyPixelRectMasked(const void* src, void* dst, const uint8_t* mask, int sx, int sy, int dx, int dy, int width,
                         int height, int srcRowLength, int maskBytesPerRow, int dstRowLength, int bytesPerPixel) {
    if (bytesPerPixel == 4)
        CopyPixelsMasked32(src, dst, mask, sx, sy, dx, dy, width, height, srcRowLength, maskBytesPerRow, dstRowLength,
                           0);
    else if (bytesPerPixel == 2)
        CopyPixelsMasked16(src, dst, mask, sx, sy, dx, dy, width, height, srcRowLength, maskBytesPerRow, dstRowLength);
}

void FillPixelRect(void* pixels, int x, int y, int width, int height, uint32_t colour, int opacity, int rowLength,
                   int format) {
    const int bpp = GetPixelFormatBytes(format);
    if (bpp != 2 && bpp != 4) return;
    if (opacity >= 255) {
        const uint32_t value = ConvertARGBToPixel(colour, format, 0);
        if (bpp == 4)
            FillRect32(pixels, rowLength, x, y, width, height, value);
        else
            FillRect16(pixels, rowLength, x, y, width, height, value);
        return;
    }
    if (bpp == 4)
        BlendFillRect32(pixels, x, y, width, height, colour & 0xFFFFFF, opacity, rowLength, format);
    else
        BlendFillRect16(pixels, x, y, width, height, ConvertARGBToPixel(colour, PIXFMT_RGB565, 0), opacity, rowLength,
                        format);
}

void DrawThickLine(void* pixels, int x1, int y1, int x2, int y2, uint32_t colour, int opacity, int format,
                   int rowLength, int clipWidth, int clipHeight) {
    const int bpp = GetPixelFormatBytes(format);
    if (bpp != 2 && bpp != 4) return;
    qzPenTarget pen{};
    pen.pixels = pixels;
    pen.rowLength = rowLength;
    pen.bytesPerPixel = bpp;
    pen.penWidth = 1;
    pen.pixelFormat = format;
    pen.color = ConvertARGBToPixel(colour, format, 0);
    pen.opacity = opacity;
    pen.penOpacity = 255;
    pen.blendRed = (int)((colour >> 16) & 255);
    pen.blendGreen = (int)((colour >> 8) & 255);
    pen.blendBlue = (int)(colour & 255);
    pen.clip = 1;
    pen.clipWidth = clipWidth;
    pen.clipHeight = clipHeight;
    DrawThickPenLine(&pen, x1, y1, x2, y2);
}
