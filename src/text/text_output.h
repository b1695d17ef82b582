// Putting formatted text on the current output: Print at the display's text cursor, TextOut at a
// position, text objects handed back as blocks. The draw transform's scale goes into scalable
// fonts (text is rendered at its size, never scaled as pixels); other transforms turn the block.
// With layers on the text becomes a layer of the current background picture, its edge, shadow and
// transparency becoming the layer's border, shadow and transparency.
#pragma once

#include <cstdint>

#include "display/draw_tags.h"
#include "text/formatted_text.h"

struct VmState;

// RenderFormattedText flags.
enum : uint32_t {
    TEXTRENDER_RERENDER = 8,       // drawing a layer's content anew: the text's effects stay where
                                   // they are and no output is looked at
    TEXTRENDER_KEEPTABLES = 16,    // record the line-break and tab tables in the text style, or follow
                                   // the ones it holds
    TEXTRENDER_RETURN = 32,        // hand the block back (with a re-render)
    TEXTRENDER_SCALECURSOR = 64,   // scale the PRINT cursor with the other pixel quantities
    TEXTRENDER_GENERALPATH = 128,  // lay plain text out and draw it the general way as well (the
                                   // fast route of plain_text.h is measured against it)
};

// Renders the text in mode TEXTMODE_*: PRINT and TEXTOUT draw it (or add a layer) and PRINT moves
// the current display's text cursor; TEXTOBJECT (or TEXTRENDER_RETURN) hands the block back in
// *outBlock. transform and layerTags may be null (the defaults). 0 or an error code; on an error
// nothing is drawn and no layer is added.
int RenderFormattedText(VmState* state, qzTextStyle* textStyle, int mode, int literal, const qzTransformTags* transform,
                        const qzLayerTags* layerTags, uint32_t flags, qzTextBlock* outBlock);

// Draws a block onto the current output at x, y: a selected brush, mask or alpha channel gets it
// in its bitmap, a display or picture in its first buffer (presented by SafeBlt).
void BlitTextBlock(VmState* state, const qzTextBlock& block, int32_t x, int32_t y);

// Builds the text style of Print from the current style and the current display's cursor,
// margins and tab stops, and renders it. literal: brackets are plain characters.
int PrintText(VmState* state, const char* text, size_t length, int literal);
