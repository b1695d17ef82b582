#include "display/layer_replace.h"

#include <algorithm>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/draw_tags.h"
#include "display/layer.h"
#include "display/layer_kinds.h"
#include "display/layer_list.h"
#include "display/layer_records.h"
#include "display/layer_refresh.h"
#include "display/picture.h"
#include "gfx/bitmap.h"

namespace {

int effectRunning = 0;

// What the replacement changes on the display and puts back.
struct SavedOutput {
    qzDisplay* display;
    qzBGPic* pic;
    qzDisplay* target;
    int32_t outputKind;
    int32_t layersEnabled;
    ~SavedOutput() {
        target->outputKind = outputKind;
        target->layersEnabled = layersEnabled;
        SetCurrentDisplay(display);
        SetCurrentBGPic(pic);
    }
};

}  // namespace

void SetTransitionEffectRunning(int running) { effectRunning = running ? 1 : 0; }

int TransitionEffectRunning() { return effectRunning; }

int ReplaceLayerContentFromBitmap(VmState* state, qzDisplay* display, qzLayer** slot, qzBitMap* bitmap) {
    qzLayer* old = slot ? *slot : nullptr;
    qzBGPic* pic = old ? FindBGPicOfLayer(old) : nullptr;
    if (!display || !pic || !bitmap) {
        DeleteBitMap(bitmap);
        return ERR_WRONGUSAGE;
    }
    // A layer that shows a part of its frames keeps the whole frame and shows the same part of it
    // (as much of it as the frame holds).
    const qzLayerState* oldBase = old->base;
    int32_t partX = 0, partY = 0, width = bitmap->width, height = bitmap->height;
    if (LayerShowsPart(old->type) && oldBase->partX < bitmap->width && oldBase->partY < bitmap->height &&
        (oldBase->partX || oldBase->partY || oldBase->width < width || oldBase->height < height)) {
        partX = oldBase->partX;
        partY = oldBase->partY;
        width = std::min(oldBase->width, bitmap->width - partX);
        height = std::min(oldBase->height, bitmap->height - partY);
    }
    const SavedOutput saved = {CurrentDisplay(), CurrentBGPic(), display, display->outputKind, display->layersEnabled};
    SetCurrentDisplay(display);
    display->outputKind = QZ_TYPE_DISPLAY;
    display->layersEnabled = 1;
    SetCurrentBGPic(pic);
    const bool shown = display->bgpic == pic;
    const qzLayerBox before = shown && !old->hidden ? GetLayerBounds(state, old, old->display) : qzLayerBox{};

    qzTransformTags transform = old->transform;
    transform.anchorx = old->anchorx;
    transform.anchory = old->anchory;
    qzLayerTags tags;
    InitLayerTags(&tags);
    tags.hidden = old->hidden;
    tags.transparency = old->transparency;
    tags.shadow = old->shadow;
    tags.border = old->border;
    qzLayerState* st = NewLayerState();
    if (!st) {
        DeleteBitMap(bitmap);
        return ERR_MEM;
    }
    st->partX = partX;
    st->partY = partY;
    const qzObjectId sourceId = old->sourceId;
    qzLayer* layer = nullptr;
    const uint32_t flags = QZ_ADDLAYER_REPLACE | QZ_ADDLAYER_KEEPPOSITIONS | QZ_ADDLAYER_KEEPFILTERS;
    // The layer system takes the bitmap and the state, also when it fails.
    const int error = AddLayerForObject(state, old->type, old->id, oldBase->x, oldBase->y, width, height, &transform,
                                        &tags, bitmap, nullptr, nullptr, st, GetLayerPosition(pic, old), flags, &layer);
    if (error) return error;
    layer->sourceId = sourceId;
    *slot = layer;
    if (!shown || effectRunning) return 0;
    // A frame of the old box is drawn straight over it; one of another box also clears what is left
    // of the old one.
    const qzLayerBox after = layer->hidden ? qzLayerBox{} : GetLayerBounds(state, layer, layer->display);
    if (after.x == before.x && after.y == before.y && after.width == before.width && after.height == before.height) {
        if (!layer->hidden) UpdateLayerOnDisplay(state, layer, 1);
    } else {
        const qzLayerBox area = UniteLayerBoxes(before, after);
        RefreshArea(state, area.x, area.y, area.width, area.height);
    }
    return 0;
}
