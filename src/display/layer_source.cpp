#include "display/layer_source.h"

#include "base/error_codes.h"
#include "display/layer.h"
#include "display/layer_kinds.h"
#include "gfx/bitmap.h"
#include "gfx/copy_bitmap.h"

namespace {

void TakeTrio(const qzBitMapTrio& trio, int32_t width, int32_t height, int fromCache, qzLayerSource* out) {
    out->trio = trio;
    out->width = width;
    out->height = height;
    out->fromCache = fromCache;
}

}  // namespace

int GetLayerSourceBitmaps(VmState* state, qzLayer* layer, qzLayerState* st, int useCache, int useScaled, int32_t frame,
                          qzLayerSource* out) {
    *out = {};
    if (layer->type == QZ_LAYER_NOOBJECT) return ERR_WRONGUSAGE;
    if (useCache) {
        ApplyFiltersToLayerCache(state, layer, st, useScaled);
        if (st->cached.bitmap) {
            TakeTrio(st->cached, st->width, st->height, 1, out);
            return 0;
        }
    }
    if (useScaled && st->resized.bitmap && !layer->geometryFilter) {
        TakeTrio(st->resized, st->width, st->height, 0, out);
        return 0;
    }
    const qzLayerKindOps& ops = LayerKindOps(layer->type);
    if (st->own.bitmap) {
        int32_t width = st->width, height = st->height;
        if (layer->type == QZ_LAYER_VIDEO && layer->base == st && (st->partX || st->partY) && ops.videoFrameSize)
            ops.videoFrameSize(layer, &width, &height);
        TakeTrio(st->own, width, height, 0, out);
        return 0;
    }
    if (!ops.sourceBitmaps) return ERR_WRONGUSAGE;
    int error = ops.sourceBitmaps(state, layer, st, frame, out);
    out->fromCache = 0;
    return error;
}

qzLayerShownRect LayerShownRect(const qzLayer* layer, const qzLayerState* st, const qzLayerSource& source) {
    if (LayerShowsPart(layer->type) && !source.fromCache) return {st->partX, st->partY, st->width, st->height};
    return {0, 0, source.width, source.height};
}

void ApplyFiltersToLayerCache(VmState* state, qzLayer* layer, qzLayerState* st, int allowResized) {
    if (st->cached.bitmap || !HasEnabledFilter(layer->filters)) return;
    qzLayerSource source;
    if (GetLayerSourceBitmaps(state, layer, st, 0, allowResized, -1, &source) != 0 || !source.trio.bitmap) return;
    const bool part = LayerShowsPart(layer->type) && source.trio.bitmap != st->resized.bitmap;
    const int32_t sx = part ? st->partX : 0, sy = part ? st->partY : 0;
    qzBitMapTrio copy = {};
    if (CopyBitMap(source.trio.bitmap, source.trio.mask, source.trio.alpha, sx, sy, st->width, st->height, 0,
                   &copy.bitmap, source.trio.mask ? &copy.mask : nullptr,
                   source.trio.alpha ? &copy.alpha : nullptr) != 0)
        return;
    if (ApplyLayerFilters(layer->filters, copy.bitmap, copy.mask, copy.alpha, st->width, st->height, 0) != 0) {
        DeleteBitMap(copy.bitmap);
        DeleteMaskBitMap(copy.mask);
        DeleteAlphaBitMap(copy.alpha);
        return;
    }
    st->cached = copy;
}
