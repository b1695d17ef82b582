// The fast route of Print and TextOut for plain text: no tags, no tabs, an opaque colour, style
// NORMAL with or without ANTIALIAS, left alignment, an untransformed draw onto a display without
// layers, and, where lines wrap, one line that fits. Such text is drawn line by line onto the
// display through one coverage strip per line, without a layout of words and runs and without a
// block for the whole text. Each strip holds exactly the pixels the general route puts into its
// block, and goes through the same blit, so both routes leave the same pixels on the display and
// move the Print cursor the same way.
#pragma once

#include <cstdint>

#include "display/draw_tags.h"
#include "text/formatted_text.h"

struct VmState;

// Draws the text when it takes the fast route and sets *taken; otherwise leaves everything as it
// was for the general route (*taken false, result 0). flags are RenderFormattedText's: any flag but
// the cursor scale sends the text the general way. 0 or an error code of the drawing.
int DrawPlainText(VmState* state, qzTextStyle* textStyle, int mode, const qzTransformTags* transform,
                  const qzLayerTags* layerTags, uint32_t flags, bool* taken);
