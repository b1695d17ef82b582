// The style tags that shape and path layers share: the colour and the fill style of the draw
// state they were drawn with ("color", "formstyle", "formstyleclear", "fillstyle", the gradient
// tags and the texture tags), read from a layer style table and given back in one.
#pragma once

#include <cstdint>

#include "vector/draw_state.h"

struct VmState;

// Reads the tags of the table at tableIndex into ds and *color (RGB; a transparency byte on top is
// kept); absent tags leave their fields alone. The SHADOW and EDGE bits of "formstyle" and
// "formstyleclear" belong to the layer (its shadow and border), not to ds. *changed is set when
// ds or the colour now differ from what they were. 0, ERR_WRONGUSAGE for a fill style outside
// 0..3, or the gradient tags' errors; on an error ds and *color hold what was read before it.
int ParseLayerFillTags(VmState* state, int tableIndex, qzDrawState* ds, uint32_t* color, int* changed);

// Sets "color", "formstyle", "fillstyle", "gradientstyle", "gradientangle", "gradientstartcolor",
// "gradientendcolor", "texturebrush", "texturex" and "texturey" in the table on the stack top.
void SetLayerFillFields(VmState* state, const qzDrawState& ds, uint32_t color);

// 1 when two draw states draw alike (every field, the gradient's stops included).
int SameDrawState(const qzDrawState& a, const qzDrawState& b);
