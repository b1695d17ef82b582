#include "image/brush_bitmaps.h"

#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/channel_ops.h"
#include "gfx/copy_bitmap.h"
#include "gfx/image_source.h"
#include "gfx/scale_bitmap.h"
#include "gfx/transform_bitmap.h"
#include "image/brush.h"
#include "image/draw_options.h"

namespace {

// A vector image rendered again by its loader under the matrix at width x height.
int RenderVector(qzImageSource* source, const double matrix[4], int32_t width, int32_t height, int hardware,
                 qzBitMap** outBitmap, qzBitMap** outAlpha) {
    int error = TransformPluginImage(source, matrix, width, height);
    if (error) return error;
    const uint32_t* pixels = GetImageSourcePixels(source);
    int w = 0, h = 0;
    GetImageSourceSize(source, &w, &h);
    if (!pixels || w < 1 || h < 1) return ERR_TFIMAGE;
    const int stride = source->rowLength > 0 ? source->rowLength : w;
    qzBitMap* bitmap = nullptr;
    error =
        CreateBitMapFromARGB(pixels, QZ_NO_KEY_COLOR, w, h, stride, hardware, 2, nullptr, &bitmap, nullptr, nullptr);
    if (error) return error;
    qzBitMap* alpha = CreateAlphaBitMapFromData(pixels, w, h, stride);
    if (!alpha) {
        DeleteBitMap(bitmap);
        return ERR_ALLOCALPHA;
    }
    *outBitmap = bitmap;
    *outAlpha = alpha;
    return 0;
}

}  // namespace

int TransformBrushBitmap(int32_t type, qzImageSource* vectorSource, const qzBitMap* bitmap, const qzBitMap* mask,
                         const qzBitMap* alpha, int32_t srcx, int32_t srcy, int32_t dstx, int32_t dsty, int32_t width,
                         int32_t height, const double anchor[2], const double matrix[4], int smooth, int hardware,
                         qzBitMap** outBitmap, qzBitMap** outMask, qzBitMap** outAlpha, int32_t* outX, int32_t* outY,
                         int32_t* outWidth, int32_t* outHeight) {
    *outBitmap = *outMask = *outAlpha = nullptr;
    int x = dstx, y = dsty;
    GetTransformedRectBounds(dstx, dsty, width, height, anchor[0], anchor[1], matrix, &x, &y, nullptr, nullptr, nullptr,
                             nullptr);
    int32_t newWidth = 1, newHeight = 1;
    GetTransformedSize(matrix, width, height, &newWidth, &newHeight);
    const bool identity = matrix[0] == 1 && matrix[1] == 0 && matrix[2] == 0 && matrix[3] == 1;
    const bool diagonal = matrix[1] == 0 && matrix[2] == 0 && matrix[0] >= 0 && matrix[3] >= 0;
    int error = 0;
    if (identity) {
        error = CopyBitMap(bitmap, mask, alpha, srcx, srcy, width, height, hardware, outBitmap,
                           mask ? outMask : nullptr, alpha ? outAlpha : nullptr);
    } else if (type == QZ_IMAGETYPE_VECTOR && vectorSource) {
        error = RenderVector(vectorSource, matrix, newWidth, newHeight, hardware, outBitmap, outAlpha);
        if (!error) {
            newWidth = (*outBitmap)->width;
            newHeight = (*outBitmap)->height;
        }
    } else if (diagonal) {
        error = ScaleBitMap(bitmap, mask, alpha, srcx, srcy, nullptr, width, height, newWidth, newHeight, smooth,
                            outBitmap, mask ? outMask : nullptr, alpha ? outAlpha : nullptr);
    } else {
        // The transform reads the top-left part of its source: a part elsewhere is cut out first.
        const qzBitMap *from = bitmap, *fromMask = mask, *fromAlpha = alpha;
        qzBitMap *partBitmap = nullptr, *partMask = nullptr, *partAlpha = nullptr;
        if (srcx || srcy) {
            error = CopyBitMap(bitmap, mask, alpha, srcx, srcy, width, height, 0, &partBitmap,
                               mask ? &partMask : nullptr, alpha ? &partAlpha : nullptr);
            if (error) return error;
            from = partBitmap;
            fromMask = partMask;
            fromAlpha = partAlpha;
        }
        error = TransformBitMap(from, fromMask, fromAlpha, width, height, matrix, smooth, outBitmap, outMask, outAlpha);
        DeleteBitMap(partBitmap);
        DeleteMaskBitMap(partMask);
        DeleteAlphaBitMap(partAlpha);
        if (!error) {
            newWidth = (*outBitmap)->width;
            newHeight = (*outBitmap)->height;
        }
    }
    if (error) {
        *outBitmap = *outMask = *outAlpha = nullptr;
        return error;
    }
    if (identity) {
        x = dstx;
        y = dsty;
    }
    *outX = x;
    *outY = y;
    *outWidth = newWidth;
    *outHeight = newHeight;
    return 0;
}

int ApplyTransparencyLevel(qzBitMap** inoutAlpha, qzBitMap** inoutMask, int32_t width, int32_t height, int level) {
    if (*inoutAlpha) {
        ScaleAlphaChannel(*inoutAlpha, *inoutAlpha, height, level);
        return 0;
    }
    qzBitMap* alpha = CreateAlphaBitMap(width, height, 1, nullptr, 0);
    if (!alpha) return ERR_ALLOCALPHA;
    if (*inoutMask) {
        MaskToAlpha(*inoutMask, 0, 0, alpha, 0, 0, width, height, level);
        DeleteMaskBitMap(*inoutMask);
        *inoutMask = nullptr;
    } else {
        FillAlphaRect(alpha, 0, 0, width, height, level);
    }
    *inoutAlpha = alpha;
    return 0;
}
