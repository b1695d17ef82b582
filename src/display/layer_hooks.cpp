#include "display/layer_hooks.h"

namespace {
qzLayerSystemHooks hooks = {};
}

void SetLayerSystemHooks(const qzLayerSystemHooks* given) { hooks = given ? *given : qzLayerSystemHooks{}; }

const qzLayerSystemHooks& LayerSystemHooks() { return hooks; }

int LayerUsedByAsyncDraw(const qzLayer* layer) { return hooks.asyncDrawUsesLayer && hooks.asyncDrawUsesLayer(layer); }
