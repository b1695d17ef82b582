#include "image/brush_pixels.h"

#include <memory>

#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/blit.h"
#include "gfx/channel_ops.h"
#include "gfx/draw_modes.h"
#include "gfx/kernels_flood.h"
#include "gfx/key_mask.h"
#include "gfx/mask_bits.h"
#include "gfx/pixel_format.h"
#include "image/brush.h"
#include "platform/os_alloc.h"

namespace {

uint8_t* ByteRow(const qzLockInfo& lock, int64_t y) { return static_cast<uint8_t*>(lock.pixels) + y * lock.rowLength; }

}  // namespace

uint32_t ColourBitsMask(int pixelFormat) {
    return (pixelFormat == 10 || pixelFormat == 13) ? 0x00FFFFFFu : 0xFFFFFF00u;
}

uint32_t ReadBrushPixelAt(const qzBrush* brush, int32_t x, int32_t y, int32_t* transparency) {
    *transparency = -1;
    if (brush->mask) {
        *transparency = (int32_t)ReadBitMapPixel(brush->mask, x, y, 1);
    } else if (brush->alpha) {
        BitMapLock lock(brush->alpha, LOCKF_READONLY);
        if (lock.ok && x < lock.info.width && y < lock.info.height) *transparency = ByteRow(lock.info, y)[x];
    }
    return ReadBitMapPixel(brush->bitmap, x, y, 0) & 0xFFFFFF;
}

void WriteBrushPixelAt(qzBrush* brush, int32_t x, int32_t y, uint32_t colour, int32_t value) {
    WriteBitMapPixel(brush->bitmap, x, y, colour & 0xFFFFFF, 0);
    if (value == -1) return;
    if (brush->mask) {
        WriteBitMapPixel(brush->mask, x, y, value ? MASKVISIBLE : MASKINVISIBLE, 1);
    } else if (brush->alpha) {
        BitMapLock lock(brush->alpha, 0);
        if (lock.ok && x < lock.info.width && y < lock.info.height)
            ByteRow(lock.info, y)[x] = (uint8_t)(value < 0 ? 0 : value > 255 ? 255 : value);
    }
}

int ReadBrushARGB(const qzBrush* brush, int inverted, std::vector<uint32_t>* out) {
    // Alpha from the alpha channel, else from the mask (0 or 255), else 255.
    uint32_t* pixels = ReadBitMapPixelsMasked(brush->bitmap, 0, 0, brush->width, brush->height, brush->mask,
                                              brush->alpha, QZ_NO_KEY_COLOR, 1, LOCKF_READONLY);
    if (!pixels) return ERR_LOCKBMAP;
    // The pixels go also when the copy runs out of memory and unwinds through here.
    std::unique_ptr<uint32_t, void (*)(void*)> owner(pixels, OsFree);
    out->assign(pixels, pixels + (size_t)brush->width * (size_t)brush->height);
    if (inverted)
        for (uint32_t& p : *out) p ^= 0xFF000000u;
    return 0;
}

int MakeBitmapsFromARGB(const uint32_t* argb, int32_t width, int32_t height, int kind, int inverted, qzBitMap** bitmap,
                        qzBitMap** mask, qzBitMap** alpha) {
    *bitmap = *mask = *alpha = nullptr;
    MadeBitMaps made;
    made.bitmap = CreateBitMap(width, height, 0, nullptr);
    if (!made.bitmap) return ERR_BITMAP;
    if (kind == QZ_TRANSPARENCY_MASK) {
        made.mask = CreateMaskBitMap(made.bitmap, width, height, 1, nullptr, 0);
        if (!made.mask) return ERR_ALLOCMASK;
    } else if (kind == QZ_TRANSPARENCY_ALPHA) {
        made.alpha = CreateAlphaBitMap(width, height, 1, nullptr, 0);
        if (!made.alpha) return ERR_ALLOCALPHA;
    }
    {
        BitMapLock colour(made.bitmap, 0);
        if (!colour.ok) return ERR_LOCKBMAP;
    }
    WriteARGBToBitMap(argb, 0, 0, width * 4, made.bitmap, 0, 0, width, height);
    if (made.mask || made.alpha) {
        BitMapLock channel(made.mask ? made.mask : made.alpha, 0);
        if (!channel.ok) return ERR_LOCKBMAP;
        for (int32_t y = 0; y < height && y < channel.info.height; y++) {
            const uint32_t* row = argb + (size_t)y * width;
            uint8_t* out = ByteRow(channel.info, y);
            for (int32_t x = 0; x < width && x < channel.info.width; x++) {
                uint32_t aa = row[x] >> 24;
                if (inverted) aa = 255 - aa;
                if (made.mask)
                    PutMaskBit(out, x, aa != 0);
                else
                    out[x] = (uint8_t)aa;
            }
        }
    }
    made.Release(bitmap, mask, alpha);
    return 0;
}

