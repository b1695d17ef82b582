// Buttons bound to layers: what the button code asks of the layer system (finding the layer an
// argument names, whether it is shown, its position and name, the pixel-exact hit test), and
// moving a layer's buttons to the layer that replaces it. While the layer system is not installed
// they answer as a picture without layers: no layer is found (ERR_LAYERRANGE), none is shown or
// hit, a layer's position is 0 and its name "".
#pragma once

#include <cstdint>

struct VmState;
struct qzBGPic;
struct qzDisplay;
struct qzLayer;

// The layer that the argument at `index` names in the picture (a position or a name): 0 with
// *layer set, or ERR_LAYERRANGE / the lookup's error.
int FindButtonLayer(VmState* state, qzBGPic* pic, int index, qzLayer** layer);
int ButtonLayerShown(const qzLayer* layer);
// The layer's 1-based position in its picture's list and its name ("" for none).
int32_t ButtonLayerPosition(const qzBGPic* pic, const qzLayer* layer);
const char* ButtonLayerName(const qzLayer* layer);
// Whether the display point (window pixels) hits the layer: its box, its clip and, with
// pixelExact, its pixels.
int HitTestButtonLayer(VmState* state, qzDisplay* display, qzLayer* layer, int32_t x, int32_t y, int pixelExact);

// The picture's buttons bound to from are bound to to.
void RebindLayerButtons(qzBGPic* pic, const qzLayer* from, qzLayer* to);
// The layer system is installed (on) or removed.
void EnableLayerButtons(bool on);
