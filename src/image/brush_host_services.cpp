// The brush services of the plugin host API; see brush_host_services.h.
#include "image/brush_host_services.h"

#include <vector>

#include "base/error_codes.h"
#include "base/object_id.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/plugin_gfx_services.h"
#include "image/brush.h"
#include "image/brush_pixels.h"
#include "platform/os_bitmap.h"

void* HostLockBrushBitMap(VmState* state, const qzPluginObjectId* id, qzPluginLock* out) {
    if (!id || !out) return nullptr;
    qzBrush* brush = nullptr;
    if (FindBrush(state, {id->number, id->pointer}, &brush, QZ_FINDBRUSH_MODIFY | QZ_FINDBRUSH_NOVECTOR) != 0 ||
        !brush->bitmap)
        return nullptr;
    return HostLockBitMap(brush->bitmap, 0, out);
}

uint32_t* HostGetBrushPixels(VmState* state, const qzPluginObjectId* id, int* width, int* height) {
    if (!id) return nullptr;
    qzBrush* brush = nullptr;
    if (FindBrush(state, {id->number, id->pointer}, &brush, QZ_FINDBRUSH_NOVECTOR) != 0 || !brush->bitmap)
        return nullptr;
    uint32_t* pixels = ReadBitMapPixelsMasked(brush->bitmap, 0, 0, brush->width, brush->height, brush->mask,
                                              brush->alpha, QZ_NO_KEY_COLOR, 1, LOCKF_READONLY);
    if (!pixels) return nullptr;
    if (width) *width = brush->width;
    if (height) *height = brush->height;
    return pixels;
}

int HostCreateBrushFromPixels(VmState* state, qzPluginObjectId* id, const uint32_t* pixels, int width, int height,
                              int rowLength, const qzTagItem* tags) {
    if (!id || !pixels || rowLength < width) return ERR_WRONGUSAGE;
    const qzObjectId key = {id->number, id->pointer};
    if (key.pointer && !IsAutoObjectId(key)) return ERR_WRONGUSAGE;
    if (width < 1 || height < 1) return ERR_BADDIMENSIONS;
    if ((int64_t)width * height * 4 > QZ_MAX_BITMAP_BYTES) return ERR_BITMAP;
    int withAlpha = 0;
    for (const qzTagItem* t = tags; t && t->tag; t++)
        if (t->tag == QZ_BRUSHPIXTAG_ALPHA) withAlpha = t->value != 0;
    std::vector<uint32_t> packed((size_t)width * (size_t)height);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            packed[(size_t)y * (size_t)width + (size_t)x] = pixels[(size_t)y * (size_t)rowLength + (size_t)x];
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int error =
        MakeBitmapsFromARGB(packed.data(), width, height, withAlpha ? QZ_TRANSPARENCY_ALPHA : QZ_TRANSPARENCY_NONE, 0,
                            &bitmap, &mask, &alpha);
    if (error) return error;
    FreeBrushForReuse(state, key);
    qzBrush* brush = nullptr;
    error = AddBrush(key, QZ_IMAGETYPE_RASTER, width, height, width, 0, nullptr, bitmap, QZ_NOTRANSPARENCY, nullptr,
                     alpha, nullptr, &brush);
    if (error) {
        DeleteBitMap(bitmap);
        DeleteAlphaBitMap(alpha);
        return error;
    }
    if (key.pointer) {
        id->number = brush->header.id.number;
        id->pointer = brush->header.id.pointer;
    }
    return 0;
}
