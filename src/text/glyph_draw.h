// Drawing glyph images into bitmaps: the one place where every font engine's glyphs meet the
// target. A target is locked once per text and every glyph is cut to the clip rectangle and to
// the target before a pixel is touched.
//
// With a colour, glyphs paint the colour bitmap: 1-bit glyphs in the colour where their bits are
// set, 8-bit coverage blended in the colour (the colour's top byte is a transparency: 0 opaque,
// 255 invisible). With FONT_NO_COLOR they go into the coverage target instead: a 1-bit mask gets
// its bits set (coverage: where non-zero), an 8-bit alpha channel gets 255 (1-bit glyphs) or the
// coverage bytes that are non-zero.
#pragma once

#include <cstdint>

#include "gfx/bitmap.h"
#include "text/font.h"

// One glyph image: 1-bit rows (most significant bit leftmost, column 0 at bit `bitOffset` of each
// row) or 8-bit coverage rows.
struct qzGlyphImage {
    const uint8_t* rows;
    int64_t pitch;      // bytes per row
    int64_t bitOffset;  // 1-bit rows: bit position of column 0
    int width;
    int height;
    int oneBit;
};

struct qzGlyphTarget {
    qzLockInfo colorLock{};
    qzLockInfo coverLock{};
    bool colorLocked = false;
    bool coverLocked = false;
    int coverIsAlpha = 0;
    uint32_t colour = FONT_NO_COLOR;
    uint32_t pixel = 0;  // the colour in the colour bitmap's format
    int opacity = 255;   // 255 - the colour's transparency byte
    // The drawable area: the clip rectangle cut to the locked bitmaps.
    int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// Locks what the colour needs: the colour bitmap with a colour, else the coverage bitmap (mask or
// alpha channel) and, when given, the colour bitmap for colour-font glyphs. A null clip means
// the whole target. Returns false when a needed bitmap is missing or cannot be locked; nothing is
// drawn then and EndGlyphTarget need not be called.
bool BeginGlyphTarget(qzGlyphTarget* target, qzBitMap* bitmap, qzBitMap* coverage, const qzFontClip* clip,
                      uint32_t colour);
void EndGlyphTarget(qzGlyphTarget* target);

// Draws a glyph with its top-left pixel at dx, dy.
void DrawGlyphImage(qzGlyphTarget* target, int64_t dx, int64_t dy, const qzGlyphImage& glyph);

// Draws the columns sx..sx+width-1 of a colour-font strip (0x00RRGGBB pixels, rowLength pixels a
// row, height rows) at dx, dy: pixels whose RGB is the key colour are left out. With a colour the
// pixels go to the colour bitmap; without, they go to the colour bitmap (when locked) and their
// coverage to the mask or alpha channel.
void DrawColorGlyph(qzGlyphTarget* target, int64_t dx, int64_t dy, const uint32_t* strip, int64_t rowLength, int64_t sx,
                    int width, int height, uint32_t keyColour);

// Cuts a glyph rectangle to a clip rectangle {x, y, width, height}: the source offsets move with
// the destination. Returns false when nothing is left.
bool ClipGlyphRect(int64_t* sx, int64_t* sy, int64_t* dx, int64_t* dy, int64_t* width, int64_t* height,
                   const qzFontClip& clip);
