#include "image/brush_transform.h"

#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "gfx/copy_bitmap.h"
#include "gfx/flip_pixelate.h"
#include "gfx/image_source.h"
#include "gfx/mask_bits.h"
#include "gfx/scale_bitmap.h"
#include "gfx/transform_bitmap.h"
#include "image/brush.h"
#include "image/brush_bitmaps.h"
#include "runtime/object_id.h"
#include "vm/vm.h"

int FindBrushForChange(VmState* state, const qzObjectId& id, int flags, qzBrush** out) {
    *out = nullptr;
    for (qzBrush* b = FirstBrush(); b; b = NextBrush(b))
        if (!b->layeronly && SameObjectId(b->header.id, id) && BrushIsSelectedOutput(b)) return ERR_MODIFYABR;
    return FindBrush(state, id, out, flags | QZ_FINDBRUSH_MODIFY);
}

qzBrush* CheckBrushForChange(VmState* state, const qzObjectId& id, int flags) {
    qzBrush* brush = nullptr;
    if (int error = FindBrushForChange(state, id, flags, &brush)) VmFailCommand(state, error);
    return brush;
}

qzBrush* CheckBrushForChange(VmState* state, int index, int flags) {
    qzObjectId id;
    GetObjectIdArg(&id, state, index);
    return CheckBrushForChange(state, id, flags);
}

int ScaleBrushCore(qzBrush* brush, int32_t width, int32_t height, int smooth) {
    if (width < 1 || height < 1) return ERR_BADDIMENSIONS;
    if (width == brush->width && height == brush->height) return 0;
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int error;
    if (brush->type == 1 && brush->source) {
        const int32_t baseWidth = brush->srcwidth > 0 ? brush->srcwidth : brush->width;
        const int32_t baseHeight = brush->srcheight > 0 ? brush->srcheight : brush->height;
        const double matrix[4] = {(double)width / baseWidth, 0, 0, (double)height / baseHeight};
        const double anchor[2] = {0, 0};
        int32_t x, y, w, h;
        error = TransformBrushBitmap(brush->type, brush->source, brush->bitmap, brush->mask, brush->alpha, 0, 0, 0, 0,
                                     baseWidth, baseHeight, anchor, matrix, smooth, brush->hardware, &bitmap, &mask,
                                     &alpha, &x, &y, &w, &h);
        if (error) return error;
        ReplaceBrushBitmaps(brush, bitmap, mask, alpha, w, h);
        brush->transformedvector = 1;
        return 0;
    }
    error = ScaleBitMap(brush->bitmap, brush->mask, brush->alpha, 0, 0, nullptr, brush->width, brush->height, width,
                        height, smooth, &bitmap, brush->mask ? &mask : nullptr, brush->alpha ? &alpha : nullptr);
    if (error) return error;
    ReplaceBrushBitmaps(brush, bitmap, mask, alpha, width, height);
    return 0;
}

int TransformBrushCore(VmState* state, const qzObjectId& id, const double matrix[4], int smooth) {
    qzBrush* brush = nullptr;
    int error = FindBrushForChange(state, id, QZ_FINDBRUSH_HARDWARE, &brush);
    if (error) return error;
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int32_t width = 0, height = 0;
    if (brush->type == 1 && brush->source) {
        const double anchor[2] = {0, 0};
        int32_t x, y;
        error = TransformBrushBitmap(brush->type, brush->source, brush->bitmap, brush->mask, brush->alpha, 0, 0, 0, 0,
                                     brush->width, brush->height, anchor, matrix, smooth, brush->hardware, &bitmap,
                                     &mask, &alpha, &x, &y, &width, &height);
    } else {
        error = TransformBitMap(brush->bitmap, brush->mask, brush->alpha, brush->width, brush->height, matrix, smooth,
                                &bitmap, &mask, &alpha);
        if (!error) {
            width = bitmap->width;
            height = bitmap->height;
        }
    }
    if (error) return error;
    ReplaceBrushBitmaps(brush, bitmap, mask, alpha, width, height);
    if (brush->mask && brush->transparentcolor < 0) brush->transparentcolor = QZ_BLANKBRUSH_KEY;
    return 0;
}

int FlipBrushCore(qzBrush* brush, int vertical) {
    return FlipBitMap(brush->bitmap, brush->mask, brush->alpha, brush->width, brush->height, vertical);
}

int CropBrushCore(qzBrush* brush, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (width < 1 || height < 1) return ERR_BADDIMENSIONS;
    if (x < 0 || y < 0) return ERR_NEGCOORDS;
    if (x >= brush->width || y >= brush->height) return ERR_COORDSRANGE;
    if (width > brush->width - x) width = brush->width - x;
    if (height > brush->height - y) height = brush->height - y;
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int error = CopyBitMap(brush->bitmap, brush->mask, brush->alpha, x, y, width, height, brush->hardware, &bitmap,
                           brush->mask ? &mask : nullptr, brush->alpha ? &alpha : nullptr);
    if (error) return error;
    ReplaceBrushBitmaps(brush, bitmap, mask, alpha, width, height);
    return 0;
}

int TrimBrushCore(qzBrush* brush, int32_t* left, int32_t* top) {
    *left = *top = 0;
    const qzBitMap* plane = brush->mask ? brush->mask : brush->alpha;
    if (!plane) return 0;
    qzLockInfo lock;
    if (!LockBitMapPixels(plane, LOCKF_READONLY, &lock)) return ERR_LOCKBMAP;
    const uint8_t* base = static_cast<const uint8_t*>(lock.pixels);
    const int64_t bytesPerRow = lock.rowLength;
    int32_t minX = 100000, minY = 100000, maxX = -1, maxY = -1;
    for (int32_t y = 0; y < brush->height; y++) {
        const uint8_t* row = base + y * bytesPerRow;
        for (int32_t x = 0; x < brush->width; x++) {
            const bool visible = brush->mask ? GetMaskBit(row, x) != 0 : row[x] != 0;
            if (!visible) continue;
            if (x < minX) minX = x;
            if (x > maxX) maxX = x;
            if (y < minY) minY = y;
            if (y > maxY) maxY = y;
        }
    }
    UnlockBitMapPixels(&lock);
    if (minX == 100000 || maxY - minY + 1 < 1) return ERR_TRANSBRUSH;
    const int32_t width = maxX - minX + 1, height = maxY - minY + 1;
    if (minX == 0 && minY == 0 && width == brush->width && height == brush->height) return 0;
    int error = CropBrushCore(brush, minX, minY, width, height);
    if (error) return error;
    *left = minX;
    *top = minY;
    return 0;
}

int RasterizeBrushCore(qzBrush* brush) {
    if (brush->type != 1) return ERR_WRONGUSAGE;
    if (brush->source) FreeImageSource(brush->source);
    brush->source = nullptr;
    brush->type = 0;
    brush->transformedvector = 0;
    return 0;
}
