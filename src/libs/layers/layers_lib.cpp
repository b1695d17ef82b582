// Registration and constants of the `layers` command library.
#include "libs/layers/layers_lib.h"

#include "display/layer.h"
#include "display/layer_hooks.h"
#include "display/layer_system.h"
#include "libs/graphics/graphics.h"
#include "vm/vm_aux.h"

namespace {

#define QZ_NUM(name, value) \
    { name, nullptr, static_cast<double>(value) }

const qzCommandRow kLayersCommands[] = {
    {"Collision", LayersCollision},
    {nullptr, nullptr},
};

const qzConstantRow kLayersConstants[] = {
    QZ_NUM("SHDWNORTH", QZ_SHDWNORTH),
    QZ_NUM("SHDWNORTHEAST", QZ_SHDWNORTHEAST),
    QZ_NUM("SHDWEAST", QZ_SHDWEAST),
    QZ_NUM("SHDWSOUTHEAST", QZ_SHDWSOUTHEAST),
    QZ_NUM("SHDWSOUTH", QZ_SHDWSOUTH),
    QZ_NUM("SHDWSOUTHWEST", QZ_SHDWSOUTHWEST),
    QZ_NUM("SHDWWEST", QZ_SHDWWEST),
    QZ_NUM("SHDWNORTHWEST", QZ_SHDWNORTHWEST),
    {nullptr, nullptr, 0},
};

int AsyncDrawUsesLayer(const qzLayer* layer) { return IsAsyncDrawBitMap(layer); }

int TellAsyncDraws(int operation, qzLayer* layer) {
    BroadcastAsyncDrawEvent(operation, reinterpret_cast<intptr_t>(layer));
    return 0;
}

void SetGraphicsSeams(bool on) {
    qzLayerSystemHooks hooks = LayerSystemHooks();
    hooks.asyncDrawUsesLayer = on ? AsyncDrawUsesLayer : nullptr;
    hooks.broadcastAsyncDraw = on ? TellAsyncDraws : nullptr;
    hooks.freeUnusedClipRegions = on ? FreeTemporaryClipRegions : nullptr;
    SetLayerSystemHooks(&hooks);
}

int OpenLayersLibrary(VmState*) {
    InstallLayerSystem();
    SetGraphicsSeams(true);
    return 0;
}

void ResetLayersLibrary() {
    SetGraphicsSeams(false);
    RemoveLayerSystem();
}

}  // namespace

const qzLibraryDescriptor qzLayersLibrary = {
    .name = "layers",
    .commands = kLayersCommands,
    .constants = kLayersConstants,
    .open = OpenLayersLibrary,
    .reset = ResetLayersLibrary,
};
