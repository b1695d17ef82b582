// Collision: whether two brushes, layers, sprites or boxes overlap, pixel-exactly where masks,
// alpha channels or shaped clip regions take part.
#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/layer_collision.h"
#include "display/layer_list.h"
#include "display/object_types.h"
#include "libs/layers/layers_lib.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

enum {
    kBrush = 3,
    kBox = 14,
    kLayer = 22,
    kSprite = 32,
    kBrushVsBox = 46,
    kLayerVsBox = 47,
    kSpriteVsBox = 48,
};

// A box argument at index .. index + 3 (x, y, width, height), without planes.
qzCollisionObject BoxArg(VmState* state, int index) {
    qzCollisionObject box = {};
    box.x = VmCheckInteger(state, index);
    box.y = VmCheckInteger(state, index + 1);
    box.width = VmCheckInteger(state, index + 2);
    box.height = VmCheckInteger(state, index + 3);
    return box;
}

void BrushArg(VmState* state, int index, qzCollisionObject* out) {
    const qzObjectId id = CheckObjectIdArg(state, index);
    const double x = VmCheckNumber(state, index + 1), y = VmCheckNumber(state, index + 2);
    const auto collision = ObjectTypeOps(QZ_TYPE_BRUSH_OBJECT).collision;
    const int error = collision ? collision(state, id, x, y, out) : ERR_FINDBRUSH;
    if (error) VmFailCommand(state, error);
}

void SpriteArg(VmState* state, int index, qzCollisionObject* out) {
    const qzObjectId id = CheckObjectIdArg(state, index);
    const auto collision = ObjectTypeOps(QZ_TYPE_SPRITE_OBJECT).collision;
    const int error = collision ? collision(state, id, 0, 0, out) : ERR_FINDSPRITE;
    if (error) VmFailCommand(state, error);
}

void LayerArg(VmState* state, int index, qzCollisionObject* out) {
    int error = CheckLayerOutput(CurrentDisplay());
    if (error) VmFailCommand(state, error);
    const qzBGPic* pic = CurrentBGPic();
    qzLayer* layer = GetLayerByPosition(pic, CheckLayerArg(state, index, pic));
    if (!layer) VmFailCommand(state, ERR_LAYERRANGE);
    error = GetLayerCollisionObject(state, layer, out);
    if (error) VmFailCommand(state, error);
}

}  // namespace

int LayersCollision(VmState* state) {
    const int kind = VmCheckInteger(state, 1);
    qzCollisionObject a = {}, b = {};
    switch (kind) {
    case kBrush:
        VmCheckArgCount(state, 7, 7, 0, 0);
        BrushArg(state, 2, &a);
        BrushArg(state, 5, &b);
        break;
    case kBrushVsBox:
        VmCheckArgCount(state, 8, 8, 0, 0);
        BrushArg(state, 2, &a);
        b = BoxArg(state, 5);
        break;
    case kBox:
        VmCheckArgCount(state, 9, 9, 0, 0);
        a = BoxArg(state, 2);
        b = BoxArg(state, 6);
        break;
    case kLayer:
        VmCheckArgCount(state, 3, 3, 0, 0);
        LayerArg(state, 2, &a);
        LayerArg(state, 3, &b);
        break;
    case kLayerVsBox:
        VmCheckArgCount(state, 6, 6, 0, 0);
        LayerArg(state, 2, &a);
        b = BoxArg(state, 3);
        break;
    case kSprite:
        VmCheckArgCount(state, 3, 3, 0, 0);
        SpriteArg(state, 2, &a);
        SpriteArg(state, 3, &b);
        break;
    case kSpriteVsBox:
        VmCheckArgCount(state, 6, 6, 0, 0);
        SpriteArg(state, 2, &a);
        b = BoxArg(state, 3);
        break;
    default: return ERR_WRONGUSAGE;
    }
    VmPushNumber(state, TestPixelCollision(&a, &b));
    return 1;
}
