// CreateLayer (a layer of blank content: a brush, or an anim of blank frames, that lives as long
// as its layer), ModifyLayerFrames, and the links to the anim and video code.
#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/layer_records.h"
#include "display/layer_refresh.h"
#include "image/brush.h"
#include "image/image_display.h"
#include "libs/layers/layers_lib.h"
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
    if (frames > 0) return ERR_FINDANIM;  // an anim layer needs an anim, and none is made
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
    VmCheckInteger(state, 2);   // the frames
    VmOptInteger(state, 3, 0);  // the start
    if (layer->type != QZ_LAYER_ANIM) return ERR_NOANMLAYER;
    return ERR_FINDANIM;  // no anim is found
}
