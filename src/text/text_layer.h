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

// A state record for a PRINT or TEXTOUT layer that keeps a copy of the text style (its effects
// already moved to the layer) and whether brackets were plain characters. Null when memory runs
// out.
qzLayerState* NewTextLayerState(const qzTextStyle& style, int literal);
// The text style that a PRINT or TEXTOUT layer state keeps, or null.
const qzTextStyle* TextLayerStyle(const qzLayerState* layerState);

// Adds the members of the TEXTOBJECT row that draw and describe the layer (content, border, style
// fields) to ops.
void AddTextObjectLayerOps(qzLayerKindOps* ops);
// Installs (on) or removes the rows of PRINT and TEXTOUT layers.
void InstallTextOutputLayerKinds(bool on);
