// The font engine: opens, measures, renders, scales and closes fonts of every kind, dispatching
// on the font's kind to the bitmap engine (bitmap_font.h), the system engine
// (system_font_engine.h) or FreeType (freetype_font.h). The text engine and the vector engine
// reach fonts only through these operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "gfx/bitmap.h"
#include "text/font.h"

// Starts the engines once: builds the inbuilt font, starts the system engine and FreeType. Later
// calls only hand out the inbuilt font. Returns 0, ERR_MEM or ERR_FT2.
int FontEngineInit(qzFont** topaz);
// The inbuilt "topaz" font (null before FontEngineInit).
qzFont* GetInbuiltFont();

// Opens a font with engine FONTENGINE_NATIVE or FONTENGINE_INBUILT; the cache flag goes to
// FreeType. With checkLinked, a ":::chunk" name is a linked font whose 32-bit flag word says
// which engine reads it. Returns 0 with *out set, or ERR_MEM, ERR_READFILE (linked font cannot be
// opened; its name is the error argument), ERR_READ (linked header short), ERR_FT2, or
// ERR_OPENFONT with "Cannot open font %s with size %ld!" filled in as the error argument text.
int FontEngineOpen(const char* name, int size, int engine, int cache, int checkLinked, qzFont** out);
// Does nothing for the inbuilt font; otherwise closes by kind and frees the record.
void FontEngineClose(qzFont* font);
// Frees the inbuilt font, ends the engines and frees the font-file list.
void FontEngineShutdown();

// A null font means the inbuilt font. Returns 0 or an error code of the engine.
int FontEngineRenderText(qzFont* font, qzBitMap* bitmap, qzBitMap* mask, int x, int y, const char* text, size_t length,
                         int style, int encoding, const qzFontClip* clip, uint32_t colour);
// Fills advance, height, min x, min y, max x and max y. Returns 0 or an error code.
int FontEngineTextExtent(qzFont* font, const char* text, size_t length, int style, int encoding, qzTextExtents* out);
void FontEngineSetScale(qzFont* font, double scalex, double scaley);
// Kerning in pixels of the first two characters of a NUL-terminated text.
int FontEngineGetKerning(qzFont* font, const char* text, size_t length, int encoding);
void FontEngineFlushGlyphCache(qzFont* font);
int IsNativeFont(const qzFont* font);
// The FreeType face of a kind-4 font, else null.
FT_Face GetFontFace(const qzFont* font);

// Finds the contents file of a disk bitmap font: each folder of the font-path list, then the
// name itself, then "Fonts/<name>" (".font" appended unless the name ends so). 1 when found.
int FindBitmapFontFile(const char* name, std::string* path);
