// Rendering a layer's transformed and display-scaled states: the content is drawn anew by the
// code that owns the layer's type (parametric content stays sharp), or, for types that show an
// object's bitmaps, those bitmaps are transformed; redraws then simply blit the state.
#pragma once

#include <cstdint>
#include <memory>

#include "display/layer_records.h"

struct VmState;
struct qzBGPic;
struct qzLayer;
struct qzLayerState;
struct qzTransformTags;

// A state record of the given layer type owned until it is handed to a layer (release()); freed
// with its type's FreeLayerState otherwise, also when an error unwinds past its owner.
struct StateOwner {
    int32_t type;
    void operator()(qzLayerState* st) const { FreeLayerState(type, st); }
};
using ScratchState = std::unique_ptr<qzLayerState, StateOwner>;

// A new state record of the layer's type as a copy of its base state (the type's copyState, else a
// plain copy), with empty bitmaps, shadow alpha, border growth and clip region. Null: out of memory.
qzLayerState* NewLayerStateFromBase(const qzLayer* layer);
// Renders a new state for the layer (mode bits QZ_RENDER_*): without QZ_RENDER_DISPLAYSCALE the
// transformed state from the layer's own transform (an identity matrix drops the transformed
// state instead: nothing is rendered); with it the display state at the current display's scale.
// A type whose state records are its own (freeState) and that has neither copyState nor
// renderContent keeps drawing its base state. A failure leaves the layer's states as they were. 0 or an error.
int RenderLayerObject(VmState* state, qzLayer* layer, int mode);
// The layer's transformed state rendered anew from its transform and, when the layer has a display
// state of its own (its display scales its layers), that state too, so that a restyled layer keeps
// the display's scale. 0 or the first error (the display state is then as it was).
int RenderLayerStates(VmState* state, qzLayer* layer);
// Draws the layer's content into the state's own bitmaps with the transform, which must be a copy
// (the layer's own record prints an error on the console and renders nothing). 0 or an error.
int RenderLayerContent(VmState* state, qzLayer* layer, qzLayerState* layerState, const qzTransformTags* transform);
// Gives a layer whose content is drawn from parameters (text, shapes, vector paths) content of
// pixels, so that drawing into it lasts: the layer becomes a BRUSH layer of the same pixels,
// showing a brush that lives as long as the layer; its transformed and display states are
// rendered again from those pixels. Other layers are left alone. 0, ERR_RENDERADLAYER while an
// asynchronous draw object draws into the layer, or the error of copying or rendering (the layer
// is then as it was).
int RasterizeLayer(VmState* state, qzLayer* layer);
// Every layer of the picture gets its display state rendered anew at the scale of the display
// that shows it (with that display and picture current meanwhile). 0 or the first error.
int RescaleAllLayersOfPicture(VmState* state, qzBGPic* pic);
// The display stops scaling: every layer of the picture whose display state is a record of its
// own loses it and is drawn from its transformed state again.
void ResetLayerDisplayStatesOfPicture(VmState* state, qzBGPic* pic);
