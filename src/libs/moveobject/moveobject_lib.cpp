// The `moveobject` library's descriptor and its commands: the object, the two points and the
// options (a table, or speed, anim speed and effect in the old argument order).
#include "libs/moveobject/moveobject_lib.h"

#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/layer_list.h"
#include "display/layer_refresh.h"
#include "gfx/object_bitmaps.h"
#include "libs/moveobject/object_move.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

#define QZ_NUM(name, value) \
    { name, nullptr, static_cast<double>(value) }

constexpr int32_t kLayerType = 22;

// The options after the two points: a table, or the old order of plain numbers.
struct MoveOptions {
    int32_t speed = QZ_SPEED_NORMAL;
    int32_t animSpeed = QZ_SPEED_NORMAL;
    int32_t fx = QZ_MOVEFX_NONE;
    int32_t async = 0;
};

int ReadOptions(VmState* state, int32_t type, MoveOptions* out) {
    const int count = VmGetTop(state);
    const bool frames = type == QZ_TYPE_ANIM_OBJECT || type == QZ_TYPE_SPRITE_OBJECT;
    if (count >= 6 && VmType(state, 6) == VM_TTABLE) {
        if (count > 6) return ERR_TOOMANYARGS;
        GetTableFieldInt(state, 6, "fx", &out->fx, nullptr);
        GetTableFieldInt(state, 6, "speed", &out->speed, nullptr);
        GetTableFieldInt(state, 6, "animspeed", &out->animSpeed, nullptr);
        GetTableFieldBool(state, 6, "async", &out->async, nullptr);
        return 0;
    }
    if (count == 8 && !frames) return ERR_TOOMANYARGS;
    if (count >= 6) out->speed = VmCheckInteger(state, 6);
    if (count >= 7) {
        if (frames)
            out->animSpeed = VmCheckInteger(state, 7);
        else
            out->fx = VmCheckInteger(state, 7);
    }
    if (count >= 8) out->fx = VmCheckInteger(state, 8);
    return 0;
}

int Move(VmState* state, int32_t type) {
    qzObjectId id = {0, nullptr};
    qzLayer* layer = nullptr;
    if (type == kLayerType) {
        int error = CheckLayerOutput(CurrentDisplay());
        if (error) return error;
        const qzBGPic* pic = CurrentBGPic();
        layer = GetLayerByPosition(pic, CheckLayerArg(state, 1, pic));
        if (!layer) return ERR_LAYERRANGE;
    } else {
        GetObjectIdArg(&id, state, 1);
    }
    int32_t x1 = VmCheckInteger(state, 2), y1 = VmCheckInteger(state, 3);
    int32_t x2 = VmCheckInteger(state, 4), y2 = VmCheckInteger(state, 5);
    MoveOptions options;
    int error = ReadOptions(state, type, &options);
    if (error) return error;
    if (layer && layer->base) {
        // The layer's own position stands for any coordinate given as 100000.
        if (x1 == QZ_LAYER_KEEPPOSITION) x1 = layer->base->x;
        if (x2 == QZ_LAYER_KEEPPOSITION) x2 = layer->base->x;
        if (y1 == QZ_LAYER_KEEPPOSITION) y1 = layer->base->y;
        if (y2 == QZ_LAYER_KEEPPOSITION) y2 = layer->base->y;
    }
    void* handle = nullptr;
    error = RunObjectMove(state, type, id, layer, x1, y1, x2, y2, options.speed, options.animSpeed, options.fx,
                          options.async != 0, &handle);
    if (error) return error;
    if (!handle) return 0;
    VmPushLightUserdata(state, handle);
    return 1;
}

int MoveBrush(VmState* state) { return Move(state, QZ_TYPE_BRUSH_OBJECT); }
int MoveTextObject(VmState* state) { return Move(state, QZ_TYPE_TEXT_OBJECT); }
int MoveLayer(VmState* state) { return Move(state, kLayerType); }
int MoveAnim(VmState* state) { return Move(state, QZ_TYPE_ANIM_OBJECT); }
int MoveSprite(VmState* state) { return Move(state, QZ_TYPE_SPRITE_OBJECT); }

const qzCommandRow kMoveCommands[] = {
    {"MoveBrush", MoveBrush, 5, 8}, {"MoveTextObject", MoveTextObject, 5, 8}, {"MoveLayer", MoveLayer, 5, 8},
    {"MoveAnim", MoveAnim, 5, 8},   {"MoveSprite", MoveSprite, 5, 8},         {nullptr, nullptr, 0, 0},
};

const qzConstantRow kMoveConstants[] = {
    QZ_NUM("BOUNCE", QZ_MOVEFX_BOUNCE),         QZ_NUM("SMOOTHOUT", QZ_MOVEFX_SMOOTHOUT),
    QZ_NUM("DAMPED", QZ_MOVEFX_DAMPED),         QZ_NUM("SINE", QZ_MOVEFX_SINE),
    QZ_NUM("BIGSINE", QZ_MOVEFX_BIGSINE),       QZ_NUM("LOWERCURVE", QZ_MOVEFX_LOWERCURVE),
    QZ_NUM("UPPERCURVE", QZ_MOVEFX_UPPERCURVE), {nullptr, nullptr, 0},
};

}  // namespace

const qzLibraryDescriptor qzMoveObjectLibrary = {
    .name = "moveobject",
    .commands = kMoveCommands,
    .constants = kMoveConstants,
};
