// Text layers. PRINT and TEXTOUT layers keep the text style they were drawn with and TEXTOBJECT
// layers find their object's, so every text layer draws its text anew from these parameters when
// it is turned or scaled (scalable fonts are set at the new size; what remains of the matrix turns
// the block), and the text kinds' own style tags restyle it the same way. Borders of text layers
// are the text's outline grown by the border size. Main thread only.
#pragma once

#include <cstdint>

struct qzLayerKindOps;
struct qzLayerState;
struct qzTextStyle;
struct VmState;

// A state record for a PRINT or TEXTOUT layer that keeps a copy of the text style (its effects
// already moved to the layer) and whether brackets were plain characters. Null when memory runs
// out.
qzLayerState* NewTextLayerState(const qzTextStyle& style, int literal);
// The text style that a PRINT or TEXTOUT layer state keeps, or null.
const qzTextStyle* TextLayerStyle(const qzLayerState* layerState);

// The content of a new PRINT or TEXTOUT layer that takes another layer's place: its state record
// (keeping the text style, its own bitmaps and drawn size the text drawn untransformed), where
// the layer goes and the shadow and border switches of its style tags (QZ_KINDSTYLE_*).
struct qzTextLayerContent {
    qzLayerState* layerState;
    int32_t x, y;
    int effects;
};
// Makes the content of a PRINT or TEXTOUT layer (type) whose text starts at x, y: the text as
// TextOut (at x, y) or Print (its cursor at x, y, the current display's margins and tab stops)
// would draw it with the current font style, changed by the type's style tags in the table at
// tableIndex. The caller owns out's state (freed as type). 0 or the first tag's or the
// rendering's error (nothing made); ERR_WRONGUSAGE while the text rows are not installed.
int NewTextLayerContent(VmState* state, int32_t type, int tableIndex, int32_t x, int32_t y, qzTextLayerContent* out);

// Adds the members of the TEXTOBJECT row that draw and describe the layer (content, border, style
// fields) to ops.
void AddTextObjectLayerOps(qzLayerKindOps* ops);
// Installs (on) or removes the rows of PRINT and TEXTOUT layers.
void InstallTextOutputLayerKinds(bool on);
