// Drawing glyph images into locked bitmaps; see glyph_draw.h.
#include "text/glyph_draw.h"

#include <algorithm>
#include <cstring>

#include "gfx/mask_bits.h"
#include "gfx/pixel_format.h"

namespace {

void StorePixel(uint8_t* p, int bytes, uint32_t value) {
    if (bytes == 2) {
        uint16_t v = (uint16_t)value;
        std::memcpy(p, &v, 2);
    } else if (bytes == 3) {
        p[0] = (uint8_t)(value >> 16);
        p[1] = (uint8_t)(value >> 8);
        p[2] = (uint8_t)value;
    } else {
        std::memcpy(p, &value, 4);
    }
}

uint32_t LoadPixel(const uint8_t* p, int bytes) {
    if (bytes == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    if (bytes == 3) return (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint8_t* PixelAt(const qzLockInfo& lock, int64_t x, int64_t y) {
    return static_cast<uint8_t*>(lock.pixels) + lock.bytesPerPixel * (y * lock.rowLength + x);
}

uint8_t* CoverRow(const qzLockInfo& lock, int64_t y) { return static_cast<uint8_t*>(lock.pixels) + y * lock.rowLength; }

// Blends `colour` over the pixel at p with weight 0..255.
void BlendPixel(const qzLockInfo& lock, uint8_t* p, uint32_t colour, int weight) {
    if (weight >= 255) {
        StorePixel(p, lock.bytesPerPixel, ConvertARGBToPixel(colour, lock.pixelFormat, 0));
        return;
    }
    uint32_t old = ConvertPixelToARGB(LoadPixel(p, lock.bytesPerPixel), lock.pixelFormat, 0);
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        int a = (int)((old >> shift) & 255);
        int b = (int)((colour >> shift) & 255);
        int v = a + ((b - a) * weight + 127) / 255;
        out |= (uint32_t)v << shift;
    }
    StorePixel(p, lock.bytesPerPixel, ConvertARGBToPixel(out, lock.pixelFormat, 0));
}

}  // namespace

bool ClipGlyphRect(int64_t* sx, int64_t* sy, int64_t* dx, int64_t* dy, int64_t* width, int64_t* height,
                   const qzFontClip& clip) {
    int64_t cx1 = (int64_t)clip.x + clip.width;
    int64_t cy1 = (int64_t)clip.y + clip.height;
    if (*dx < clip.x) {
        int64_t d = clip.x - *dx;
        *sx += d;
        *dx += d;
        *width -= d;
    }
    if (*dy < clip.y) {
        int64_t d = clip.y - *dy;
        *sy += d;
        *dy += d;
        *height -= d;
    }
    if (*dx + *width > cx1) *width = cx1 - *dx;
    if (*dy + *height > cy1) *height = cy1 - *dy;
    return *width > 0 && *height > 0;
}

bool BeginGlyphTarget(qzGlyphTarget* t, qzBitMap* bitmap, qzBitMap* coverage, const qzFontClip* clip, uint32_t colour) {
    *t = qzGlyphTarget{};
    t->colour = colour;
    int64_t w = 0, h = 0;
    if (colour != FONT_NO_COLOR) {
        if (!bitmap || bitmap->kind != BITMAP_COLOR || !LockBitMapPixels(bitmap, 0, &t->colorLock)) return false;
        if (t->colorLock.bytesPerPixel < 2 || t->colorLock.bytesPerPixel > 4) {
            UnlockBitMapPixels(&t->colorLock);
            return false;
        }
        t->colorLocked = true;
        t->pixel = ConvertARGBToPixel(colour & 0xFFFFFF, t->colorLock.pixelFormat, 0);
        t->opacity = 255 - (int)(colour >> 24);
        w = t->colorLock.width;
        h = t->colorLock.height;
    } else {
        if (!coverage || coverage->kind == BITMAP_COLOR || !LockBitMapPixels(coverage, 0, &t->coverLock)) return false;
        t->coverLocked = true;
        t->coverIsAlpha = coverage->kind == BITMAP_ALPHA;
        w = t->coverLock.width;
        h = t->coverLock.height;
        if (bitmap && bitmap->kind == BITMAP_COLOR && LockBitMapPixels(bitmap, 0, &t->colorLock)) {
            if (t->colorLock.bytesPerPixel >= 2 && t->colorLock.bytesPerPixel <= 4) {
                t->colorLocked = true;
                w = std::min<int64_t>(w, t->colorLock.width);
                h = std::min<int64_t>(h, t->colorLock.height);
            } else {
                UnlockBitMapPixels(&t->colorLock);
            }
        }
    }
    t->x0 = 0;
    t->y0 = 0;
    t->x1 = w;
    t->y1 = h;
    if (clip) {
        t->x0 = std::max<int64_t>(t->x0, clip->x);
        t->y0 = std::max<int64_t>(t->y0, clip->y);
        t->x1 = std::min<int64_t>(t->x1, (int64_t)clip->x + std::max(0, clip->width));
        t->y1 = std::min<int64_t>(t->y1, (int64_t)clip->y + std::max(0, clip->height));
    }
    return true;
}

void EndGlyphTarget(qzGlyphTarget* t) {
    if (t->colorLocked) UnlockBitMapPixels(&t->colorLock);
    if (t->coverLocked) UnlockBitMapPixels(&t->coverLock);
    t->colorLocked = t->coverLocked = false;
}

// The visible part of a width x height rectangle at dx, dy: the first source column and row and
// the destination rectangle. False when nothing is visible.
static bool VisiblePart(const qzGlyphTarget* t, int64_t dx, int64_t dy, int64_t width, int64_t height, int64_t* sx,
                        int64_t* sy, int64_t* x0, int64_t* y0, int64_t* x1, int64_t* y1) {
    *x0 = std::max(dx, t->x0);
    *y0 = std::max(dy, t->y0);
    *x1 = std::min(dx + width, t->x1);
    *y1 = std::min(dy + height, t->y1);
    *sx = *x0 - dx;
    *sy = *y0 - dy;
    return *x0 < *x1 && *y0 < *y1;
}

void DrawGlyphImage(qzGlyphTarget* t, int64_t dx, int64_t dy, const qzGlyphImage& g) {
    int64_t sx, sy, x0, y0, x1, y1;
    if (!g.rows || !VisiblePart(t, dx, dy, g.width, g.height, &sx, &sy, &x0, &y0, &x1, &y1)) return;
    for (int64_t y = y0; y < y1; y++) {
        const uint8_t* src = g.rows + (sy + (y - y0)) * g.pitch;
        for (int64_t x = x0; x < x1; x++) {
            int64_t column = sx + (x - x0);
            int value = g.oneBit ? (GetMaskBit(src, g.bitOffset + column) ? 255 : 0) : src[column];
            if (value == 0) continue;
            if (t->colour != FONT_NO_COLOR) {
                uint8_t* p = PixelAt(t->colorLock, x, y);
                int weight = value * t->opacity / 255;
                if (weight >= 255)
                    StorePixel(p, t->colorLock.bytesPerPixel, t->pixel);
                else if (weight > 0)
                    BlendPixel(t->colorLock, p, t->colour & 0xFFFFFF, weight);
            } else if (t->coverIsAlpha) {
                CoverRow(t->coverLock, y)[x] = (uint8_t)value;
            } else {
                SetMaskBit(CoverRow(t->coverLock, y), x);
            }
        }
    }
}

void DrawColorGlyph(qzGlyphTarget* t, int64_t dx, int64_t dy, const uint32_t* strip, int64_t rowLength, int64_t sx0,
                    int width, int height, uint32_t keyColour) {
    int64_t sx, sy, x0, y0, x1, y1;
    if (!strip || !VisiblePart(t, dx, dy, width, height, &sx, &sy, &x0, &y0, &x1, &y1)) return;
    for (int64_t y = y0; y < y1; y++) {
        const uint32_t* src = strip + (sy + (y - y0)) * rowLength + sx0 + sx;
        for (int64_t x = x0; x < x1; x++) {
            uint32_t rgb = src[x - x0] & 0xFFFFFF;
            if (rgb == (keyColour & 0xFFFFFF)) continue;
            if (t->colorLocked) {
                uint8_t* p = PixelAt(t->colorLock, x, y);
                if (t->colour != FONT_NO_COLOR && t->opacity < 255)
                    BlendPixel(t->colorLock, p, rgb, t->opacity);
                else
                    StorePixel(p, t->colorLock.bytesPerPixel, ConvertARGBToPixel(rgb, t->colorLock.pixelFormat, 0));
            }
            if (t->colour == FONT_NO_COLOR) {
                if (t->coverIsAlpha)
                    CoverRow(t->coverLock, y)[x] = 255;
                else
                    SetMaskBit(CoverRow(t->coverLock, y), x);
            }
        }
    }
}
