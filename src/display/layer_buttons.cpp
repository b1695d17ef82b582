#include "display/layer_buttons.h"

#include "base/error_codes.h"
#include "display/event_buttons.h"
#include "display/layer.h"
#include "display/layer_collision.h"
#include "display/layer_list.h"
#include "display/picture.h"

namespace {

bool enabled = false;

}  // namespace

int FindButtonLayer(VmState* state, qzBGPic* pic, int index, qzLayer** layer) {
    *layer = enabled ? GetLayerByPosition(pic, CheckLayerArg(state, index, pic)) : nullptr;
    return *layer ? 0 : ERR_LAYERRANGE;
}

int ButtonLayerShown(const qzLayer* layer) { return enabled && layer && !layer->hidden ? 1 : 0; }

int32_t ButtonLayerPosition(const qzBGPic* pic, const qzLayer* layer) {
    return enabled ? GetLayerPosition(pic, layer) : 0;
}

const char* ButtonLayerName(const qzLayer* layer) { return enabled && layer && layer->name ? layer->name : ""; }

int HitTestButtonLayer(VmState* state, qzDisplay* display, qzLayer* layer, int32_t x, int32_t y, int pixelExact) {
    return enabled ? HitTestLayer(state, display, layer, x, y, pixelExact) : 0;
}

void RebindLayerButtons(qzBGPic* pic, const qzLayer* from, qzLayer* to) {
    for (qzBGPicButton* b = static_cast<qzBGPicButton*>(pic->buttons); b; b = b->next)
        if (b->type == QZ_BUTTON_LAYER && b->layer == from) b->layer = to;
}

void EnableLayerButtons(bool on) { enabled = on; }
