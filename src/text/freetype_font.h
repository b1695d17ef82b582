// The FreeType engine (font kind 4): TrueType, OpenType and Type 1 faces from files, from fonts
// linked into the applet, found by name in the font-file list, or one of the three embedded
// faces. Faces are sized so that their glyphs fill the requested pixel height; text is rendered
// 1-bit or anti-aliased, with synthetic bold and italic and an optional per-font glyph cache.
#pragma once

#include <cstddef>
#include <cstdint>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "gfx/bitmap.h"
#include "platform/vfs.h"
#include "text/font.h"

// One cached glyph: its placement, its advance (26.6) and a copy of its bitmap.
struct qzFreeTypeGlyph {
    int valid;
    int left;
    int top;
    int64_t advance;
    int width;
    int rows;
    int pitch;
    int oneBit;
    uint8_t* buffer;
};

struct qzFreeTypeFace {
    FT_Face face;
    qzVfsFile* file;  // faces opened from files
    FT_StreamRec stream;
    int64_t base;                    // where the face's data starts in the file
    int hres, vres;                  // 72, 72
    int empixels;                    // the em size in pixels that the sizing chose
    int cache;                       // the glyph cache is used
    qzFreeTypeGlyph glyphs[2][256];  // [0] 1-bit, [1] anti-aliased, by character code
    uint32_t charindex[256];         // glyph index + 1 of the codes 0..255; 0 until looked up
    struct {
        uint32_t pair;    // left << 16 | right, plus 1; 0 for an empty slot
        int32_t kerning;  // unscaled
    } kerncache[512];     // pairs looked up, by a hash of the pair
};

// Starts and ends the FreeType library. Init returns 0 or ERR_FT2.
int FontEngineInitFreeType();
void FontEngineDoneFreeType();
bool FreeTypeStarted();
// The library instance every FreeType user of the player shares; null until started.
FT_Library GetFreeTypeLibrary();

// Opens a face into `font` (cleared by the caller). Returns 1 on success, 0 on failure.
int OpenFreeTypeFont(const char* name, int size, int cache, qzFont* font);
void CloseFreeTypeFont(qzFont* font);

int RenderFreeTypeText(qzFont* font, qzBitMap* bitmap, qzBitMap* mask, int x, int y, const char* text, size_t length,
                       int style, int encoding, const qzFontClip* clip, uint32_t colour);
int MeasureFreeTypeText(qzFont* font, const char* text, size_t length, int style, int encoding, qzTextExtents* out);
void SetFreeTypeScale(qzFont* font, double scalex, double scaley);
int GetFreeTypeKerning(qzFont* font, const char* text, size_t length, int encoding);
void FlushFreeTypeGlyphCache(qzFont* font);
