#include "gfx/layer_hooks.h"

namespace {
const qzLayerHooks* hooks = nullptr;
}

void SetLayerHooks(const qzLayerHooks* h) { hooks = h; }

int ClipRegionInUseByLayers(const qzClipRegion* region) {
    return hooks && hooks->clipRegionInUse ? hooks->clipRegionInUse(region) : 0;
}

void ForgetClipRegionInLayers(qzClipRegion* region) {
    if (hooks && hooks->forgetClipRegion) hooks->forgetClipRegion(region);
}

int32_t CountLayersOnScreen() { return hooks && hooks->layersOnScreen ? hooks->layersOnScreen() : 0; }
int32_t CountAllLayers() { return hooks && hooks->layersTotal ? hooks->layersTotal() : 0; }
int32_t CountOnScreenSprites() { return hooks && hooks->spritesOnScreen ? hooks->spritesOnScreen() : 0; }

void MarkLayerForRefresh(VmState* state, void* layer) {
    if (hooks && hooks->markLayerDirty && layer) hooks->markLayerDirty(state, layer);
}
