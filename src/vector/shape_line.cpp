#include "vector/shape_line.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/error_codes.h"
#include "gfx/bitmap_lock.h"
#include "gfx/pen.h"
#include "vector/coverage_fill.h"
#include "vector/shape_pen.h"

namespace {

// As for shapes: a side above this cannot become a colour bitmap.
constexpr int64_t kMaxLineBox = 0x1FFFFFFF;

void ClearBitmap(qzBitMap* bitmap) {
    BitMapLock lock(bitmap, 0);
    if (!lock.ok) return;
    const int64_t bytes = (int64_t)lock.info.rowLength * lock.info.bytesPerPixel;
    for (int y = 0; y < lock.info.height; y++) std::memset((uint8_t*)lock.info.pixels + y * bytes, 0, (size_t)bytes);
}

}  // namespace

int ClipSegmentAxis(int32_t* a1, int32_t* b1, int32_t* a2, int32_t* b2, int32_t low, int32_t high) {
    if ((*a1 < low && *a2 < low) || (*a1 > high && *a2 > high)) return 0;
    const int64_t A1 = *a1, B1 = *b1, A2 = *a2, B2 = *b2;
    const int64_t da = A2 - A1, db = B2 - B1;
    // The other coordinate where the segment crosses a, truncated toward zero.
    auto at = [&](int64_t a) { return (int32_t)(B1 + (da ? (int64_t)((__int128)db * (a - A1) / da) : 0)); };
    if (A1 < low) {
        *a1 = low;
        *b1 = at(low);
    } else if (A1 > high) {
        *a1 = high;
        *b1 = at(high);
    }
    if (A2 < low) {
        *a2 = low;
        *b2 = at(low);
    } else if (A2 > high) {
        *a2 = high;
        *b2 = at(high);
    }
    return 1;
}

int ClampLineThickness(int64_t thickness) { return (int)std::clamp<int64_t>(thickness, 1, 64); }

int RenderLineOffscreen(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color, int thickness, bool antialias,
                        qzShapeBitmaps* out) {
    int64_t bx = std::min(x1, x2), by = std::min(y1, y2);
    int64_t w = std::llabs((int64_t)x2 - x1) + 1, h = std::llabs((int64_t)y2 - y1) + 1;
    int64_t ax = x1 - bx, ay = y1 - by, cx = x2 - bx, cy = y2 - by;
    if (antialias && thickness > 1) {
        w += 5, h += 5, bx -= 2, by -= 2;
        ax += 2, ay += 2, cx += 2, cy += 2;
    }
    if (thickness > 1) {
        const int half = thickness >> 1;
        w += thickness, h += thickness, bx -= half, by -= half;
        ax += half, ay += half, cx += half, cy += half;
    }
    if (w > kMaxLineBox || h > kMaxLineBox) return ERR_BITMAP;
    MadeBitMaps made;
    made.bitmap = CreateBitMap((int)w, (int)h, 0, nullptr);
    if (!made.bitmap) return ERR_BITMAP;
    ClearBitmap(made.bitmap);
    if (!antialias && !(color >> 24)) {
        made.mask = CreateMaskBitMap(made.bitmap, (int)w, (int)h, 1, nullptr, 0);
        if (!made.mask) return ERR_ALLOCMASK;
    } else {
        made.alpha = CreateAlphaBitMap((int)w, (int)h, 1, nullptr, 0);
        if (!made.alpha) return ERR_ALLOCALPHA;
    }
    if (thickness <= 1) {
        qzShapePen pen(made.bitmap, made.mask, made.alpha, nullptr, color);
        if (!pen.ok) return ERR_LOCKBMAP;
        if (antialias)
            DrawPenLine(&pen.pen, (int)ax, (int)ay, (int)cx, (int)cy);
        else
            DrawThickPenLine(&pen.pen, (int)ax, (int)ay, (int)cx, (int)cy);
    } else {
        qzCoverageImage* image = CreateCoverageImage((int)w, (int)h, nullptr, nullptr);
        if (!image) return ERR_MEM;
        DrawCoverageThickLine(image, (int)ax, (int)ay, (int)cx, (int)cy, antialias ? 1 : 0, thickness);
        int error = CoverageLastError() < 0 ? ERR_MEM : 0;
        if (!error) {
            if (antialias) {
                const qzCoveragePart part = {image->pixels, image->pitch,  0,     0,
                                             image->width,  image->height, color, nullptr};
                error = ComposeShapeCoverage(made.bitmap, made.alpha, &part, 1);
            } else {
                qzShapePen pen(made.bitmap, made.mask, made.alpha, nullptr, color);
                if (pen.ok)
                    PlotCoverageMap(image->pixels, 0, 0, &pen.pen, image->width, image->height, image->pitch, 0);
                else
                    error = ERR_LOCKBMAP;
            }
        }
        FreeCoverageImage(image);
        if (error) return error;
    }
    out->x = (int32_t)bx;
    out->y = (int32_t)by;
    out->width = (int32_t)w;
    out->height = (int32_t)h;
    made.Release(&out->bitmap, &out->mask, &out->alpha);
    return 0;
}
