#include "display/picture_layers.h"

#include "base/error_codes.h"
#include "display/layer.h"
#include "display/layer_list.h"
#include "display/layer_records.h"
#include "gfx/bitmap.h"

int DetachObjectFromLayers(VmState* state, int32_t kind, const qzObjectId& id, qzObjectCopyFn copyFunction,
                           void* object, void** outCopy) {
    *outCopy = nullptr;
    if (!FindLayerUsingObject(kind, id, nullptr, nullptr, nullptr)) return 0;
    void* copy = nullptr;
    int error = copyFunction(state, object, {0, QZ_AUTO_ID}, &copy);
    if (error) return error;
    RetargetLayersToObject(kind, id, copy);
    *outCopy = copy;
    return 0;
}

int InsertImageLayer(VmState* state, int32_t kind, const qzObjectId& id, int32_t srcx, int32_t srcy, int32_t x,
                     int32_t y, int32_t width, int32_t height, const qzTransformTags* transformTags,
                     const qzLayerTags* layerTags, qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, int32_t insertPos,
                     uint32_t flags, qzLayer** outLayer) {
    if (outLayer) *outLayer = nullptr;
    qzLayerState* st = NewLayerState();
    if (!st) {
        DeleteBitMap(bitmap);
        DeleteMaskBitMap(mask);
        DeleteAlphaBitMap(alpha);
        return ERR_MEM;
    }
    st->partX = srcx;
    st->partY = srcy;
    return AddLayerForObject(state, kind, id, x, y, width, height, transformTags, layerTags, bitmap, mask, alpha, st,
                             insertPos, flags, outLayer);
}
