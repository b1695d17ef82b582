// CreateLayer (a layer of blank content: a brush, or an anim of blank frames, that lives as long
// as its layer), ModifyLayerFrames, and the links to the anim and video code.
#include "anim/anim.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/layer_list.h"
#include "display/layer_records.h"
#include "display/layer_refresh.h"
#include "image/brush.h"
#include "image/image_display.h"
#include "libs/layers/layers_lib.h"
#include "libs/layers/layers_style.h"
#include "runtime/arg_check.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

int LayersCreate(VmState* state) {
    CheckLayerCommand(state);
    const int32_t x = VmCheckInteger(state, 1);
    const int32_t y = VmCheckInteger(state, 2);
    const int32_t width = VmCheckInteger(state, 3);
    const int32_t height = VmCheckInteger(state, 4);
    int32_t withAlpha = 0, withMask = 0, clear = 0, frames = 0;
    uint32_t color = 0;
    if (VmGetTop(state) >= 5 && VmType(state, 5) == VM_TTABLE) {
        GetTableFieldBool(state, 5, "alphachannel", &withAlpha, nullptr);
        GetTableFieldBool(state, 5, "mask", &withMask, nullptr);
        GetTableFieldBool(state, 5, "clear", &clear, nullptr);
        double value = 0;
        if (GetTableFieldNumber(state, 5, "color", &value, nullptr)) color = uint32_t(int64_t(value));
        GetTableFieldInt(state, 5, "frames", &frames, nullptr);
    }
    if (frames < 0) return ERR_WRONGUSAGE;
    if (width < 1 || height < 1) return ERR_BADDIMENSIONS;
    if (frames > 0) {
        // An anim of blank frames, shown as an anim layer; it lives as long as its layer.
        qzAnim* anim = nullptr;
        int error = CreateBlankAnim({0, QZ_AUTO_ID}, width, height, frames, color & 0xFFFFFF, withMask, withAlpha,
                                    clear, &anim);
        if (error) return error;
        const qzObjectId id = anim->header.id;
        error = DisplayImageObject(state, 0, QZ_DRAW_ANIM, id, 0, 0, x, y, 0, 0, 1, 0, nullptr, nullptr, nullptr,
                                   nullptr, 0);
        FreeAnimObject(state, id, 0);
        return error;
    }
    qzBrush* brush = nullptr;
    int error = CreateBlankBrush({0, QZ_AUTO_ID}, width, height, color & 0xFFFFFF, withMask, withAlpha, clear, 0, 0,
                                 nullptr, &brush);
    if (error) return error;
    const qzObjectId id = brush->header.id;
    error =
        DisplayImageObject(state, 0, QZ_DRAW_BRUSH, id, 0, 0, x, y, 0, 0, 1, 0, nullptr, nullptr, nullptr, nullptr, 0);
    // The brush lives as long as its layer.
    DeleteBrush(state, id, 0);
    return error;
}

int LayersModifyFrames(VmState* state) {
    qzBGPic* pic = CheckLayerCommand(state);
    qzLayer* layer = CheckLayer(state, 1, pic);
    const int32_t delta = VmCheckInteger(state, 2);
    const int32_t start = VmOptInteger(state, 3, 0);
    if (layer->type != QZ_LAYER_ANIM) return ERR_NOANMLAYER;
    qzAnim* anim = nullptr;
    int error = FindAnim(state, layer->id, &anim, QZ_FINDANIM_LAYERONLY);
    if (error) return error;
    // The frames change for this layer alone: one that shares its anim gets a private copy first.
    if (FindLayerUsingObject(QZ_LAYER_ANIM, layer->id, layer, nullptr, nullptr) || !anim->layeronly) {
        qzAnim* copy = nullptr;
        error = DuplicateAnim(state, anim, {0, QZ_AUTO_ID}, &copy);
        if (error) return error;
        error = ModifyAnimFrames(state, copy->header.id, delta, start, 1);
        if (error) {
            copy->layeronly = 1;
            FreeOrphanedAnims(state);
            return error;
        }
        copy->layeronly = 1;
        layer->id = copy->header.id;
        anim = copy;
        PurgePendingObjects(state, QZ_PURGE_ANIMS);
    } else {
        error = ModifyAnimFrames(state, layer->id, delta, start, 1);
        if (error) return error;
    }
    const int32_t shown = FrameAfterModify(layer->base->partX, anim->frames - delta, delta, start);
    qzLayerState* states[3];
    const int count = DistinctLayerStates(layer, states);
    for (int i = 0; i < count; i++) {
        states[i]->partY = anim->frames;
        if (shown >= 0) states[i]->partX = shown;
    }
    if (shown >= 0) return 0;
    // The frame it showed is gone: the layer shows the first frame.
    const int32_t hidden = layer->hidden;
    for (int i = 0; i < count; i++) states[i]->partX = -1;
    error = ShowAnimLayerFrame(state, layer, 1);
    layer->hidden = hidden;
    if (error) return error;
    if (!hidden) UpdateLayerOnDisplay(state, layer, 0);
    return 0;
}
