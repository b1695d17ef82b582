// Bitmap fonts (font kinds 1 and 2): the inbuilt 8x8 "topaz" font and disk bitmap fonts read from
// a contents file (name.font) and one font file per size, plain (1-bit) or colour. Both draw
// glyphs cut from one horizontal glyph strip.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/bitmap.h"
#include "text/font.h"

// Style bit of a colour font; flag bits of proportional fonts and of the inbuilt font.
enum { BITMAPFONT_STYLE_COLOR = 64, BITMAPFONT_PROPORTIONAL = 32, BITMAPFONT_INBUILT = 64 };

// The key colour that marks transparent pixels of colour fonts.
constexpr uint32_t QZ_FONT_KEY_COLOR = 0xEEE6D2;

struct qzBitmapFont {
    uint32_t ysize;     // glyph height, the line height
    uint32_t style;     // bit 6 marks a colour font
    uint32_t flags;     // bit 5 proportional; bit 6 the inbuilt font
    uint32_t xsize;     // advance of a monospaced font
    uint32_t baseline;  // rows from the top to the baseline
    uint32_t boldsmear;
    uint32_t accessors;
    uint32_t lochar;    // first character code with a glyph
    uint32_t hichar;    // last character code with a glyph
    uint8_t* chardata;  // ysize rows of modulo bytes, 1 bit a pixel
    uint32_t modulo;
    uint32_t* charloc;      // per glyph: bit offset << 16 | bit width
    int16_t* charspace;     // null, or the advance of each glyph
    int16_t* charkern;      // null, or the left offset of each glyph
    uint32_t nchars;        // hichar - lochar + 2; the last entry serves codes outside lochar..hichar
    qzBitMap* stripbitmap;  // 1-bit mask over chardata
};

// Glyph index of a character code.
inline uint32_t BitmapGlyphIndex(const qzBitmapFont* bf, uint32_t code) {
    return code >= bf->lochar && code <= bf->hichar ? code - bf->lochar : bf->nchars - 1;
}

// The inbuilt font: a qzFont named "topaz", size 8, kind 1. Returns 0 or ERR_MEM.
int BuildTopazFont(qzFont** out);
void FreeTopazFont(qzFont* font);

// Loads a disk bitmap font of the given size into `font` (cleared by the caller). The path is the
// contents file (".font" is appended unless it ends so) or a ":::chunk" name of a linked font.
// Returns 1 on success, 0 on failure with nothing left behind.
int LoadDiskFont(const char* path, int size, qzFont* font, const char* name);
// Frees the glyph data of a kind-1 or kind-2 font (not the qzFont itself).
void CloseBitmapFont(qzFont* font);

// Renders text (one byte a character; style and encoding are not used) with the pen starting at
// x and y the top of the line. See glyph_draw.h for colour and coverage targets. Returns 0.
int RenderBitmapFontText(qzFont* font, qzBitMap* bitmap, qzBitMap* mask, int x, int y, const char* text, size_t length,
                         int style, int encoding, const qzFontClip* clip, uint32_t colour);
// Fills the first six words of the extents. Returns 0.
int BitmapTextExtent(qzFont* font, const char* text, size_t length, int style, int encoding, qzTextExtents* out);
