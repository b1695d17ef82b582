#include "image/brush_layer_kind.h"

#include "display/layer.h"
#include "display/layer_kinds.h"
#include "display/layer_records.h"
#include "image/brush.h"
#include "image/image_display.h"

namespace {

// A brush layer draws the brush itself (also one the script freed meanwhile).
int BrushSourceBitmaps(VmState* state, const qzLayer* layer, const qzLayerState*, int32_t, qzLayerSource* out) {
    qzBrush* brush = nullptr;
    int error = FindBrush(state, layer->id, &brush, QZ_FINDBRUSH_LAYERONLY | QZ_FINDBRUSH_HARDWARE);
    if (error) return error;
    out->trio = {brush->bitmap, brush->mask, brush->alpha};
    out->width = brush->width;
    out->height = brush->height;
    return 0;
}

int InsertBrushLayer(VmState* state, int32_t type, const qzObjectId& id, int32_t x, int32_t y, int32_t position,
                     int hidden) {
    qzBrush* brush = nullptr;
    int error = FindBrush(state, id, &brush, QZ_FINDBRUSH_HARDWARE);
    if (error) return error;
    return AddLayerForObject(state, type, id, x, y, brush->width, brush->height, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, position > 0 ? position : -1, hidden ? (uint32_t)QZ_ADDLAYER_HIDDEN : 0u,
                             nullptr);
}

}  // namespace

void InstallBrushLayerKinds(bool on) {
    qzLayerKindOps ops = {};
    ops.sourceBitmaps = BrushSourceBitmaps;
    ops.insert = InsertBrushLayer;
    ops.purgeOrphans = FreeOrphanedBrushes;
    ops.renderContent = RenderImageLayerContent;
    SetLayerKindOps(QZ_LAYER_BRUSH, on ? &ops : nullptr);
    ops.purgeOrphans = nullptr;  // one purge for both types
    SetLayerKindOps(QZ_LAYER_BRUSHPART, on ? &ops : nullptr);
    // Parts of pictures keep the display code's row, rendered anew by the image display core.
    SetLayerKindOps(QZ_LAYER_BGPICPART, nullptr);
    if (on) {
        qzLayerKindOps picture = LayerKindOps(QZ_LAYER_BGPICPART);
        picture.renderContent = RenderImageLayerContent;
        SetLayerKindOps(QZ_LAYER_BGPICPART, &picture);
    }
}
