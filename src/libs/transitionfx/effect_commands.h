// The effect commands: each reads its arguments (positional, or one options table in place of the
// trailing effect arguments) into a template effect context and runs the effect until the driver
// stops asking for a repeat.
#pragma once

#include <cstdint>

struct VmState;
struct qzEffectContext;

// The commands that run an effect, as ReadEffectCommand tells them apart.
enum qzEffectCommand {
    QZ_FXCMD_BRUSH,        // DisplayBrushFX
    QZ_FXCMD_TEXTOBJECT,   // DisplayTextObjectFX
    QZ_FXCMD_TRANSITION,   // DisplayTransitionFX
    QZ_FXCMD_BGPICPART,    // DisplayBGPicPartFX
    QZ_FXCMD_UNDO,         // UndoFX
    QZ_FXCMD_SHOWLAYER,    // ShowLayerFX
    QZ_FXCMD_HIDELAYER,    // HideLayerFX
    QZ_FXCMD_REMOVELAYER,  // RemoveLayerFX
    QZ_FXCMD_CLEARSCREEN,  // ClearScreen (the object is left for the caller to fill in)
};

// Fills the zero-filled template from the command's arguments: mode, object, position, the
// effect options and their defaults. *colour (optional) gets ClearScreen's colour. 0 or an error
// code; argument type errors are raised.
int ReadEffectCommand(VmState* state, qzEffectCommand command, qzEffectContext* templ, uint32_t* colour);

// Runs the effect of the template until the driver stops asking for a repeat: 0, 1 (the
// asynchronous draw object's handle pushed) or an error code.
int RunEffectRepeated(qzEffectContext* templ);

// Command handlers.
int FxDisplayBrushFX(VmState* state);
int FxDisplayTextObjectFX(VmState* state);
int FxDisplayTransitionFX(VmState* state);
int FxDisplayBGPicPartFX(VmState* state);
int FxUndoFX(VmState* state);
int FxShowLayerFX(VmState* state);
int FxHideLayerFX(VmState* state);
int FxRemoveLayerFX(VmState* state);
int FxGetRandomFX(VmState* state);
int FxClearScreen(VmState* state);
