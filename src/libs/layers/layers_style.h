// The layer style applier shared by SetLayerStyle, the single-purpose style commands and move
// lists.
#pragma once

#include <cstdint>

struct VmState;
struct qzLayer;

// Arguments 1, 2 are a layer (position, name or group name) and its table of style tags, 3, 4
// the next pair, and so on (count arguments in all). Every tag of a table is read before the layer
// changes, so a failing tag leaves its layer as it was; layers handled before keep their changes.
// The areas that changed are refreshed together at the end unless noRefresh, and objects that
// layers no longer show are purged, also when an argument or tag raises its error. 0 or an error.
int ApplyLayerStyle(VmState* state, int count, int noRefresh);
// Shows a frame of an ANIM layer (1-based; 0 the next one, -1 the last) and makes the layer
// visible, without refreshing. 0, ERR_ANIMFRAME, or the error of rendering its transformed state.
int ShowAnimLayerFrame(VmState* state, qzLayer* layer, int32_t frame);
