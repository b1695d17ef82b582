// Path layers: the state record a path layer keeps (the draw's own copy of the render parameters
// and options), the layer-kind row that frees it and draws its outline, and the outline render.
// Main thread only.
#pragma once

#include "display/layer.h"
#include "vector/path_render.h"

// The state record of a path layer's base state: the layer's bitmaps and box, then the copy of what
// the draw used and where the drawn image lay relative to the path's origin (anchor not applied).
struct qzPathLayerState : qzLayerState {
    qzPathRenderParams params;
    qzPathDrawTags tags;
    int32_t bodyX = 0, bodyY = 0;
};

// A zero-filled record known to the path layers' row, or null.
qzPathLayerState* NewPathLayerState();
// Frees the record's copy of the parameters and the record (not its bitmaps).
void FreePathLayerState(qzPathLayerState* st);
// The path record behind a layer's base state; null for a state that is no path layer's.
qzPathLayerState* PathLayerStateOf(const qzLayer* layer);

// The path style tags of a layer style table: "linejoin", "linecap", "fillrule", "dashoffset",
// "vectorengine" (ERR_FINDPLUGIN for an unknown one) and "dashes" (ERR_NUMTABLEARG for a
// non-number). Absent tags leave their fields alone. style's dash lengths are its own (a copy
// made by CopyPathStyle), replaced by a new copy when "dashes" is given. 0 or the first tag's
// error.
int ParsePathStyleTags(VmState* state, int tableIndex, qzPathStyle* style, qzVectorEngine** engine);
