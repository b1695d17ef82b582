// The font record every engine fills, the extents a measurement returns, and the numbers that
// choose engines, styles and encodings. The font engine (font_engine.h) opens, measures, renders
// and closes fonts of all kinds through these records.
#pragma once

#include <cstdint>

#include "gfx/bitmap.h"

// Engine kinds of a qzFont.
enum {
    FONTKIND_BITMAP = 1,    // 1-bit bitmap fonts, the inbuilt 8x8 "topaz" font among them
    FONTKIND_COLOR = 2,     // disk colour fonts: glyphs held in an engine colour bitmap
    FONTKIND_SYSTEM = 3,    // fonts installed on the system (system_font_engine.h)
    FONTKIND_FREETYPE = 4,  // TrueType, OpenType and Type 1 files and the three embedded faces
};

// The "engine" option of OpenFont and SetFont.
enum {
    FONTENGINE_NATIVE = 0,   // the inbuilt font, then disk bitmap fonts, then system fonts
    FONTENGINE_INBUILT = 4,  // FreeType only
};

// Style bits the engines read.
enum {
    FONTSTYLE_NORMAL = 1,
    FONTSTYLE_BOLD = 2,
    FONTSTYLE_ITALIC = 4,
    FONTSTYLE_UNDERLINED = 8,
    FONTSTYLE_ANTIALIAS = 16,
    FONTSTYLE_SHADOW = 32,
    FONTSTYLE_EDGE = 64,
};

// Text encodings.
enum {
    ENCODING_ISO8859_1 = 0,
    ENCODING_UTF8 = 1,
};

// The colour argument that asks for coverage instead of coloured pixels.
constexpr uint32_t FONT_NO_COLOR = 0xFFFFFFFF;

// The length of qzFont::name, terminator included.
constexpr int QZ_FONT_NAME_SIZE = 2048;

struct qzFont {
    char name[QZ_FONT_NAME_SIZE];  // bitmap fonts: the name asked for; FreeType: family [+ style]
    uint32_t size;                 // the size asked for, in pixels
    int32_t height;                // line height after scaling
    int32_t baseline;              // pixels from the top of a line to the baseline, after scaling
    int32_t baseheight;            // line height at scale 1
    int32_t basebaseline;          // baseline at scale 1
    int32_t kind;                  // FONTKIND_*
    int32_t scalable;              // 1 for FreeType and system fonts
    int32_t antialias;             // 1 when the engine's glyphs are 8-bit coverage
    void* nativefallback;          // kinds 1 and 2: non-null sends every operation to the system engine
    double scalex;
    double scaley;
    void* enginedata;       // qzBitmapFont, qzFreeTypeFace or the system engine's record
    qzBitMap* glyphbitmap;  // kind 2: the colour bitmap of the glyph strip
    qzBitMap* glyphmask;    // kind 2: the 1-bit mask of the glyph strip
    void* glyphbuffer;      // kind 2: the strip as 32-bit 0x00RRGGBB pixels (OsAlloc)
};

// A measured slice of text. The engines fill the first six words; the text engine the rest.
struct qzTextExtents {
    int32_t advance;
    int32_t height;
    int32_t minx;
    int32_t miny;
    int32_t maxx;
    int32_t maxy;
    int32_t fullwidth;
    int32_t topgrowth;
    int32_t bottomgrowth;
    int32_t leftgrowth;
    int32_t rightgrowth;
};

// A clip rectangle for rendering; drawing is also cut to the target bitmap.
struct qzFontClip {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};
