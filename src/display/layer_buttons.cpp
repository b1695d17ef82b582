#include "display/layer_buttons.h"

#include "base/error_codes.h"
#include "display/event_buttons.h"
#include "display/layer.h"
#include "display/layer_collision.h"
#include "display/layer_list.h"
#include "display/picture.h"

namespace {

int FindButtonLayer(VmState* state, qzBGPic* pic, int index, qzLayer** layer) {
    *layer = GetLayerByPosition(pic, CheckLayerArg(state, index, pic));
    return *layer ? 0 : ERR_LAYERRANGE;
}

int LayerShown(const qzLayer* layer) { return layer && !layer->hidden ? 1 : 0; }

const char* LayerName(const qzLayer* layer) { return layer && layer->name ? layer->name : ""; }

const qzLayerButtonLinks kLinks = {
    .findLayer = FindButtonLayer,
    .layerShown = LayerShown,
    .layerPosition = GetLayerPosition,
    .layerName = LayerName,
    .hitTest = HitTestLayer,
};

}  // namespace

void RebindLayerButtons(qzBGPic* pic, const qzLayer* from, qzLayer* to) {
    for (qzBGPicButton* b = static_cast<qzBGPicButton*>(pic->buttons); b; b = b->next)
        if (b->type == QZ_BUTTON_LAYER && b->layer == from) b->layer = to;
}

void InstallLayerButtonLinks(bool on) { SetLayerButtonLinks(on ? &kLinks : nullptr); }
