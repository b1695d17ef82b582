#include "image/brush_filters.h"

#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/blit.h"
#include "gfx/filter_bitmap.h"
#include "gfx/kernels_color.h"
#include "gfx/pixel_format.h"
#include "image/brush.h"
#include "image/brush_pixels.h"

int ReplaceBrushColors(qzBrush* brush, const std::vector<uint32_t>& pairs) {
    if (pairs.empty()) return 0;
    BitMapLock lock(brush->bitmap, 0);
    if (!lock.ok) return ERR_LOCKBMAP;
    const qzLockInfo& l = lock.info;
    if (l.bytesPerPixel != 2 && l.bytesPerPixel != 4) return 0;
    // The kernel's table: pairs in the pixel format, ended by a from of all ones.
    std::vector<uint32_t> table;
    table.reserve(pairs.size() + 2);
    for (uint32_t colour : pairs) table.push_back(ConvertARGBToPixel(colour & 0xFFFFFF, l.pixelFormat, 0));
    table.push_back(0xFFFFFFFFu);
    table.push_back(0);
    const int width = brush->width < l.width ? brush->width : l.width;
    const int height = brush->height < l.height ? brush->height : l.height;
    if (l.bytesPerPixel == 2)
        ReplaceColors16(width, height, table.data(), l.pixels, l.rowLength);
    else
        ReplaceColors32(width, height, table.data(), l.pixels, l.rowLength, ColourBitsMask(l.pixelFormat));
    return 0;
}

int MakeShadowBitmaps(const qzBrush* source, uint32_t colour, double radius, double sigma, int border,
                      qzBitMap** bitmap, qzBitMap** alpha, int32_t* width, int32_t* height) {
    *bitmap = *alpha = nullptr;
    const int64_t r = (int64_t)radius;
    const int64_t w = source->width + 2 * r, h = source->height + 2 * r;
    if (r < 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF || w * h * 4 > QZ_MAX_BITMAP_BYTES) return ERR_BITMAP;
    MadeBitMaps made;
    made.bitmap = CreateBitMap((int)w, (int)h, 0, nullptr);
    if (!made.bitmap) return ERR_BITMAP;
    FillBitMapRect(made.bitmap, 0, 0, (int)w, (int)h, colour & 0xFFFFFF);
    if (!border || source->mask || source->alpha) {
        made.alpha =
            BlurAlphaForShadow(source->mask, source->alpha, 0, 0, source->width, source->height, radius, sigma, border);
        if (!made.alpha) return ERR_MEM;
    }
    *width = (int32_t)w;
    *height = (int32_t)h;
    made.Release(bitmap, nullptr, alpha);
    return 0;
}
