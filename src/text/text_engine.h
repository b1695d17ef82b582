// The text engine: the current font-and-style record of the text commands, measuring a slice of
// text with a style (with the room that emulated styles, the edge and the shadow need), and drawing
// a list of styled runs into a fresh colour bitmap with a 1-bit mask or an 8-bit alpha channel:
// emulated bold, italic and underline on 1-bit strips, line alignment, and the shadow, edge and
// text passes. The coverage dilation of the edge is shared with the layer borders. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/draw_tags.h"
#include "gfx/bitmap.h"
#include "text/font.h"

// Line alignments (the position constants left, centre and right).
constexpr int32_t TEXT_ALIGN_LEFT = -90000;
constexpr int32_t TEXT_ALIGN_CENTER = -100000;
constexpr int32_t TEXT_ALIGN_RIGHT = -80000;

// Colours are 0xTTRRGGBB: the top byte is a transparency (0 opaque, 255 invisible).
struct qzFontStyle {
    uint32_t style;  // FONTSTYLE_* bits
    uint32_t color;
    uint32_t shadowColor;
    uint32_t edgeColor;
    int32_t shadowSize;       // 1..64
    int32_t shadowDirection;  // QZ_SHDW*
    int32_t edgeSize;         // 1..64
    qzFont* font;             // null: the inbuilt font
};

// The current style of the text commands; every text command copies it when it starts.
qzFontStyle* GetFontStyleState();
// The start values: NORMAL, white, black shadow of 4 to the south-east, edge $0093DD of 2, the
// inbuilt font.
void ResetFontStyleState();
// The encoding (ENCODING_*) that TextOut, text objects and text measuring use when none is given;
// ISO-8859-1 until set.
int32_t GetDefaultTextEncoding();
void SetDefaultTextEncoding(int32_t encoding);
// Shadow and edge size into 1..64; a shadow direction outside 0..7 (negative ones included)
// becomes south-east.
void ClampFontStyle(qzFontStyle* style);
// The x and y offset of the shadow from the text; directions outside 0..7 count as south-east.
void ShadowOffset(int32_t size, int32_t direction, int32_t* dx, int32_t* dy);

// Measures a slice: the engine's extent, widened for emulated bold and italic, with the full width
// and the growth that the edge and the shadow need. 0 or the engine's error.
int MeasureStyledText(const char* text, size_t length, int encoding, qzTextExtents* out, const qzFontStyle* style);

// One run of text with one style on one line, in reading order.
struct qzTextRun {
    const char* text;  // points into the caller's buffer
    size_t length;
    int32_t encoding;  // ENCODING_*
    int32_t x;         // pen origin, relative to the block
    int32_t y;         // top of the run's line
    qzTextExtents extents;
    qzFontStyle style;
};

// What DrawTextRuns made. The colour bitmap comes with either a mask or an alpha channel.
struct qzTextBlock {
    qzBitMap* bitmap = nullptr;
    qzBitMap* mask = nullptr;
    qzBitMap* alpha = nullptr;
    int32_t left = 0;  // 0 or negative: how far the effects reach left of the text origin
    int32_t top = 0;   // 0 or negative: how far they reach above it
    int32_t width = 0;
    int32_t height = 0;
    int32_t startOffset = 0;  // the start offset that was taken off single-line runs
};

// Frees the three bitmaps of a block and clears them.
void FreeTextBlock(qzTextBlock* block);

// Draws the runs into new bitmaps. When every run lies on the first line, startOffset is taken off
// every run's x (and reported back). maxWidth >= 1 limits the width; alignment TEXT_ALIGN_*;
// sizesOnly fills in only the offsets, size and start offset. Returns 0, ERR_BITMAP (no colour
// bitmap) or ERR_MEM (no mask, alpha channel or work buffer); on failure nothing is left made.
int DrawTextRuns(std::vector<qzTextRun>& runs, int32_t startOffset, int32_t maxWidth, int32_t alignment, int sizesOnly,
                 qzTextBlock* out);

// The anti-aliased edge: sums the source coverage (width x height bytes) over every offset of the
// (2e+1) x (2e+1) square into a 32-bit accumulator, divides each sum by 2e + 1 and clamps it to
// 255. The result has (width + 2e) x (height + 2e) bytes; source pixel (x, y) lands at (x + e, y + e).
// The sums stay exact for every edge size 1..64.
std::vector<uint8_t> DilateCoverage(const uint8_t* source, int32_t width, int32_t height, int32_t edge);

// The outline of a layer: its mask or alpha channel grown by the border size in the border colour.
// The results are (width + 2s + 1) x (height + 2s + 1); *outAlpha when the layer has an alpha
// channel, else *outMask. 0, ERR_BITMAP, ERR_ALLOCALPHA, ERR_ALLOCMASK or ERR_MEM; nothing is left
// made on failure.
int CreateLayerBorderBitmap(const qzBitMap* layerMask, const qzBitMap* layerAlpha, int32_t width, int32_t height,
                            uint32_t borderColor, int32_t borderSize, int32_t* outWidth, int32_t* outHeight,
                            qzBitMap** outBitmap, qzBitMap** outMask, qzBitMap** outAlpha);