void DeleteBrushMask(qzBrush* brush) {
    DeleteMaskBitMap(brush->mask);
    brush->mask = nullptr;
    brush->transparentcolor = QZ_NOTRANSPARENCY;
}

void DeleteBrushAlpha(qzBrush* brush) {
    DeleteAlphaBitMap(brush->alpha);
    brush->alpha = nullptr;
}

int SetBrushKeyColor(qzBrush* brush, int32_t colour) {
    if (colour == QZ_NOTRANSPARENCY) {
        DeleteBrushMask(brush);
        DeleteBrushAlpha(brush);
        return 0;
    }
    qzBitMap* mask = CreateMaskFromKeyColor(brush->bitmap, brush->width, brush->height, (uint32_t)colour & 0xFFFFFF);
    if (!mask) return ERR_MEM;
    DeleteBrushMask(brush);
    DeleteBrushAlpha(brush);
    brush->mask = mask;
    brush->transparentcolor = colour;
    return 0;
}

int ChangeBrushTransparencyKind(qzBrush* brush, int32_t kind) {
    if (kind == QZ_TRANSPARENCY_NONE) {
        DeleteBrushMask(brush);
        DeleteBrushAlpha(brush);
        return 0;
    }
    if (kind == QZ_TRANSPARENCY_MASK) {
        if (brush->mask) return 0;
        // Visible where the alpha channel is fully opaque (everywhere without one).
        qzBitMap* mask = CreateMaskBitMap(brush->bitmap, brush->width, brush->height, 1, nullptr, 0);
        if (!mask) return ERR_ALLOCMASK;
        if (!brush->alpha) {
            FillMaskRect(mask, 0, 0, brush->width, brush->height, MASKVISIBLE);
        } else if (int error = AlphaToMask(brush->alpha, 0, 0, mask, 0, 0, brush->width, brush->height, 0)) {
            DeleteMaskBitMap(mask);
            return error;
        }
        DeleteBrushAlpha(brush);
        brush->mask = mask;
        brush->transparentcolor = QZ_BLANKBRUSH_KEY;
        return 0;
    }
    if (kind == QZ_TRANSPARENCY_ALPHA) {
        if (brush->alpha) return 0;
        qzBitMap* alpha = CreateAlphaBitMap(brush->width, brush->height, 0, nullptr, 0);
        if (!alpha) return ERR_ALLOCALPHA;
        const int error = brush->mask ? MaskToAlpha(brush->mask, 0, 0, alpha, 0, 0, brush->width, brush->height, 255)
                                      : FillAlphaRect(alpha, 0, 0, brush->width, brush->height, 255);
        if (error) {
            DeleteAlphaBitMap(alpha);
            return error;
        }
        DeleteBrushMask(brush);
        brush->alpha = alpha;
        return 0;
    }
    return ERR_WRONGUSAGE;
}

int FloodFillBrush(qzBrush* brush, int32_t x, int32_t y, uint32_t border, uint32_t fill) {
    BitMapLock lock(brush->bitmap, 0);
    if (!lock.ok) return ERR_LOCKBMAP;
    const qzLockInfo& l = lock.info;
    if (l.bytesPerPixel != 2 && l.bytesPerPixel != 4) return ERR_LOCKBMAP;
    qzFloodFillJob job{};
    job.pixels = l.pixels;
    job.width = brush->width < l.width ? brush->width : l.width;
    job.height = brush->height < l.height ? brush->height : l.height;
    job.rowLength = l.rowLength;
    job.boundary = ConvertARGBToPixel(border & 0xFFFFFF, l.pixelFormat, 0);
    job.fill = ConvertARGBToPixel(fill & 0xFFFFFF, l.pixelFormat, 0);
    if (l.bytesPerPixel == 2) return FloodFill16(&job, x, y);
    return FloodFill32(&job, x, y, ColourBitsMask(l.pixelFormat));
}
