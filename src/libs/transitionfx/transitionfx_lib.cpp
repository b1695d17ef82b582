// The `transitionfx` library's descriptor: its command table and the effect type constants.
#include "libs/transitionfx/transitionfx_lib.h"

#include "fx/effect_types.h"
#include "libs/transitionfx/effect_commands.h"
#include "libs/transitionfx/effect_scroll.h"
#include "vm/vm_aux.h"

namespace {

const qzCommandRow kTransitionFXCommands[] = {
    {"DisplayBrushFX", FxDisplayBrushFX, 3, 6},
    {"DisplayTextObjectFX", FxDisplayTextObjectFX, 3, 6},
    {"DisplayTransitionFX", FxDisplayTransitionFX, 1, 4},
    {"DisplayBGPicPartFX", FxDisplayBGPicPartFX, 5, 11},
    {"UndoFX", FxUndoFX, 2, 6},
    {"ShowLayerFX", FxShowLayerFX, 1, 4},
    {"HideLayerFX", FxHideLayerFX, 1, 4},
    {"RemoveLayerFX", FxRemoveLayerFX, 1, 4},
    {"GetRandomFX", FxGetRandomFX, 1, 1},
    {"ClearScreen", FxClearScreen, 1, 4},
    {nullptr, nullptr, 0, 0},
};

int OpenTransitionFXLibrary(VmState*) {
    SetScrollEffectRoutines(ScrollEffectStep, ScrollEffectFree);
    return 0;
}

void ResetTransitionFXLibrary() { SetScrollEffectRoutines(nullptr, nullptr); }

}  // namespace

const qzLibraryDescriptor qzTransitionFXLibrary = {
    .name = "transitionfx",
    .commands = kTransitionFXCommands,
    .constants = kEffectTypeConstants,
    .open = OpenTransitionFXLibrary,
    .reset = ResetTransitionFXLibrary,
};
